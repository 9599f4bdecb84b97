// "wpab" lexicon images, from a file and from memory.
#include "dictClass.h"
#include "fuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.wpab", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::dictClass dict;
    dict.wpaRead(path, "english");
  });
  tulim::fuzz::fatalAllowed([&] {
    tulim::dictClass dict;
    dict.wpabReadFromBuffer(reinterpret_cast<const char*>(data), size);
  });
  return 0;
}
