#include "binaryImage.h"

#include <cstring>

#include "utility.h"

namespace tulim {

binaryImage::binaryImage(const std::string& name) : m_name(name), m_pos(0) {}

binaryImage::binaryImage(const std::string& name, const void* data, size_t size)
    : m_name(name), m_bytes(static_cast<const char*>(data), size), m_pos(0) {}

binaryImage binaryImage::fromFile(const std::string& path) {
  binaryImage image(path);
  file2string(path.c_str(), image.m_bytes);
  return image;
}

void binaryImage::putInt32(int32_t value) {
  uint32_t u = static_cast<uint32_t>(value);
  char b[4] = {static_cast<char>(u & 0xff), static_cast<char>((u >> 8) & 0xff),
               static_cast<char>((u >> 16) & 0xff), static_cast<char>((u >> 24) & 0xff)};
  m_bytes.append(b, 4);
}

void binaryImage::putFloat(float value) {
  uint32_t u;
  memcpy(&u, &value, 4);
  putInt32(static_cast<int32_t>(u));
}

void binaryImage::putBytes(const void* data, size_t size) {
  m_bytes.append(static_cast<const char*>(data), size);
}

void binaryImage::save(const std::string& path) const {
  filePtr fp = openFilePtr(path, "wb");
  if (fwrite(m_bytes.data(), 1, m_bytes.size(), fp.get()) != m_bytes.size() || fflush(fp.get()) != 0)
    errorThrowf("Cannot write file %s (line %d of %s)", path.c_str(), TULIM_HERE);
}

int32_t binaryImage::getInt32() {
  need(1, 4, "int32");
  const unsigned char* b = reinterpret_cast<const unsigned char*>(m_bytes.data() + m_pos);
  m_pos += 4;
  uint32_t u = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
               (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
  int32_t value;
  memcpy(&value, &u, 4);
  return value;
}

float binaryImage::getFloat() {
  int32_t bits = getInt32();
  float value;
  memcpy(&value, &bits, 4);
  return value;
}

void binaryImage::getBytes(void* data, size_t size) {
  need(1, static_cast<int64_t>(size), "bytes");
  memcpy(data, m_bytes.data() + m_pos, size);
  m_pos += size;
}

void binaryImage::need(int64_t count, int64_t itemSize, const char* what) const {
  // Both factors come from the image; compare without forming a product that may overflow.
  if (count < 0 || itemSize < 0 ||
      (itemSize > 0 && count > static_cast<int64_t>(bytesLeft()) / itemSize))
    errorThrowf("Error: truncated image \"%s\": %lld %s of %lld bytes at offset %zu, %zu bytes left (line %d of %s)",
                m_name.c_str(), static_cast<long long>(count), what, static_cast<long long>(itemSize), m_pos,
                bytesLeft(), TULIM_HERE);
}

void binaryImage::expectEnd() const {
  if (bytesLeft() != 0)
    errorThrowf("Error: image \"%s\" has %zu bytes after its end at offset %zu (line %d of %s)", m_name.c_str(),
                bytesLeft(), m_pos, TULIM_HERE);
}

}  // namespace tulim
