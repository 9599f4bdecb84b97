// RIFF wave files through every wave reader.
#include <cstdlib>

#include "CWaveDevice.h"
#include "TWaveFile.h"
#include "audioFile.h"
#include "fuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.wav", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::TWaveFile wave;
    if (wave.load(path.c_str())) wave.duration();
  });
  tulim::fuzz::fatalAllowed([&] {
    tulim::CWaveDevice wave(1, 8000, 8);
    wave.readWave(path.c_str());
  });
  tulim::fuzz::fatalAllowed([&] {
    int fs = 0, nbits = 0, count = 0;
    free(tulim::readAudioFile(path.c_str(), &fs, &nbits, &count));
  });
  tulim::fuzz::fatalAllowed([&] {
    int fs = 0, nbits = 0, count = 0, channels = 0;
    free(tulim::readWaveShort(path.c_str(), &count, &fs, &nbits, &channels));
  });
  return 0;
}
