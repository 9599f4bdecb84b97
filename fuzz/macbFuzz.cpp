// "macb" model images, from a file and from memory.
#include "fuzzInput.h"
#include "macroClass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.macb", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::macroClass set;
    set.macroRead(path, true);
  });
  tulim::fuzz::fatalAllowed([&] {
    tulim::macroClass set;
    set.macroReadFromBuffer(data, size);
  });
  return 0;
}
