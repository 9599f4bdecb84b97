#include "testFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tulim {
namespace test {

scratchDir::scratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tulim-test-XXXXXX").string();
  if (!mkdtemp(&pattern[0])) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

scratchDir::~scratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::string scratchDir::file(const std::string& name) const { return m_path + "/" + name; }

std::string scratchDir::write(const std::string& name, const std::string& content) const {
  std::string path = file(name);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
  return path;
}

std::vector<std::string> folderNames(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string keyLinesEdit(const std::string& text, const std::vector<std::string>& dropped,
                         const std::vector<std::string>& added) {
  std::istringstream in(text);
  std::string out, line;
  while (std::getline(in, line)) {
    bool drop = false;
    for (const std::string& key : dropped) drop = drop || line.rfind(key + "=", 0) == 0;
    if (!drop) out += line + "\n";
  }
  for (const std::string& a : added) out += a + "\n";
  return out;
}

envScope::envScope(const char* name, const char* value) : m_name(name) {
  const char* old = getenv(name);
  m_had = old != nullptr;
  if (old) m_old = old;
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

envScope::~envScope() {
  if (m_had)
    setenv(m_name.c_str(), m_old.c_str(), 1);
  else
    unsetenv(m_name.c_str());
}

cwdScope::cwdScope(const std::string& dir) {
  char buffer[4096];
  m_old = getcwd(buffer, sizeof buffer) ? buffer : ".";
  EXPECT_EQ(chdir(dir.c_str()), 0);
}

cwdScope::~cwdScope() { EXPECT_EQ(chdir(m_old.c_str()), 0); }

}  // namespace test
}  // namespace tulim
