// Key/value files and the other line-file readers.
#include "fuzzInput.h"
#include "lineFile.h"
#include "numericUtil.h"
#include "utility.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.txt", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::strVec keys, values;
    tulim::keyValueFileRead(path, keys, values);
  });
  tulim::fuzz::fatalAllowed([&] { tulim::file2strTable(path); });
  tulim::fuzz::fatalAllowed([&] {
    tulim::strVec lines;
    tulim::file2strVec(path, lines, '%');
  });
  tulim::fuzz::fatalAllowed([&] {
    std::vector<float> values;
    tulim::file2floatVec(path, values);
  });
  tulim::fuzz::fatalAllowed([&] {
    std::string line;
    tulim::fileLineRead(path.c_str(), tulim::getFileLineCount(path.c_str()), line);
  });
  return 0;
}
