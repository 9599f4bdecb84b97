// Candidate texts through lexicon and net preparation of the English task, recognised and
// assessed.
#include "fuzzInput.h"
#include "fuzzTasks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tulim::fuzz::englishTask& task = tulim::fuzz::englishTaskGet();
  const std::string path = tulim::fuzz::inputFile("texts.txt", data, size);
  for (const char* function : {"recog", "assess"}) {
    tulim::fuzz::fatalAllowed([&] {
      tulim::recogParam param = task.param;
      param.txtFile = path;
      param.function = function;
      param.maxCandidateNum = 1000;
      tulim::fuzz::lexiconAndNetPrepare(param, task.mac);
    });
  }
  return 0;
}
