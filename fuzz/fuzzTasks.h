// The small fixed tasks that the harnesses of the preparation stages and of the whole
// recognition run over: files written once per process into a scratch directory.
#pragma once

#include <string>

#include "macroClass.h"
#include "recogParam.h"
#include "stringUtil.h"

namespace tulim {
namespace fuzz {

// The English task of yes/no/go: lexicon, addenda, map and texts, and its models prepared.
struct englishTask {
  recogParam param;
  macroClass mac;
};
const englishTask& englishTaskGet();

// The taiwanese task over syllables "a", "b", "c" and "sil": every file of a recognition
// run, the parameter file read into param.
struct syllableTask {
  recogParam param;
  macroClass mac;
  std::string paramFile;
};
const syllableTask& syllableTaskGet();

// The parameter file of a whole recognition run of the English task (models, lexicons,
// feature configuration, scoring files, an output directory).
const std::string& englishRunParamFile();

// Lexicon and net preparation of a run of param over the models mac, as the pipeline does it.
void lexiconAndNetPrepare(recogParam& param, const macroClass& mac);

// The net file of that name loaded over the dictionary of a small hand-made task.
void netLoadOverSmallTask(const std::string& path);

// The syllable lines and texts of the syllable task.
strVec syllableTaskLines();
strVec syllableTaskTexts();

}  // namespace fuzz
}  // namespace tulim
