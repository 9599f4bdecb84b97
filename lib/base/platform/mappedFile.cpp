#include "mappedFile.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "utility.h"

namespace tulim {

mappedFile::mappedFile(const std::string& path) {
  filePtr fp = openFilePtr(path, "rb");
  struct stat info;
  if (fstat(fileno(fp.get()), &info) != 0)
    errorThrowf("Cannot read file %s (line %d of %s)", path.c_str(), TULIM_HERE);
  if (info.st_size <= 0) return;
  void* at = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fileno(fp.get()), 0);
  if (at == MAP_FAILED) errorThrowf("Cannot read file %s (line %d of %s)", path.c_str(), TULIM_HERE);
  m_data = static_cast<const char*>(at);
  m_size = static_cast<size_t>(info.st_size);
}

void mappedFile::release(size_t offset) const {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t length = std::min(offset, m_size) / page * page;
  if (length > 0) madvise(const_cast<char*>(m_data), length, MADV_DONTNEED);
}

mappedFile::~mappedFile() {
  if (m_data) munmap(const_cast<char*>(m_data), m_size);
}

}  // namespace tulim
