#include "hostLocale.h"

#include <clocale>
#include <cstdlib>
#include <memory>

#include "testFiles.h"

namespace tulim {
namespace test {

namespace {

const char* const CANDIDATES[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};

std::string settable() {
  for (const char* name : CANDIDATES)
    if (setlocale(LC_NUMERIC, name)) return name;
  return "";
}

// A German locale compiled from the system's locale sources, where they are installed.
std::string built() {
  static std::unique_ptr<scratchDir> dir;
  static std::string name;
  if (dir) return name;
  dir = std::make_unique<scratchDir>();
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + dir->file("de_DE.UTF-8") + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return name;
  setenv("LOCPATH", dir->path().c_str(), 1);
  name = settable();
  return name;
}

}  // namespace

hostCommaLocale::hostCommaLocale() {
  m_name = settable();
  if (m_name.empty()) m_name = built();
}

hostCommaLocale::~hostCommaLocale() { setlocale(LC_NUMERIC, "C"); }

}  // namespace test
}  // namespace tulim
