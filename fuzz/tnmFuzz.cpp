// The normalisation map, applied to texts of every language; the input holds the map and,
// after a separator line, the texts (a few fixed ones when absent).
#include "fuzzInput.h"
#include "textClass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = tulim::fuzz::inputParts(data, size, 2);
  const std::string path = tulim::fuzz::inputFile("in.tnm", parts[0]);
  tulim::strVec texts;
  tulim::strSplit(parts[1], '\n', texts);
  if (parts[1].empty()) texts = {"Yes! no, go.", "\xa4\x4b \xa5\x64", "ABC abc"};
  for (const char* language : {"english", "chinese", "taiwanese", "japanese"}) {
    tulim::fuzz::fatalAllowed([&] {
      tulim::textClass text;
      text.txtMapRead(path, '#', text.m_textNormSp);
      text.txtVsSet(texts);
      text.txtNormalize(language);
    });
  }
  return 0;
}
