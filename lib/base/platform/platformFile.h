// Files written whole or not at all, and the lock that makes runs sharing an output folder
// take turns. Used by openFilePtr, closeWrittenFile and their closer, by the error log and by
// the task's result files.
#pragma once

#include <cstdio>
#include <string>

namespace tulim {

// A file being written in place of another. The bytes go to a temporary file in the same
// folder, which fileReplaceCommit renames to finalName: a process stopped at any moment leaves
// finalName whole, as before or as written, or absent, never cut or spliced.
//
// An existing regular file is first moved aside to the temporary name and rewritten in place
// there, then cut to the bytes written and renamed back. Neither a truncating open nor a rename
// over an existing file is used: ext4 writes out such files at once, which costs ten to a
// hundred times the write of a small file. A name that is not a regular file (a device, a
// FIFO) is written directly; a symbolic link is followed to its file.
struct fileReplace {
  FILE* fp = nullptr;
  std::string tempName;   // empty when the file is written directly
  std::string finalName;  // the file that takes the bytes
};

// Opens name for writing from its start, or for appending to its old content when append is
// set. False, with errno telling why, when no temporary file can be made or opened (nothing
// is then changed).
bool fileReplaceOpen(const char* name, bool append, fileReplace& file);

// Flushes, checks and closes the file, then renames it into place. False, with errno telling
// why (of the first step that failed), when a write, the cut, the close or the rename failed;
// the temporary file is then removed, and with it the old content.
bool fileReplaceCommit(fileReplace& file);

// Closes the file without renaming it; the temporary file is removed. Keeps errno.
void fileReplaceAbandon(fileReplace& file);

// Removes name; a file that is not there counts as removed. False, with errno, otherwise.
bool fileRemoveIfPresent(const char* name);

// An exclusive lock of a folder, held on a lock file inside it. The kernel lets it go when
// the process ends, however it ends. The lock file is removed on release, so a folder holds no
// file of it after a run; a process that waited for the lock of a file removed meanwhile
// starts again with the new one.
class dirLock {
 public:
  dirLock() = default;
  dirLock(const dirLock&) = delete;
  dirLock& operator=(const dirLock&) = delete;
  ~dirLock() { release(); }

  // Waits for the lock of dir. False, with errno, when the lock file cannot be made or
  // locked; lockFileName then names it.
  bool acquire(const std::string& dir);
  void release();
  const std::string& lockFileName() const { return m_path; }

 private:
  int m_fd = -1;
  std::string m_path;
};

// The name of the lock file of dir.
std::string dirLockFileName(const std::string& dir);

}  // namespace tulim
