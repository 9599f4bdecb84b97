// The volume-check parameter file, then the check of a short fixed wave under it.
#include "audioClass.h"
#include "fuzzInput.h"
#include "toneFixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<int> wave = tulim::test::sineWave(3200, 300.0, 16000, 30000.0);
  const std::string path = tulim::fuzz::inputFile("in.prm", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::volCheckPrm prm;
    tulim::audioClass().volCheckPrmRead(path.c_str(), prm);
  });
  tulim::fuzz::fatalAllowed(
      [&] { tulim::audioClass().volumeCheck(wave.data(), static_cast<int>(wave.size()), path.c_str()); });
  return 0;
}
