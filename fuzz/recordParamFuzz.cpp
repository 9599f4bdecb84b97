// The recording parameter file, read and checked as the recorder does.
#include "fuzzInput.h"
#include "recording.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.prm", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::recordParam param{};
    tulim::recordParamRead(path.c_str(), &param);
    tulim::recordParamCheck(param);
    tulim::recordParamPrint(&param);
  });
  return 0;
}
