// Raw sample files through the raw readers.
#include <cstdlib>

#include "CWaveDevice.h"
#include "audioFile.h"
#include "fuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.raw", data, size);
  tulim::fuzz::fatalAllowed([&] {
    int count = 0;
    free(tulim::readRawInt(path.c_str(), &count));
  });
  tulim::fuzz::fatalAllowed([&] {
    int fs = 0, nbits = 0, count = 0;
    free(tulim::readAudioFile(path.c_str(), &fs, &nbits, &count));
  });
  for (uint16_t bits : {8, 16}) {
    tulim::fuzz::fatalAllowed([&] {
      tulim::CWaveDevice wave(1, 16000, bits);
      wave.readRaw(path.c_str());
    });
  }
  return 0;
}
