// "net" text through the net loader, over the dictionary of a small task.
#include "fuzzInput.h"
#include "fuzzTasks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.net", data, size);
  tulim::fuzz::fatalAllowed([&] { tulim::fuzz::netLoadOverSmallTask(path); });
  return 0;
}
