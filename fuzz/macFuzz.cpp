// "mac" model text through the model-set reader, sorted and prepared as a run loads it.
#include "fuzzInput.h"
#include "macroClass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.mac", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::macroClass set;
    set.macroRead(path, true);
    for (int i = 0; i < set.MMF().modelNum; ++i) set.findModelIndex(set.MMF().model[static_cast<size_t>(i)].str);
  });
  return 0;
}
