// "wpa" lexicon text for English and Chinese, as a lexicon and as addenda, and the English
// one-string form.
#include "dictClass.h"
#include "fuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tulim::fuzz::inputFile("in.wpa", data, size);
  for (const char* language : {"english", "chinese"}) {
    tulim::fuzz::fatalAllowed([&] {
      tulim::dictClass dict;
      dict.wpaRead(path, language);
      dict.wpaAddendaRead(path, language);
      dict.wpaMerge();
      dict.wpaSort();
      if (!dict.m_wpa.empty()) dict.wpaFind(dict.m_wpa.front().word);
    });
  }
  tulim::fuzz::fatalAllowed([&] {
    tulim::dictClass dict;
    std::vector<tulim::wpaEntry> entries;
    dict.wpaStringRead(std::string(reinterpret_cast<const char*>(data), size), "english", entries);
  });
  return 0;
}
