#include "platformFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tulim {

FILE* fileOpenRewrite(const char* name) {
  const int fd = open(name, O_WRONLY | O_CREAT, 0666);
  if (fd < 0) return nullptr;
  FILE* fp = fdopen(fd, "w");
  if (!fp) close(fd);
  return fp;
}

bool fileCutAtPosition(FILE* fp) {
  fflush(fp);
  const int fd = fileno(fp);
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  if (!S_ISREG(info.st_mode)) return true;
  // The descriptor's offset, not stdio's: after a flush that failed part-way it is where the
  // new bytes end, and nothing of the old content may stay behind them.
  const off_t end = lseek(fd, 0, SEEK_CUR);
  if (end < 0) return false;
  return end == info.st_size || ftruncate(fd, end) == 0;
}

}  // namespace tulim
