// The feature configuration, then the features of a short fixed wave under it.
#include <cstdlib>

#include "CMel.h"
#include "fuzzInput.h"
#include "toneFixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<int> wave = tulim::test::sineWave(4000, 440.0, 16000, 8000.0);
  const std::string path = tulim::fuzz::inputFile("in.cfg", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::CMel mel;
    int frames = 0, vecSize = 0;
    mel.computeMfcc(wave.data(), 16000, 16, static_cast<int>(wave.size()), path.c_str(), &frames, &vecSize);
  });
  return 0;
}
