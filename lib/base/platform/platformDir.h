// Directory listing, in place of the first/next file search of the original platform.
// Used by dirFileList.
#pragma once

#include <string>
#include <vector>

namespace tulim {

struct dirEntry {
  std::string name;  // the entry's own name, without the directory
  bool isDir;
};

// Path separator of this platform.
constexpr char PATH_SEPARATOR = '/';

// Fills entries with the entries of dir (without "." and ".."), sorted by name as bytes
// so that listings do not depend on the file system's order. False when dir cannot be
// read as a directory.
bool dirRead(const std::string& dir, std::vector<dirEntry>& entries);

// True when path names an existing directory.
bool isDirectory(const char* path);

}  // namespace tulim
