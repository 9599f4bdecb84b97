// The whole recognition of the English task through the library's entry points, over the
// wave and the candidate texts of the input (wave, separator line, texts).
#include "fuzzInput.h"
#include "fuzzTasks.h"
#include "tulim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& paramFile = tulim::fuzz::englishRunParamFile();
  const std::vector<std::string> parts = tulim::fuzz::inputParts(data, size, 2);
  const std::string wave = tulim::fuzz::inputFile("in.wav", parts[0]);
  const std::string texts = tulim::fuzz::inputFile("in.txt", parts[1]);
  float score = 0.0f;
  tulim::fuzz::fatalAllowed([&] { vc01(paramFile.c_str(), wave.c_str(), texts.c_str(), &score); });
  tulim::fuzz::fatalAllowed([&] { sa01(paramFile.c_str(), wave.c_str(), texts.c_str(), &score); });
  return 0;
}
