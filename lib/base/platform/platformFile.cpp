#include "platformFile.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tulim {

namespace {

// A name in the folder of target that no other writer uses: this process's id, a count of
// its own files and the clock (a process of the same id in another container sharing the
// folder). Short and fixed in length, so a long target name cannot make it too long.
std::string tempNameFor(const std::string& target) {
  static std::atomic<unsigned> s_count{0};
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  char name[80];
  snprintf(name, sizeof name, ".tulim-%ld-%u-%lx.tmp", static_cast<long>(getpid()), s_count++,
           static_cast<unsigned long>(now.tv_nsec));
  return dir + name;
}

bool fileOpenDirect(const std::string& name, bool append, fileReplace& file) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | (append ? O_APPEND : 0), 0666);
  if (fd < 0) return false;
  file.fp = fdopen(fd, append ? "a" : "w");
  if (!file.fp) {
    const int err = errno;
    close(fd);
    errno = err;
    return false;
  }
  file.finalName = name;
  return true;
}

// Cuts the file behind the bytes written: the descriptor's offset, not stdio's, which after
// a flush that failed part-way is where the new bytes end.
int cutAtPosition(FILE* fp) {
  const int fd = fileno(fp);
  const off_t end = lseek(fd, 0, SEEK_CUR);
  if (end < 0) return errno;
  struct stat info;
  if (fstat(fd, &info) != 0) return errno;
  if (info.st_size != end && ftruncate(fd, end) != 0) return errno;
  return 0;
}

}  // namespace

bool fileReplaceOpen(const char* name, bool append, fileReplace& file) {
  file = fileReplace();
  std::string target = name;
  struct stat info;
  bool exists = lstat(name, &info) == 0;
  if (exists && S_ISLNK(info.st_mode)) {
    char* real = realpath(name, nullptr);
    // A link to nothing yet: the file it names is made, as an open for writing would.
    if (!real) return fileOpenDirect(target, append, file);
    target = real;
    free(real);
    exists = stat(target.c_str(), &info) == 0;
  }
  if (exists && S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (exists && !S_ISREG(info.st_mode)) return fileOpenDirect(target, append, file);

  const std::string temp = tempNameFor(target);
  bool movedAside = false;
  if (exists) {
    if (rename(target.c_str(), temp.c_str()) == 0)
      movedAside = true;
    else if (errno != ENOENT)  // gone meanwhile: written anew
      return false;
  }
  const int flags = O_WRONLY | O_CREAT | (movedAside ? 0 : O_EXCL) | (append ? O_APPEND : 0);
  const int fd = open(temp.c_str(), flags, 0666);
  FILE* fp = fd < 0 ? nullptr : fdopen(fd, append ? "a" : "w");
  if (!fp) {
    const int err = errno;
    if (fd >= 0) close(fd);
    if (movedAside) rename(temp.c_str(), target.c_str());
    errno = err;
    return false;
  }
  file.fp = fp;
  file.tempName = temp;
  file.finalName = target;
  // The reason of a write that fails on the way is what errno holds at the close.
  errno = 0;
  return true;
}

bool fileReplaceCommit(fileReplace& file) {
  FILE* fp = file.fp;
  file.fp = nullptr;
  if (!fp) return true;
  int err = 0;
  if (fflush(fp) != 0)
    err = errno;
  else if (ferror(fp))
    err = errno != 0 ? errno : EIO;
  if (err == 0 && !file.tempName.empty()) err = cutAtPosition(fp);
  if (fclose(fp) != 0 && err == 0) err = errno;
  if (err == 0 && !file.tempName.empty() && rename(file.tempName.c_str(), file.finalName.c_str()) != 0) err = errno;
  if (err != 0) {
    if (!file.tempName.empty()) unlink(file.tempName.c_str());
    errno = err;
    return false;
  }
  return true;
}

void fileReplaceAbandon(fileReplace& file) {
  const int err = errno;
  if (file.fp) fclose(file.fp);
  file.fp = nullptr;
  if (!file.tempName.empty()) unlink(file.tempName.c_str());
  errno = err;
}

bool fileRemoveIfPresent(const char* name) { return unlink(name) == 0 || errno == ENOENT; }

std::string dirLockFileName(const std::string& dir) {
  return dir + (dir.empty() || dir.back() == '/' ? "" : "/") + ".tulim.lock";
}

bool dirLock::acquire(const std::string& dir) {
  release();
  m_path = dirLockFileName(dir);
  for (;;) {
    const int fd = open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    int locked;
    while ((locked = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
      const int err = errno;
      close(fd);
      errno = err;
      return false;
    }
    // The holder before us removes the file when it is done: a lock of a file that is no
    // longer the folder's lock file guards nothing.
    struct stat held, named;
    if (fstat(fd, &held) == 0 && stat(m_path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      m_fd = fd;
      return true;
    }
    close(fd);
  }
}

void dirLock::release() {
  if (m_fd < 0) return;
  unlink(m_path.c_str());
  close(m_fd);
  m_fd = -1;
}

}  // namespace tulim
