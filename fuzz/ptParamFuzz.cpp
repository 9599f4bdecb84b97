// The pitch-tracking parameter file, then the pitch and volume of a short fixed wave under it.
#include "audioClass.h"
#include "fuzzInput.h"
#include "recogTask.h"
#include "toneFixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<int> wave = tulim::test::sineWave(4000, 220.0, 16000, 8000.0);
  const std::string path = tulim::fuzz::inputFile("in.pt", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::ptParam p;
    tulim::audioClass().ptParamSet(p, 16000, 16, 1, path.c_str());
    const std::string& dir = tulim::fuzz::scratchPath();
    tulim::recogTask().wavePitchVolume(wave.data(), static_cast<int>(wave.size()), p, dir + "/pitch.txt",
                                       dir + "/volume.txt");
  });
  return 0;
}
