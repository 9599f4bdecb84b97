// The model count file over a small prepared model set.
#include "fuzzInput.h"
#include "macroClass.h"
#include "modelSetFixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.cnt", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::macroClass set;
    tulim::test::modelSetPrepare(set, {"a", "b", "c", "sil"});
    set.modelCountRead(path);
  });
  return 0;
}
