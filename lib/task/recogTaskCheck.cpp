#include <cstdio>
#include <cstdlib>

#include "recogParamKeys.h"
#include "recogTask.h"
#include "stringUtil.h"
#include "utility.h"

namespace tulim {

namespace {

// The integer key of a run called key, with the values that work there.
const paramKey& intKeyFind(const char* key) {
  const paramKey* found = paramKeyFind(key);
  if (!found || !found->range) errorThrowf("Error: %s is not an integer key of a run (line %d of %s)", key, TULIM_HERE);
  return *found;
}

// The text as a whole number in the range, nothing else.
bool intTextParse(const std::string& text, const intRange& range, int& value) {
  int parsed = 0;
  if (!strToIntExact(text, parsed) || parsed < range.min || parsed > range.max) return false;
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
  const intRange& range = *intKeyFind(key).range;
  int value = 0;
  if (!intTextParse(text, range, value)) notAllowed(key, text, origin, range.allowed);
  return value;
}

void recogTask::runParamCheck(const paramFileText& written, const recogParam& param, runInput input,
                              const strVec& overridden) {
  const std::string& paramFile = written.fileName;
  wordCheck("function", param.function, {"recog", "assess"}, paramFile);
  wordCheck("language", param.language, {"chinese", "taiwanese", "english", "japanese"}, paramFile);
  if (param.language == "chinese") wordCheck("pinyinType", param.pinyinType, {"krv", "hanyu"}, paramFile);

  for (const paramKey& key : kParamKeys) {
    if (!key.range || contains(overridden, key.name)) continue;
    const auto it = written.intTexts.find(key.name);
    if (it != written.intTexts.end()) {
      intValueRead(key.name, it->second, "in " + paramFile);
      continue;
    }
    const int value = param.*(key.number);
    if (value < key.range->min || value > key.range->max) notSet(key.name, paramFile, key.range->allowed);
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
