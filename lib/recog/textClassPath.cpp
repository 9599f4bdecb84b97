// textClass: from the best search path back to the texts it stands for.
#include <algorithm>
#include <cstdio>

#include "textClass.h"
#include "utility.h"

namespace tulim {

namespace {

// Messages of the text module name it "text".
#define TEXT_HERE __LINE__, "text"

int dashCount(const std::string& s, size_t end) {
  return static_cast<int>(std::count(s.begin(), s.begin() + static_cast<long>(std::min(end, s.size())), '-'));
}

void dropLast(std::string& s) {
  if (!s.empty()) s.pop_back();
}

}  // namespace

std::string textClass::pinyin2text(int best, arenaCandidate* const* order, const dictClass& dict,
                                   std::vector<int>& textIndex, std::vector<int>& lineIndex, const recogParam& param) {
  m_matchSylBegin = -1;
  m_matchSylNum = -1;
  const arenaCandidate& candidate = *order[best];
  const int sylNum = candidate.sylNum;
  if (sylNum <= 0) errorThrow("The best syllable path has zero length!");
  if (sylNum > MAX_SYL_NUM)
    errorThrowf("Candidate with sylNum = %d outside 0 to MAX_SYL_NUM = %d (line %d of %s)", sylNum, MAX_SYL_NUM,
                TEXT_HERE);
  if (candidate.sylId.size() < static_cast<size_t>(sylNum))
    errorThrowf("Candidate with sylNum = %d lists fewer syllables (line %d of %s)", sylNum, TEXT_HERE);

  const bool netType1 = param.netType == 1;
  const bool japanese = param.language == "japanese";
  // In comparison mode 3 the path keeps every syllable, edge silences too, so that a match
  // position counted in syllables is the index of that node in the segmented path.
  const bool wholePath = param.comparisonMode == 3;
  std::string path;
  for (int i = 0; i < sylNum; ++i) {
    const int id = candidate.sylId[i];
    if (id < 0 || id >= static_cast<int>(dict.m_pronDict.size()))
      errorThrowf("Error: syllable id %d of the best path is outside the dictionary of %d entries (line %d of %s)", id,
                  static_cast<int>(dict.m_pronDict.size()), TEXT_HERE);
    const std::string& syl = dict.m_pronDict[static_cast<size_t>(id)].syl;
    if (!wholePath) {
      if ((i == 0 || i == sylNum - 1) && syl == "sil") continue;
      if (!japanese && netType1 && (syl == "sp" || syl == "sil")) continue;
    }
    path += syl;
    path += '-';
  }

  if (netType1 && param.sylFile.empty()) {
    dropLast(path);
    textIndex = {0};
    lineIndex = {-1};
    return path;
  }
  if (netType1 && (japanese || param.language == "taiwanese")) {
    dropLast(path);
    textIndex = {0};
    lineIndex = {0};
    return path;
  }

  // Without a syllable the path would be "-", which begins every line: it matches none.
  const bool empty = path.empty();
  path = "-" + path;
  if (!empty) {
    switch (param.comparisonMode) {
      case 1:
        if (param.function == "assess" && param.usePaddedSoftSil == 1) strReplaceAll(path, "-sil-", "-");
        searchSylVs(path, 0, textIndex, lineIndex);
        if (textIndex.empty()) searchSylVs(path, 1, textIndex, lineIndex);
        if (textIndex.empty() && param.function == "assess" && !param.sylFile.empty() &&
            param.addLink4startAnywhere == 1)
          searchSylVs(path, 2, textIndex, lineIndex);
        break;
      case 2:
        searchSylVs(path, 2, textIndex, lineIndex);
        break;
      case 3: {
        strVec fields;
        for (size_t k = 0; k < m_sylVs.size(); ++k) {
          strSplit(m_sylVs[k], '\t', fields);
          if (fields.empty()) continue;
          const std::string line = "-" + fields[0] + "-";
          const size_t p = path.find(line);
          if (p == std::string::npos) continue;
          textIndex.push_back(fields.size() > 1 ? strToInt(fields[1].c_str()) : 0);
          lineIndex.push_back(static_cast<int>(k));
          if (m_matchSylBegin < 0 && m_matchSylNum < 0) {
            m_matchSylBegin = dashCount(path, p + 1) - 1;
            m_matchSylNum = dashCount(line, line.size()) - 1;
          }
        }
        break;
      }
      default:
        errorThrowf("Unknown comparisonMode = %d", param.comparisonMode);
    }
  } else if (param.comparisonMode < 1 || param.comparisonMode > 3) {
    errorThrowf("Unknown comparisonMode = %d", param.comparisonMode);
  }

  const std::string bare = path.size() >= 2 ? path.substr(1, path.size() - 2) : std::string();
  if (lineIndex.empty() && param.function == "assess") {
    // An assessment has one text; what was said instead of it (silence, another text) is
    // that text read with nothing right, which the caller scores 0, not a failure of the run.
    printf("Warning: the best path \"%s\" holds none of the syllable sequences of the text; it scores 0\n",
           bare.c_str());
    textIndex = {0};
    return bare;
  }
  if (lineIndex.empty() && speechUnits(path).empty())
    errorThrowf(
        "Error in textClass::pinyin2text(): None of the candidate texts was found in the wave: the best path \"%s\" "
        "holds no syllable (line %d of file %s)",
        bare.c_str(), TEXT_HERE);
  if (lineIndex.empty()) {
    printf("Error in textClass::pinyin2text(): Cannot find sylPath within m_sylVs (shown next) at line %d of file %s!\n",
           TEXT_HERE);
    printf("sylPath=%s (line=%d, file=%s)\n", path.c_str(), TEXT_HERE);
    printf("recogParamP->comparisonMode=%d (line=%d, file=%s)\n", param.comparisonMode, TEXT_HERE);
    printf("recogParamP->netType=%d (line=%d, file=%s)\n", param.netType, TEXT_HERE);
    strVecPrint(m_sylVs, "m_sylVs");
    errorThrowf("Error in textClass::pinyin2text(): Cannot find sylPath within m_sylVs (line %d of file %s)", TEXT_HERE);
  }

  std::sort(textIndex.begin(), textIndex.end());
  textIndex.erase(std::unique(textIndex.begin(), textIndex.end()), textIndex.end());
  return bare;
}

}  // namespace tulim
