#include "fuzzInput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace tulim {
namespace fuzz {

namespace {

std::string s_scratch;

void scratchRemove() {
  std::error_code ignored;
  if (!s_scratch.empty()) std::filesystem::remove_all(s_scratch, ignored);
}

}  // namespace

const std::string& scratchPath() {
  if (s_scratch.empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tulim-fuzz-XXXXXX").string();
    if (!mkdtemp(&pattern[0])) throw std::runtime_error("mkdtemp failed");
    s_scratch = pattern;
    atexit(scratchRemove);
    setenv("temp", s_scratch.c_str(), 1);
    if (!getenv("TULIM_FUZZ_VERBOSE")) {
      fflush(stdout);
      const int null = open("/dev/null", O_WRONLY);
      if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
      }
    }
  }
  return s_scratch;
}

std::string inputFile(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = scratchPath() + "/" + name;
  FILE* fp = fopen(path.c_str(), "wb");
  if (!fp) throw std::runtime_error("cannot write " + path);
  if (size > 0 && fwrite(data, 1, size, fp) != size) throw std::runtime_error("cannot write " + path);
  fclose(fp);
  return path;
}

std::string inputFile(const std::string& name, const std::string& bytes) {
  return inputFile(name, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// The logs are named by the second, so at most one a second piles up; a sweep every few
// thousand inputs keeps a long run's directory small.
void errorLogsTrim() {
  static unsigned s_calls = 0;
  if (++s_calls % 4096 != 0) return;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(scratchPath(), ignored))
    if (entry.path().filename().string().rfind("error_", 0) == 0) std::filesystem::remove(entry.path(), ignored);
}

std::vector<std::string> inputParts(const uint8_t* data, size_t size, size_t n) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::string separator = PART_SEPARATOR;
  std::vector<std::string> parts;
  size_t at = 0;
  while (parts.size() + 1 < n) {
    const size_t next = all.find(separator, at);
    if (next == std::string::npos) break;
    parts.push_back(all.substr(at, next - at));
    at = next + separator.size();
  }
  parts.push_back(at <= all.size() ? all.substr(at) : std::string());
  parts.resize(n);
  return parts;
}

std::string partsJoin(const std::vector<std::string>& parts) {
  std::string all;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) all += PART_SEPARATOR;
    all += parts[i];
  }
  return all;
}

}  // namespace fuzz
}  // namespace tulim
