// One recognition run's input files written into a scratch directory, for the tests of the
// recognition core, the task drivers and the library exports: the models, a pronunciation
// dictionary in which every syllable is its own model, the normalisation map, the voicing
// list, the syllable lines, the texts, the feature configuration, the bell curve of the
// phone ranks, the discount ratios and the parameter file.
#pragma once

#include <string>
#include <vector>

#include "stringUtil.h"
#include "testFiles.h"

namespace tulim {
namespace test {

// "mac" text of the models named, in list order: every emitting state of model k has the
// mean vector means[k] (FIXTURE_VECTOR_SIZE values) and unit variances, with the fixture's
// transitions.
std::string modelSetTextWithMeans(const strVec& names, const std::vector<std::vector<float>>& means);

struct recognitionFiles {
  std::string macFile;
  std::string dicFile;
  std::string tnmFile;
  std::string qiYinFile;
  std::string sylFile;
  std::string txtFile;
  std::string featureConfigFile;
  std::string outputDir;  // an empty directory "out"
  std::string paramFile;
};

// Writes the files of a "taiwanese" run (comparison mode 1) without end-point detection, padding or
// descending candidate numbers: the model text macText as "models.mac", syllables as their
// own models (list them with "sil"; the dictionary comes out sorted), sylLines as the syllable file sylFileName, texts
// one a line, the voicing list naming the unvoiced base names, and the parameter file with the given function and extra
// "key=value" lines (appended, so they override).
recognitionFiles recognitionFilesWrite(const scratchDir& dir, const std::string& macText, const strVec& syllables,
                                       const strVec& sylLines, const strVec& texts, const std::string& function,
                                       const strVec& unvoiced = {}, const std::string& sylFileName = "texts.syl",
                                       const strVec& extraParams = {});

}  // namespace test
}  // namespace tulim
