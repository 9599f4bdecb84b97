// "mac" model text through the model-set reader, sorted and prepared as a run loads it: read
// whole and read in parts of a model or so on the pool's threads, the two reads must end the
// same way, with the same message or the same models.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "fuzzInput.h"
#include "macroClass.h"

namespace {

// The fatal message, or the image of the set read.
std::string readWith(const std::string& path, size_t partBytes) {
  tulim::macroClass::textPartBytesSet(partBytes);
  std::string outcome = "read";
  try {
    tulim::macroClass set;
    set.macroRead(path, true);
    for (int i = 0; i < set.MMF().modelNum; ++i) set.findModelIndex(set.MMF().model[static_cast<size_t>(i)].str);
    const std::string image = tulim::fuzz::scratchPath() + "/read.macb";
    set.macbWrite(image);
    std::ifstream in(image, std::ios::binary);
    outcome += std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (char* message) {
    outcome = std::string("fatal: ") + message;
  }
  tulim::fuzz::errorLogsTrim();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.mac", data, size);
  const std::string whole = readWith(path, SIZE_MAX);
  const std::string parts = readWith(path, 1);
  if (whole != parts) {
    fprintf(stderr, "read whole: %.300s\nread in parts: %.300s\n", whole.c_str(), parts.c_str());
    abort();
  }
  return 0;
}
