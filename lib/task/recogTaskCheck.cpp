#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "lineFile.h"
#include "recogTask.h"
#include "stringUtil.h"
#include "utility.h"

namespace tulim {

namespace {

// An integer key that a run uses: its field, the values that work and how to say them. The
// reader stores what atoi makes of the text, so a typo such as "12abc" or "nan" would pass
// as a number unnoticed; the run therefore looks at the text again.
struct intRule {
  const char* key;
  int recogParam::*field;
  long min;
  long max;
  const char* allowed;
};

const char* const FLAG = "0 or 1";
const char* const COUNT = "a whole number from 1 to 2147483647";

#define FLAG_RULE(f) intRule{#f, &recogParam::f, 0, 1, FLAG}

// maxCandidateNum, probTh and comparisonMode default to 0, which no search can use: a
// file has to set them.
const intRule kIntRules[] = {
    FLAG_RULE(useAllModelAsCompetingModel),
    FLAG_RULE(usePaddedHardSp),
    FLAG_RULE(usePaddedSoftSil),
    FLAG_RULE(getPitch),
    FLAG_RULE(useEpd),
    FLAG_RULE(netType),
    {"maxCandidateNum", &recogParam::maxCandidateNum, 1, INT_MAX, COUNT},
    {"probTh", &recogParam::probTh, 1, INT_MAX, COUNT},
    {"comparisonMode", &recogParam::comparisonMode, 1, 3, "1, 2 or 3"},
    {"nodePenalty", &recogParam::nodePenalty, INT_MIN, INT_MAX, "a whole number"},
    FLAG_RULE(useWaveReject),
    FLAG_RULE(useDescCandidateNum),
    FLAG_RULE(useSpecSubtraction),
    FLAG_RULE(addLink4stopAnywhere),
    FLAG_RULE(addLink4startAnywhere),
    FLAG_RULE(addLink4forwardJump),
    FLAG_RULE(addLink4skippableTrailingSil),
    FLAG_RULE(addLink4skippableLeadingSil),
};

#undef FLAG_RULE

const intRule& intRuleFind(const char* key) {
  for (const intRule& rule : kIntRules)
    if (std::string(key) == rule.key) return rule;
  errorThrowf("Error: %s is not an integer key of a run (line %d of %s)", key, TULIM_HERE);
}

// The text as a whole number in the rule's range, nothing else.
bool intTextParse(const std::string& text, const intRule& rule, int& value) {
  int parsed = 0;
  if (!strToIntExact(text, parsed) || parsed < rule.min || parsed > rule.max) return false;
  value = parsed;
  return true;
}

[[noreturn]] void notAllowed(const char* key, const std::string& text, const std::string& origin,
                             const char* allowed) {
  errorThrowf("Error: %s = %s %s is not allowed; it must be %s (line %d of %s)", key, text.c_str(), origin.c_str(),
              allowed, TULIM_HERE);
}

[[noreturn]] void notSet(const char* key, const std::string& paramFile, const std::string& allowed) {
  errorThrowf("Error: %s is not set in %s; it must be %s (line %d of %s)", key, paramFile.c_str(), allowed.c_str(),
              TULIM_HERE);
}

// A text key whose value must be one of a few words.
void wordCheck(const char* key, const std::string& value, const std::vector<std::string>& words,
               const std::string& paramFile) {
  for (const std::string& w : words)
    if (value == w) return;
  std::string allowed;
  for (size_t i = 0; i < words.size(); i++)
    allowed += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
  if (value.empty()) notSet(key, paramFile, allowed);
  notAllowed(key, value, "in " + paramFile, allowed.c_str());
}

// A file key that the run reads: an empty value would only fail later, under another name.
void fileCheck(const char* key, const std::string& value, const char* what, const std::string& paramFile) {
  if (value.empty()) notSet(key, paramFile, std::string("the name of ") + what);
}

bool contains(const strVec& list, const std::string& item) {
  for (const std::string& s : list)
    if (s == item) return true;
  return false;
}

}  // namespace

int recogTask::intValueRead(const char* key, const std::string& text, const std::string& origin) {
  const intRule& rule = intRuleFind(key);
  int value = 0;
  if (!intTextParse(text, rule, value)) notAllowed(key, text, origin, rule.allowed);
  return value;
}

void recogTask::runParamCheck(const std::string& paramFile, const recogParam& param, runInput input,
                              const strVec& overridden) {
  wordCheck("function", param.function, {"recog", "assess"}, paramFile);
  wordCheck("language", param.language, {"chinese", "taiwanese", "english", "japanese"}, paramFile);
  if (param.language == "chinese") wordCheck("pinyinType", param.pinyinType, {"krv", "hanyu"}, paramFile);

  // The numbers as the file writes them; the last line of a repeated key counts, as in the
  // reader.
  strVec keys, values;
  keyValueFileRead(paramFile, keys, values);
  std::map<std::string, std::string> written;
  for (size_t i = 0; i < keys.size(); i++) written[keys[i]] = values[i];
  for (const intRule& rule : kIntRules) {
    if (contains(overridden, rule.key)) continue;
    const auto it = written.find(rule.key);
    if (it != written.end()) {
      intValueRead(rule.key, it->second, "in " + paramFile);
      continue;
    }
    const int value = param.*(rule.field);
    if (value < rule.min || value > rule.max) notSet(rule.key, paramFile, rule.allowed);
  }

  fileCheck("macFile", param.macFile, "the HMM set (a .mac or .macb file)", paramFile);
  if (param.language != "english")
    fileCheck("dicFile", param.dicFile, "the pronunciation dictionary", paramFile);
  if (param.language == "chinese" || param.language == "english")
    fileCheck("wpaFile", param.wpaFile, "the word-to-phonetic-alphabet lexicon (or the lexicon itself)", paramFile);
  if (param.language == "chinese") fileCheck("pyTableFile", param.pyTableFile, "the pinyin table", paramFile);
  fileCheck("qiYinFile", param.qiYinFile, "the list of unvoiced phones", paramFile);
  fileCheck("tnmFile", param.tnmFile, "the text normalisation map", paramFile);
  fileCheck("featureConfigFile", param.featureConfigFile, "the front end's configuration", paramFile);
  fileCheck("phoneRank2scoreParamFile", param.phoneRank2scoreParamFile, "the phone-rank-to-score parameters",
            paramFile);
  fileCheck("scoreDiscountParamFile", param.scoreDiscountParamFile, "the score discount parameters", paramFile);
  if (input == runInput::wavFile) fileCheck("wavFile", param.wavFile, "the audio file of the utterance", paramFile);
  if (input == runInput::list)
    fileCheck("wavFileList", param.wavFileList, "the list of utterances (result file, wave and texts a line)",
              paramFile);
  if (input != runInput::list)
    fileCheck("txtFile", param.txtFile, "the candidate texts' file (or the texts joined by '#')", paramFile);
  // Only Chinese and English texts are turned into syllables; the others need them given.
  const bool sylFromTexts = param.language == "chinese" || param.language == "english";
  if (!sylFromTexts && param.netType == 0 && param.netFile.empty() && input != runInput::list)
    fileCheck("sylFile", param.sylFile, "the syllable file, as texts in this language are not turned into syllables",
              paramFile);
}

}  // namespace tulim
