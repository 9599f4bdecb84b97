// Little-endian binary images ("macb", "wpab", "netb", feature files): int32, float32 and
// raw bytes appended or read field by field, so an image is the same on every machine.
// Reading is bounded: a read past the end is a fatal error naming the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/mappedFile.h"

namespace tulim {

class binaryImage {
 public:
  // An empty image to write; name (usually the file) is used in messages.
  explicit binaryImage(const std::string& name);
  // A copy of size bytes to read.
  binaryImage(const std::string& name, const void* data, size_t size);
  // The whole file to read (openFile's fatal message when it cannot be opened), mapped into
  // memory rather than copied.
  static binaryImage fromFile(const std::string& path);

  void putInt32(int32_t value);
  void putFloat(float value);
  void putBytes(const void* data, size_t size);
  // Writes the bytes to path (fatal when that fails).
  void save(const std::string& path) const;

  int32_t getInt32();
  float getFloat();
  void getBytes(void* data, size_t size);
  // The next count items of itemSize bytes each, in place (valid while the image lives), for a
  // reader that decodes many fields at once; fatal unless they are all there.
  const uint8_t* take(int64_t count, int64_t itemSize, const char* what);
  // Fatal unless count items of itemSize bytes each are left.
  void need(int64_t count, int64_t itemSize, const char* what) const;
  // Fatal when bytes are left over.
  void expectEnd() const;

  size_t bytesLeft() const { return size() - m_pos; }
  // The bytes written (an image to write).
  const std::string& bytes() const { return m_bytes; }
  const std::string& name() const { return m_name; }

 private:
  // What is read: the mapped file, else the bytes held.
  const char* data() const { return m_mapped ? m_mapped->data() : m_bytes.data(); }
  size_t size() const { return m_mapped ? m_mapped->size() : m_bytes.size(); }

  std::string m_name;
  std::string m_bytes;
  std::shared_ptr<const mappedFile> m_mapped;
  size_t m_pos;
};

}  // namespace tulim
