// Syllable files through lexicon and net preparation of the syllable task, recognised and
// assessed.
#include "fuzzInput.h"
#include "fuzzTasks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tulim::fuzz::syllableTask& task = tulim::fuzz::syllableTaskGet();
  const std::string path = tulim::fuzz::inputFile("in.syl", data, size);
  for (const char* function : {"recog", "assess"}) {
    tulim::fuzz::fatalAllowed([&] {
      tulim::recogParam param = task.param;
      param.sylFile = path;
      param.function = function;
      tulim::fuzz::lexiconAndNetPrepare(param, task.mac);
    });
  }
  return 0;
}
