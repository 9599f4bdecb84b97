// The label operations of mlfClass: segmentation of the winning search candidate into
// nodes and phones, label file input, and the MLF writers and text reports.
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <sstream>

#include "arenaCandidate.h"
#include "dictClass.h"
#include "discountReason.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "netClass.h"
#include "numericUtil.h"
#include "pathCheck.h"
#include "stringUtil.h"
#include "utility.h"

namespace tulim {

namespace {

constexpr int64_t TIME_UNITS_PER_FRAME = 100000;  // 10 ms in 100 ns units

// The phones that the ranking scores: inside the segmentation and not silence.
bool isReportedPhone(const phoneInfo& phone) { return phone.frameId[0] >= 0 && phone.name.compare(0, 4, "sil+") != 0; }

// The frame after f; the last int stays itself rather than overflow.
int nextFrame(int f) { return f == INT_MAX ? f : f + 1; }

const std::string& modelName(const macroClass& mac, int model) {
  if (model < 0 || static_cast<size_t>(model) >= mac.MMF().model.size())
    errorThrowf("Model index %d outside the %d models of the HMM set (line %d of %s)", model,
                static_cast<int>(mac.MMF().model.size()), TULIM_HERE);
  return mac.MMF().model[static_cast<size_t>(model)].str;
}

void resetScores(phoneInfo& phone) {
  for (float& s : phone.timberScores) s = -1.0f;
  phone.timberScore = -1.0f;
  phone.timeRatio = -1.0f;
  phone.rankRatio = -1.0f;
  phone.rank = -1;
}

void resetScores(sylInfo& syl) {
  syl.timberScore = -1.0f;
  for (float& s : syl.timberScores) s = -1.0f;
}

// A node's log probability and frame span from its phones.
void nodesFromPhones(std::vector<sylInfo>& syls) {
  for (sylInfo& syl : syls) {
    if (syl.phone.empty()) continue;
    syl.logProb = syl.phone.back().cumLogLike;
    syl.frameId[0] = syl.phone.front().frameId[0];
    syl.frameId[1] = syl.phone.back().frameId[1];
  }
}

// The label lines of a file with their line numbers; empty lines and '%' comments dropped,
// as the line-file reader does.
struct labelLine {
  int number;
  std::string text;
};

std::vector<labelLine> labelLinesRead(const std::string& fileName) {
  std::vector<labelLine> lines;
  filePtr fp = openFilePtr(fileName, "r");
  std::string line;
  int number = 0;
  while (fileReadLine(fp.get(), line)) {
    ++number;
    if (line.empty() || line[0] == '%') continue;
    lines.push_back({number, line});
  }
  return lines;
}

[[noreturn]] void badLabelLine(const std::string& fileName, const labelLine& line, const std::string& what,
                               int sourceLine) {
  errorThrowf("Line %d of %s (%s): %s (line %d of %s)", line.number, fileName.c_str(), line.text.c_str(), what.c_str(),
              sourceLine, sourceName(__FILE__).c_str());
}

// First or last frame from a time in 100 ns units.
int timeToFrame(const std::string& field, int offset, const std::string& fileName, const labelLine& line) {
  const char* p = field.c_str();
  char* end = nullptr;
  errno = 0;
  const long long t = strtoll(p, &end, 10);
  if (end == p || *end != '\0')
    badLabelLine(fileName, line, "the time \"" + field + "\" is not a whole number", __LINE__);
  const bool overflow = errno == ERANGE;
  const long long frame = t / TIME_UNITS_PER_FRAME + offset;
  if (overflow || frame < INT_MIN || frame > INT_MAX)
    errorThrowf("Time %s in line %d of %s is out of range (line %d of %s)", field.c_str(), line.number,
                fileName.c_str(), TULIM_HERE);
  return static_cast<int>(frame);
}

// A phone's frames from its start and end times: the end must come after the start.
void phoneSpanRead(phoneInfo& phone, const strVec& fields, const std::string& fileName, const labelLine& line) {
  phone.frameId[0] = timeToFrame(fields[0], 0, fileName, line);
  phone.frameId[1] = timeToFrame(fields[1], -1, fileName, line);
  if (phone.frameId[1] < phone.frameId[0])
    badLabelLine(fileName, line, "the span from " + fields[0] + " to " + fields[1] + " holds no frame", __LINE__);
}

float scoreOf(const std::string& field, const std::string& fileName, const labelLine& line) {
  float value = 0.0f;
  if (!strToFloatExact(field, value))
    badLabelLine(fileName, line, "the score \"" + field + "\" is not a number", __LINE__);
  return value;
}

// A report composed in the C locale with the stream's default number formatting; the file
// is opened first, so that a failure to open is fatal before any work, and written by write().
class reportFile {
 public:
  explicit reportFile(const std::string& fileName) : m_fileName(fileName), m_fp(openFilePtr(fileName, "w")) {
    m_os.imbue(std::locale::classic());
  }
  std::ostream& os() { return m_os; }
  void write() {
    const std::string text = m_os.str();
    fwrite(text.data(), 1, text.size(), m_fp.get());
    closeWrittenFile(m_fp, m_fileName);
  }

 private:
  std::string m_fileName;
  filePtr m_fp;
  std::ostringstream m_os;
};

}  // namespace

// ---- Segmentation ------------------------------------------------------------------------

void mlfClass::path2mlf(const arenaCandidate& candidate, const netClass& net, const std::vector<pronEntry>& pronDict,
                        const macroClass& mac) {
  path2sylLevel(candidate, net, pronDict, mac);
  path2phoneLevel(candidate, net, pronDict, mac);
}

void mlfClass::path2sylLevel(const arenaCandidate& candidate, const netClass& net,
                             const std::vector<pronEntry>& pronDict, [[maybe_unused]] const macroClass& mac) {
  candidateCheck(candidate, TULIM_HERE);
  m_syl.clear();
  for (int i = 0; i < candidate.sylNum; ++i) {
    const int node = candidate.sylNode[i];
    if (node < 0 || static_cast<size_t>(node) >= net.m_node.size())
      errorThrowf("Syllable %d of the path is in node %d outside the %d nodes of the net (line %d of %s)", i, node,
                  static_cast<int>(net.m_node.size()), TULIM_HERE);
    sylInfo syl;
    syl.name = pronAt(pronDict, candidate.sylId[i], TULIM_HERE).syl;
    syl.text = net.m_node[static_cast<size_t>(node)].sylTag;
    syl.logProb = candidate.sylEndScore[i];
    syl.frameId[0] = i == 0 ? 0 : nextFrame(candidate.sylEndFrame[i - 1]);
    syl.frameId[1] = candidate.sylEndFrame[i];
    resetScores(syl);
    m_syl.push_back(std::move(syl));
  }
}

void mlfClass::path2phoneLevel(const arenaCandidate& candidate, [[maybe_unused]] const netClass& net,
                               const std::vector<pronEntry>& pronDict, const macroClass& mac) {
  candidateCheck(candidate, TULIM_HERE);
  int current = -1;
  int dropped = 0;
  for (int j = 0; j < candidate.phoneNum; ++j) {
    if (candidate.phonePos[j] == 0) ++current;
    // Only a syllable the search never closed, or a path that does not begin a syllable,
    // leaves a phone without its node.
    if (current < 0 || current >= static_cast<int>(m_syl.size()) || current >= candidate.sylNum) {
      ++dropped;
      continue;
    }
    const pronEntry& entry = pronAt(pronDict, candidate.sylId[current], TULIM_HERE);
    const int pos = candidate.phonePos[j];
    if (pos < 0 || static_cast<size_t>(pos) >= entry.modelIndex.size())
      errorThrowf("Phone %d of the path at position %d outside the %d models of syllable %s (line %d of %s)", j, pos,
                  static_cast<int>(entry.modelIndex.size()), entry.syl.c_str(), TULIM_HERE);
    phoneInfo phone;
    phone.modelIndex = entry.modelIndex[static_cast<size_t>(pos)];
    phone.name = modelName(mac, phone.modelIndex);
    phone.cumLogLike = candidate.phoneEndScore[j];
    phone.frameId[0] = j == 0 ? 0 : nextFrame(candidate.phoneEndFrame[j - 1]);
    phone.frameId[1] = candidate.phoneEndFrame[j];
    m_syl[static_cast<size_t>(current)].phone.push_back(std::move(phone));
  }
  if (dropped > 0)
    printf("Warning: %d of %d phones of the path lie outside its %d syllables and are dropped\n", dropped,
           candidate.phoneNum, candidate.sylNum);
  for (sylInfo& syl : m_syl) {
    resetScores(syl);
    for (phoneInfo& phone : syl.phone) resetScores(phone);
  }
}

// ---- Label input -------------------------------------------------------------------------

void mlfClass::labFileRead(const std::string& fileName) {
  const std::vector<labelLine> lines = labelLinesRead(fileName);
  m_syl.clear();
  strVec fields;
  for (const labelLine& line : lines) {
    strSplit(line.text, ' ', fields);
    if (fields.size() < 4) badLabelLine(fileName, line, "fewer than 4 fields", __LINE__);
    if (fields.size() > 4) {
      sylInfo syl;
      syl.name = fields[4];
      resetScores(syl);
      m_syl.push_back(std::move(syl));
    }
    if (m_syl.empty()) badLabelLine(fileName, line, "the first label has no node name", __LINE__);
    phoneInfo phone;
    phoneSpanRead(phone, fields, fileName, line);
    phone.name = fields[2];
    phone.cumLogLike = scoreOf(fields[3], fileName, line);
    resetScores(phone);
    m_syl.back().phone.push_back(std::move(phone));
  }
  nodesFromPhones(m_syl);
}

void mlfClass::phoneLevelRead(const std::string& fileName) {
  const std::vector<labelLine> lines = labelLinesRead(fileName);
  if (lines.size() < 2)
    errorThrowf("%s has no title line with the score after \"#!MLF!#\" (line %d of %s)", fileName.c_str(),
                TULIM_HERE);
  m_syl.clear();
  strVec pieces;
  strSplit(lines[1].text, '#', pieces);
  if (pieces.size() < 2) badLabelLine(fileName, lines[1], "no '#' before the score", __LINE__);
  m_timberScore = scoreOf(pieces[1], fileName, lines[1]);
  strVec fields;
  for (size_t k = 2; k < lines.size(); ++k) {
    const labelLine& line = lines[k];
    if (line.text == ".") continue;
    strSplit(line.text, '\t', fields);
    if (fields.size() < 4) badLabelLine(fileName, line, "fewer than 4 fields", __LINE__);
    if (fields.size() > 4) {
      strSplit(fields[4], '#', pieces);
      if (pieces.size() < 3) badLabelLine(fileName, line, "the node field is not name#text#score", __LINE__);
      sylInfo syl;
      resetScores(syl);
      syl.name = pieces[0];
      syl.text = pieces[1];
      syl.timberScore = scoreOf(pieces[2], fileName, line);
      m_syl.push_back(std::move(syl));
    }
    if (m_syl.empty()) badLabelLine(fileName, line, "the first label has no node name", __LINE__);
    strSplit(fields[2], '#', pieces);
    if (pieces.size() < 2) badLabelLine(fileName, line, "the phone field is not name#score", __LINE__);
    phoneInfo phone;
    resetScores(phone);
    phoneSpanRead(phone, fields, fileName, line);
    phone.name = pieces[0];
    phone.timberScore = scoreOf(pieces[1], fileName, line);
    phone.cumLogLike = scoreOf(fields[3], fileName, line);
    m_syl.back().phone.push_back(std::move(phone));
  }
  nodesFromPhones(m_syl);
}

// ---- Label writers -----------------------------------------------------------------------

void mlfClass::writeSylLevel(const std::string& fileName) const {
  filePtr fp = openFilePtr(fileName, "w");
  fputs("#!MLF!#\n", fp.get());
  fputs("\"This is the phone time generated by mlfClass::writeSylLevel().\"\n", fp.get());
  for (const sylInfo& syl : m_syl) {
    if (syl.name == "sil") continue;
    fprintf(fp.get(), "%d00000 %" PRId64 "00000 %s\n", syl.frameId[0], static_cast<int64_t>(syl.frameId[1]) + 1,
            syl.name.c_str());
  }
  fputs(".", fp.get());
  closeWrittenFile(fp, fileName);
}

void mlfClass::writePhoneLevel(const std::string& fileName, bool mlfFrame, bool withScore, bool withVolume) const {
  filePtr fp = openFilePtr(fileName, "w");
  FILE* f = fp.get();
  if (mlfFrame) fputs("#!MLF!#\n", f);
  if (withScore) {
    fprintf(f, "%% score=%g\n", static_cast<double>(m_score));
    fprintf(f, "%% origTimberScores=[%g, %g, %g]\n", static_cast<double>(m_timberScorePair[0].orig),
            static_cast<double>(m_timberScorePair[1].orig), static_cast<double>(m_timberScorePair[2].orig));
    fprintf(f, "%% finalTimberScores=[%g, %g, %g]\n", static_cast<double>(m_timberScorePair[0].final),
            static_cast<double>(m_timberScorePair[1].final), static_cast<double>(m_timberScorePair[2].final));
    fputs("% discountFactor=[", f);
    for (int count : m_discountFactor) fprintf(f, "%d ", count);
    fputs("]\n", f);
    fputs("% discountReason={'\xb8\xf4\xae\x7c\xa8\xab\xa4\xa3\xa7\xb9\xa5\xfe', "
          "'\xb9\x4c\xb5\x75\xad\xb5\xb8\x60\xaa\xba\xad\xd3\xbc\xc6', "
          "'\xb9\x4c\xaa\xf8\xad\xb5\xb8\x60\xaa\xba\xad\xd3\xbc\xc6', "
          "'\xb6\x57\xb9\x4c"
          "0.25\xac\xed\xaa\xbasp\xaa\xba\xad\xd3\xbc\xc6', "
          "'\xb9\xea\xbb\xda\xad\xb5\xb8\x60\xad\xd3\xbc\xc6\xa9\x4d\xa7\xe4\xa5\x58\xa8\xd3\xad\xb5\xb8\x60\xad\xd3\xbc"
          "\xc6\xaa\xba\xae\x74\xb2\xa7', "
          "'\xb3\xcc\xaa\xf8\xa9\x4d\xb3\xcc\xb5\x75\xad\xb5\xb8\x60\xaa\xba\xa4\xf1\xad\xc8\xa4\x6a\xa9\xf3"
          "4', "
          "'sil\xaa\xba\xad\xb5\xb6\x71\xb9\x4c\xa4\x6a'}\n",
          f);
    fputs("% discountReason={'Incomplete Viterbi search path', 'No. of over-short syllables', "
          "'No. of overlong syllables', 'No. of sp longer than 0.25 sec', "
          "'Difference between identified and actual no. of syllables', "
          "'Ratio between the longest and shortest syllables greater than 4', 'Volume of sil too large'}\n",
          f);
    if (mlfFrame)
      fprintf(f, "\"This is the phone time generated by mlfClass::writePhoneLevel().\"#%g\n",
              static_cast<double>(m_timberScore));
    for (const sylInfo& syl : m_syl)
      for (size_t j = 0; j < syl.phone.size(); ++j) {
        const phoneInfo& phone = syl.phone[j];
        fprintf(f, "%d00000\t%" PRId64 "00000\t%s#%g\t%g", phone.frameId[0],
                static_cast<int64_t>(phone.frameId[1]) + 1, phone.name.c_str(),
                static_cast<double>(phone.timberScore), static_cast<double>(phone.cumLogLike));
        if (j == 0) {
          fprintf(f, "\t%s#%s#%g", syl.name.c_str(), syl.text.c_str(), static_cast<double>(syl.timberScore));
          if (withVolume)
            for (size_t v = 0; v < syl.volume.size(); ++v) fprintf(f, v == 0 ? "#%d" : "_%d", floatRound(syl.volume[v]));
        }
        fputc('\n', f);
      }
  } else {
    if (mlfFrame) fputs("\"This is the phone time generated by mlfClass::writePhoneLevel().\"\n", f);
    for (const sylInfo& syl : m_syl)
      for (size_t j = 0; j < syl.phone.size(); ++j) {
        const phoneInfo& phone = syl.phone[j];
        fprintf(f, "%d00000 %" PRId64 "00000 %s %g", phone.frameId[0], static_cast<int64_t>(phone.frameId[1]) + 1,
                phone.name.c_str(), static_cast<double>(phone.cumLogLike));
        if (j == 0) fprintf(f, " %s", syl.name.c_str());
        fputc('\n', f);
      }
  }
  if (mlfFrame) fputs(".", f);
  closeWrittenFile(fp, fileName);
}

void mlfClass::writePhoneLevel(const std::string& fileName) const { writePhoneLevel(fileName, false, false, false); }

void mlfClass::writePhoneLevel(const std::string& fileName, bool withScoreAndVolume) const {
  writePhoneLevel(fileName, false, withScoreAndVolume, withScoreAndVolume);
}

void mlfClass::competingModelWrite([[maybe_unused]] const macroClass& mac, const std::string& fileName) const {
  reportFile file(fileName);
  std::ostream& os = file.os();
  os << "% \xae\xe6\xa6\xa1\xbb\xa1\xa9\xfa\xa1\x47\xa8\x43\xa4\x54\xa6\x43\xac\xb0\xa4\x40\xad\xd3\xb3\xe6\xa6\xec\n";
  os << "% \xb2\xc4\xa4\x40\xa6\x43\xac\x4f modelName, modelIndex, frameNum\n";
  os << "% \xb2\xc4\xa4\x47\xa6\x43\xac\x4f compModelIndex1, compModelIndex2, ...\n";
  os << "% \xb2\xc4\xa4\x54\xa6\x43\xac\x4f logProb1, logProb2, ...\n";
  for (const sylInfo& syl : m_syl) {
    if (skippedNode(syl.name)) continue;
    for (const phoneInfo& phone : syl.phone) {
      if (!isReportedPhone(phone)) continue;
      os << phone.name << " " << phone.modelIndex << " "
         << static_cast<int64_t>(phone.frameId[1]) - phone.frameId[0] + 1 << "\n";
      for (int index : phone.competingModelIndex) os << index << " ";
      os << "\n";
      for (float logLike : phone.competingModelLogLike) os << logLike << " ";
      os << "\n";
    }
  }
  file.write();
}

void mlfClass::scoreReportWrite(const macroClass& mac, const std::string& fileName) const {
  reportFile file(fileName);
  std::ostream& os = file.os();
  for (size_t i = 0; i < m_syl.size(); ++i) {
    const sylInfo& syl = m_syl[i];
    if (skippedNode(syl.name)) continue;
    os << i << ": " << syl.name << " [" << syl.frameId[0] << " " << syl.frameId[1] << "]"
       << " (" << syl.timberScores[0] << ", " << syl.timberScores[1] << ", " << syl.timberScores[2] << ")\n";
    for (size_t j = 0; j < syl.phone.size(); ++j) {
      const phoneInfo& phone = syl.phone[j];
      if (!isReportedPhone(phone)) continue;
      const size_t compNum = phone.competingModelIndex.size();
      if (phone.competingModelLogLike.size() != compNum)
        errorThrowf("Phone %s of node %d has %d competing models but %d log-likelihoods (line %d of %s)",
                    phone.name.c_str(), static_cast<int>(i), static_cast<int>(compNum),
                    static_cast<int>(phone.competingModelLogLike.size()), TULIM_HERE);
      os << "\t" << j << ": " << phone.name << " [" << phone.frameId[0] << " " << phone.frameId[1] << "]\n";
      os << "\t\t";
      for (size_t k = 0; k < compNum; ++k)
        os << phone.competingModelIndex[k] << ": " << modelName(mac, phone.competingModelIndex[k]) << "("
           << phone.competingModelLogLike[k] << ") ";
      os << "\n";
      os << "\t\tComp. model index: ";
      for (int index : phone.competingModelIndex) os << index << " ";
      os << "\n";
      os << "\t\tRank ratio: " << phone.rank << "/" << compNum << "=" << phone.rankRatio << "\n";
      os << "\t\tTime weight: " << static_cast<int64_t>(phone.frameId[1]) - phone.frameId[0] + 1 << "/"
         << m_phoneFrameNum << "=" << phone.timeRatio << "%\n";
      os << "\t\tScore: " << phone.timberScores[0] << ", " << phone.timberScores[1] << ", " << phone.timberScores[2]
         << "\n";
    }
  }
  os << "\n";
  os << "\xad\xec\xa9\x6c\xa4\xc0\xbc\xc6 = " << m_timberScorePair[0].orig << ", " << m_timberScorePair[1].orig << ", "
     << m_timberScorePair[2].orig << "\n";
  os << "\xad\xd7\xa5\xbf\xa4\xc0\xbc\xc6 = " << m_timberScorePair[0].final << ", " << m_timberScorePair[1].final
     << ", " << m_timberScorePair[2].final << "\n";
  os << "\n";
  for (int k = 0; k < DISCOUNT_REASON_NUM && static_cast<size_t>(k) < m_discountFactor.size(); ++k)
    os << "m_discountFactor[" << k << "] = " << m_discountFactor[static_cast<size_t>(k)] << DISCOUNT_REASONS[k].report
       << "\n";
  file.write();
}

}  // namespace tulim
