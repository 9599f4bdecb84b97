// Candidate texts through lexicon and net preparation of the English task, recognised and
// assessed.
#include "dictClass.h"
#include "fuzzInput.h"
#include "fuzzTasks.h"
#include "netClass.h"
#include "recogTask.h"
#include "textClass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tulim::fuzz::englishTask& task = tulim::fuzz::englishTaskGet();
  const std::string path = tulim::fuzz::inputFile("texts.txt", data, size);
  for (const char* function : {"recog", "assess"}) {
    tulim::fuzz::fatalAllowed([&] {
      tulim::recogParam param = task.param;
      param.txtFile = path;
      param.function = function;
      param.maxCandidateNum = 1000;
      tulim::dictClass dict;
      tulim::textClass text;
      tulim::netClass net;
      int candidateNum = 0, arenaLen = 0;
      tulim::recogTask().dictPrepare(param, task.mac, dict, text, net);
      tulim::recogTask().netPrepare(param, task.mac, dict, text, net, candidateNum, arenaLen);
    });
  }
  return 0;
}
