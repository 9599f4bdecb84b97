// Files for tests: a fresh scratch directory per test, and text files written from strings.
#pragma once

#include <string>
#include <vector>

namespace tulim {
namespace test {

// A new empty directory under the system's temporary directory, removed with its contents
// when the object goes.
class scratchDir {
 public:
  scratchDir();
  ~scratchDir();
  scratchDir(const scratchDir&) = delete;
  scratchDir& operator=(const scratchDir&) = delete;

  const std::string& path() const { return m_path; }
  // path() + "/" + name
  std::string file(const std::string& name) const;
  // Writes content (bytes as given) to file(name) and returns that path.
  std::string write(const std::string& name, const std::string& content) const;

 private:
  std::string m_path;
};

// The whole file's bytes.
std::string readFile(const std::string& path);

// The names of the entries of a folder (without "." and ".."), sorted.
std::vector<std::string> folderNames(const std::string& dir);

// A key = value text without the lines that set the keys named in dropped, with added
// appended (one "key=value" line each).
std::string keyLinesEdit(const std::string& text, const std::vector<std::string>& dropped,
                         const std::vector<std::string>& added = {});

// Sets an environment variable for the life of the object, restoring it afterwards.
class envScope {
 public:
  envScope(const char* name, const char* value);  // value null: unset
  ~envScope();
  envScope(const envScope&) = delete;
  envScope& operator=(const envScope&) = delete;

 private:
  std::string m_name;
  bool m_had;
  std::string m_old;
};

// Runs in dir for the life of the object (a test fails when either change of directory does).
class cwdScope {
 public:
  explicit cwdScope(const std::string& dir);
  ~cwdScope();
  cwdScope(const cwdScope&) = delete;
  cwdScope& operator=(const cwdScope&) = delete;

 private:
  std::string m_old;
};

}  // namespace test
}  // namespace tulim
