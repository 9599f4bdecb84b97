// The equivalent-phone-set file.
#include "fuzzInput.h"
#include "mlfClass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.eps", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::mlfClass mlf;
    mlf.epsRead(path, mlf.m_epsVec);
  });
  return 0;
}
