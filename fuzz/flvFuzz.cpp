// FLV files through the FLV readers.
#include <cstdlib>

#include "audioFile.h"
#include "flvReader.h"
#include "fuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.flv", data, size);
  tulim::fuzz::fatalAllowed([&] {
    int fs = 0, nbits = 0, count = 0, channels = 0;
    int16_t* samples = tulim::readFlvShort(path.c_str(), &fs, &nbits, &count, &channels);
    tulim::flvFree(samples);
  });
  tulim::fuzz::fatalAllowed([&] {
    int fs = 0, nbits = 0, count = 0;
    free(tulim::readAudioFile(path.c_str(), &fs, &nbits, &count));
  });
  return 0;
}
