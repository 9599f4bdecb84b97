#include <algorithm>
#include <climits>
#include <cstdio>

#include "dictClass.h"
#include "lineFile.h"
#include "macroClass.h"
#include "netClass.h"
#include "platform/platformClock.h"
#include "recogTask.h"
#include "viterbiClass.h"
#include "stringUtil.h"
#include "textClass.h"
#include "utility.h"

namespace tulim {

namespace {

// The word-net builders number their start, end and edge nodes 0 to 3; the words follow.
constexpr int FIRST_WORD_NODE = 4;

// The longest diagnostic file name netPrepare writes.
const char* const LONGEST_RESULT_NAME = "output.netb";

std::string resultPath(const recogParam& param, const char* name) { return param.outputDir + "/" + name; }

// Refuses an output directory whose result paths would not fit, before any file is written.
void resultPathCheck(const recogParam& param) {
  const std::string path = resultPath(param, LONGEST_RESULT_NAME);
  if (path.size() >= static_cast<size_t>(MAX_RESULT_PATH_LEN))
    errorThrowf(
        "Error: recogParam.outputDir is too long: \"%s\" needs %d characters, MAX_RESULT_PATH_LEN=%d. "
        "(line %d of %s)",
        path.c_str(), static_cast<int>(path.size()) + 1, MAX_RESULT_PATH_LEN, TULIM_HERE);
}

class stepClock {
 public:
  stepClock() : m_start(monotonicSeconds()) {}
  // Seconds since construction or the previous call.
  double lap() {
    const double now = monotonicSeconds();
    const double seconds = now - m_start;
    m_start = now;
    return seconds;
  }

 private:
  double m_start;
};

// txtFile holds a file's name or the texts themselves, joined by '#'. A value that looks like
// a file's name but names none is most likely a mistyped name, which would otherwise show up
// only as a text without pronunciation.
void textSourceWarn(const std::string& txtFile) {
  if (fileExist(txtFile.c_str())) return;
  const std::string ext = ".txt";
  const bool txtName = txtFile.size() >= ext.size() && txtFile.compare(txtFile.size() - ext.size(), ext.size(), ext) == 0;
  if (txtName || txtFile.find('/') != std::string::npos)
    printf("Warning: no file \"%s\" exists; txtFile is taken as the texts themselves\n", txtFile.c_str());
}

bool blank(const std::string& s) {
  for (char c : s)
    if (!isWhiteSpace(c)) return false;
  return true;
}

// A text file of blanks and empty lines (or of nothing) gives no text that a net can be
// built from. Checked before the texts are read, as the reader would refuse a file without
// lines under its own terms.
void blankFileCheck(const std::string& txtFile) {
  if (!fileExist(txtFile.c_str())) return;
  strVec lines;
  file2strVec(txtFile, lines, 0);
  for (const std::string& line : lines)
    if (!blank(line)) return;
  errorThrowf("Error: the text file \"%s\" holds only blanks, no text (line %d of %s)", txtFile.c_str(), TULIM_HERE);
}

// The same for texts given themselves, joined by '#'.
void blankTextsCheck(const std::string& txtFile, const strVec& texts) {
  if (fileExist(txtFile.c_str())) return;
  for (const std::string& t : texts)
    if (!blank(t)) return;
  errorThrowf("Error: the texts \"%s\" are only blanks (line %d of %s)", txtFile.c_str(), TULIM_HERE);
}

void saveLines(const std::string& path, const strVec& lines) {
  strVec2file(path, lines);
  printf("\t===> Saved %s\n", path.c_str());
}

}  // namespace

void recogTask::dictPrepare(const recogParam& param, const macroClass& mac, dictClass& dict, textClass& text,
                            netClass&) {
  stepClock clock;
  if (param.language != "english") {
    dict.pronDictLoad(param.dicFile, mac);
    printf("%4.3f sec: Read pam \"%s\" (m_pronDict.size()=%d)\n", clock.lap(), param.dicFile.c_str(),
           static_cast<int>(dict.m_pronDict.size()));
  }
  if (param.language == "chinese") {
    clock.lap();
    dict.pinyinTableRead(param.pyTableFile);
    printf("%4.3f sec: Read pinyinTable \"%s\" (myDict.m_pinyinTable.size()=%d)\n", clock.lap(),
           param.pyTableFile.c_str(), static_cast<int>(dict.m_pinyinTable.size()));
    dict.wpaRead(param.wpaFile, "chinese");
    printf("%4.3f sec: Read wpa \"%s\" (myDict.m_wpa.size()=%d)\n", clock.lap(), param.wpaFile.c_str(),
           static_cast<int>(dict.m_wpa.size()));
  }
  if (param.language == "english") {
    clock.lap();
    dict.wpaRead(param.wpaFile, "english");
    printf("%4.3f sec: Read wpa \"%s\" (myDict.m_wpa.size()=%d)\n", clock.lap(), param.wpaFile.c_str(),
           static_cast<int>(dict.m_wpa.size()));
    dict.wpaAddendaRead(param.wpaAddendaFile, "english");
    printf("%4.3f sec: Read wpaAddenda \"%s\" (myDict.m_wpaAddenda.size()=%d)\n", clock.lap(),
           param.wpaAddendaFile.c_str(), static_cast<int>(dict.m_wpaAddenda.size()));
    if (!dict.m_wpaAddenda.empty()) {
      dict.wpaMerge();
      printf("%4.3f sec: wpaMerge (myDict.m_wpa.size()=%d)\n", clock.lap(), static_cast<int>(dict.m_wpa.size()));
      dict.wpaSort();
      printf("%4.3f sec: Sort myDict.m_wpa\n", clock.lap());
    }
  }
  if (param.tnmFile.empty())
    errorThrowf("Error: recogParam.tnmFile is not specified! (line %d in %s)", 465, "recogTask");
  clock.lap();
  text.txtMapRead(param.tnmFile, '#', text.m_textNormSp);
  printf("%4.3f sec: Read text normalization mapping file \"%s\" (myText.m_textNormSp.size()=%d)\n", clock.lap(),
         param.tnmFile.c_str(), static_cast<int>(text.m_textNormSp.size()));
}

void recogTask::netPrepare(recogParam& param, const macroClass& mac, dictClass& dict, textClass& text, netClass& net,
                           int& candidateNum, int& arenaLen) {
  const bool saving = !param.outputDir.empty();
  if (saving) resultPathCheck(param);
  stepClock clock;

  textSourceWarn(param.txtFile);
  blankFileCheck(param.txtFile);
  text.txtRead(param.txtFile);
  blankTextsCheck(param.txtFile, text.m_txtVs);
  if (param.function == "assess") {
    std::string joined;
    strVecJoin(text.m_txtVs, " ", joined);
    text.m_txtVs.clear();
    text.m_txtVs.push_back(joined);
  }
  printf("%4.3f sec: Read text \"%s\" (m_txtVs.size()=%d)\n", clock.lap(), param.txtFile.c_str(),
         static_cast<int>(text.m_txtVs.size()));

  text.txtNormalize(param.language);
  printf("%4.3f sec: text normalization (m_txtVsNormalized.size()=%d)\n", clock.lap(),
         static_cast<int>(text.m_txtVsNormalized.size()));
  if (saving) saveLines(resultPath(param, "output.nt"), text.m_txtVsNormalized);

  clock.lap();
  if (!param.sylFile.empty()) {
    param.netType = 0;
    text.sylVsRead(param.sylFile);
    // A syllable file has no tags; those of an earlier run's texts (a batch line before
    // this one) belong to other lines.
    text.m_sylTagVs.clear();
    text.japaneseSylSave(param);
    printf("%4.3f sec: Read syl \"%s\" (Size=%d)\n", clock.lap(), param.sylFile.c_str(),
           static_cast<int>(text.m_sylVs.size()));
  } else {
    if (param.netType == 0) {
      if (param.language == "chinese")
        text.txt2paChinese(dict.m_wpa);
      else if (param.language == "english")
        text.txt2paEnglish(dict.m_wpa);
      else if (param.language == "japanese")
        errorThrowf("This is not allowed for Japanese! (line %d, file %s)", 514, "recogTask");
    }
    printf("%4.3f sec: Texts to phonetic alphabets by exhaustive listing\n", clock.lap());
    printf("\tNo. of text entries = %d, no. of PA entries = %d\n", static_cast<int>(text.m_txtVs.size()),
           static_cast<int>(text.m_sylVs.size()));
    if (saving) saveLines(resultPath(param, "output.syl"), text.m_sylVs);
  }

  if (param.function == "assess" && param.usePaddedHardSp == 1) text.sylGapAdd("-sp-");

  if (param.language == "english") {
    clock.lap();
    dict.pronDictCreate(text.m_txtVsNormalized, mac);
    printf("%4.3f sec: Create m_pronDict from m_txtVs. (m_pronDict.size() = %d)\n", clock.lap(),
           static_cast<int>(dict.m_pronDict.size()));
    if (saving) {
      const std::string path = resultPath(param, "output.dic");
      dict.pronDictWrite(path, mac);
      printf("\t===> Saved %s\n", path.c_str());
    }
  }

  clock.lap();
  if (!param.netFile.empty()) {
    net.netLoad(param.netFile, dict);
    printf("%4.3f sec: Read net \"%s\" (nodeNum=%d)\n", clock.lap(), param.netFile.c_str(), net.m_nodeNum);
  } else if (param.netType == 1 && param.sylFile.empty()) {
    text.sausageNetCreate(dict.m_wpa, param);
    if (saving) saveLines(resultPath(param, "output.nt"), text.m_txtVsNormalized);
    net.netCreate(text.m_netVs, dict);
    printf("%4.3f sec: Generated sausage net (nodeNum=%d)\n", clock.lap(), net.m_nodeNum);
  } else {
    // Leading and trailing silences stand in for the end points when none were detected.
    const int edgeSil = param.useEpd == 0 ? 1 : 0;
    if (param.function == "recog")
      text.treeNetCreate(param, param.comparisonMode == 3 ? 1 : 0, 0, edgeSil);
    else if (param.function == "assess")
      text.treeNetCreate(param, 0, param.usePaddedSoftSil, edgeSil);
    else
      errorThrowf("Unknown recogParam.function = %s!", param.function.c_str());
    net.netCreate(text.m_netVs, dict);
    // The tree shares the beginnings of its lines only; alternative pronunciations repeat
    // every word after them in a line of its own, and each copy would take its own candidates.
    net.lineEndsShare(FIRST_WORD_NODE);
    printf("%4.3f sec: Generated tree net (nodeNum=%d)\n", clock.lap(), net.m_nodeNum);
  }

  if (saving) {
    const std::string netPath = resultPath(param, "output.net");
    net.netPrint(netPath);
    printf("\t===> Saved net file: %s\n", netPath.c_str());
    const std::string netbPath = resultPath(param, "output.netb");
    // A net file may start or end in real nodes, which the search takes but the image cannot
    // hold; the diagnostic copy is then left out rather than failing the run.
    if (net.binImageHolds()) {
      net.netWriteBin(netbPath);
      printf("\t===> Saved net file: %s\n", netbPath.c_str());
    } else {
      printf("Warning: %s is not written: nodes 0 and 1 of the net are not both null nodes\n", netbPath.c_str());
    }
  }
  if (param.language != "japanese" && saving) {
    const std::string path = resultPath(param, "output.wpa");
    dict.wpaForTexts(path, text, param.language);
    printf("\t===> Saved wpa file %s\n", path.c_str());
  }

  net.nodePenaltySet(static_cast<float>(param.nodePenalty));

  // Candidates grow with the widest branching of the net; comparison mode 3 keeps many more
  // partial paths alive. The fan-out is bounded, so these products stay far inside 64 bits.
  // Recombination leaves at most one candidate per emitting state, so a count of the net's
  // states keeps every path the beam keeps; fewer lose the best one in noisy speech, where
  // many partial paths score alike. maxCandidateNum stays the cap.
  const bool wide = param.comparisonMode == 3;
  const long long fanOut = net.maxFanOutNum();
  long long n = (wide ? 20 : 4) * fanOut;
  if (n < 20) n = 100;
  const long long states = net.emittingStateNum(dict, mac);
  n = std::max(n, states);
  if (n > param.maxCandidateNum) n = param.maxCandidateNum;
  // Each candidate adds one successor a frame, or one per link on leaving its node: the arena
  // then holds all of them.
  long long arena = (wide ? 100 : 5) * n;
  if (n > 0) arena = std::max(arena, 2 * n + net.linkFanOutNum());
  arena = viterbiClass::arenaLenFor(n, states, param.useDescCandidateNum, arena);
  if (arena > INT_MAX || arena < INT_MIN)
    errorThrowf("Error: an arena of %lld candidates (maxCandidateNum=%d) exceeds the int range. (line %d of %s)", arena,
                param.maxCandidateNum, TULIM_HERE);
  candidateNum = static_cast<int>(n);
  arenaLen = static_cast<int>(arena);
}

}  // namespace tulim
