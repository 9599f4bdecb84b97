#include "platformDir.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace tulim {

bool dirRead(const std::string& dir, std::vector<dirEntry>& entries) {
  entries.clear();
  DIR* handle = opendir(dir.c_str());
  if (!handle) return false;
  while (dirent* entry = readdir(handle)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string path = dir;
    if (!path.empty() && path.back() != PATH_SEPARATOR) path += PATH_SEPARATOR;
    path += name;
    entries.push_back(dirEntry{name, isDirectory(path.c_str())});
  }
  closedir(handle);
  std::sort(entries.begin(), entries.end(),
            [](const dirEntry& a, const dirEntry& b) { return a.name < b.name; });
  return true;
}

bool isDirectory(const char* path) {
  struct stat info;
  return path && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace tulim
