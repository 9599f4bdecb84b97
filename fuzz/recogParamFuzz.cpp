// The recognition parameter file.
#include "fuzzInput.h"
#include "recogTask.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.prm", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::recogParam param;
    tulim::recogTask().recogParamRead(path, param);
    tulim::recogTask().recogParamPrint(param);
  });
  return 0;
}
