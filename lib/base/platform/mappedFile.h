// A whole file mapped read-only into memory: its bytes are read from the system's file cache
// as they are, with no buffer to fill and no copy. For large inputs read once (model images).
#pragma once

#include <cstddef>
#include <string>

namespace tulim {

class mappedFile {
 public:
  // openFile's fatal message when the file cannot be opened; an empty file maps nothing.
  explicit mappedFile(const std::string& path);
  ~mappedFile();
  mappedFile(const mappedFile&) = delete;
  mappedFile& operator=(const mappedFile&) = delete;

  const char* data() const { return m_data; }
  size_t size() const { return m_size; }

  // The bytes before offset are done with for now: their memory is handed back (the whole
  // pages among them). They stay readable; a later read brings them back from the file.
  void release(size_t offset) const;

 private:
  const char* m_data = nullptr;
  size_t m_size = 0;
};

}  // namespace tulim
