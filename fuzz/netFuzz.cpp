// "net" text through the net loader, over the dictionary of a small task.
#include "candidateFixture.h"
#include "fuzzInput.h"
#include "netClass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.net", data, size);
  tulim::fuzz::fatalAllowed([&] {
    tulim::macroClass mac;
    tulim::dictClass dict;
    tulim::test::pathModelsMake(mac, dict);
    tulim::netClass net;
    net.netLoad(path, dict);
    net.maxFanOutNum();
    net.sylCountOnFirstPath();
  });
  return 0;
}
