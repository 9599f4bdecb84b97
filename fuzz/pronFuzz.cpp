// The pronunciation dictionary over a small prepared model set.
#include "dictClass.h"
#include "fuzzInput.h"
#include "macroClass.h"
#include "modelSetFixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static tulim::macroClass* mac = [] {
    auto* set = new tulim::macroClass;
    tulim::test::modelSetPrepare(*set, {"a", "b", "c", "sil", "sp", "a+b", "b+c"});
    return set;
  }();
  const std::string path = tulim::fuzz::inputFile("in.dic", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::dictClass dict;
    dict.pronDictLoad(path, *mac);
    if (!dict.m_pronDict.empty()) dict.findSyllable(dict.m_pronDict.back().syl);
  });
  return 0;
}
