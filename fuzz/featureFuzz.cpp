// Feature files in both byte orders, and the header fields and frames of an HTK-style file
// as the model-set helpers read them.
#include "CFeaBuf.h"
#include "fuzzInput.h"
#include "macroClass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.fea", data, size);
  for (bool native : {true, false}) {
    tulim::fuzz::fatalAllowed([&] {
      tulim::CFeaBuf buffer;
      buffer.read(path.c_str(), native);
    });
  }
  tulim::fuzz::fatalAllowed([&] {
    const int32_t frames = tulim::macroClass::htkHeaderField(path, 0);
    for (int field = 1; field < 5; ++field) tulim::macroClass::htkHeaderField(path, field);
    tulim::macroClass::htkDataRead(path, frames, tulim::macroClass::htkHeaderField(path, 2));
  });
  return 0;
}
