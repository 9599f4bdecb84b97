// Label files through both label readers.
#include "fuzzInput.h"
#include "mlfClass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.lab", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::mlfClass mlf;
    mlf.labFileRead(path);
    mlf.frameShift(3);
  });
  tulim::fuzz::fatalAllowed([&] {
    tulim::mlfClass mlf;
    mlf.phoneLevelRead(path);
  });
  return 0;
}
