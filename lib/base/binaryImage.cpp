#include "binaryImage.h"

#include <cstring>

#include "platform/byteOrder.h"
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

void binaryImage::putInt32(int32_t value) { appendLittleEndian32(m_bytes, static_cast<uint32_t>(value)); }

void binaryImage::putFloat(float value) { appendLittleEndianFloat(m_bytes, value); }

void binaryImage::putBytes(const void* data, size_t size) {
  m_bytes.append(static_cast<const char*>(data), size);
}

void binaryImage::save(const std::string& path) const {
  buffer2file(path.c_str(), m_bytes.data(), static_cast<long>(m_bytes.size()));
}

int32_t binaryImage::getInt32() {
  need(1, 4, "int32");
  uint32_t u = readLittleEndian32(reinterpret_cast<const uint8_t*>(m_bytes.data() + m_pos));
  m_pos += 4;
  int32_t value;
  memcpy(&value, &u, 4);
  return value;
}

float binaryImage::getFloat() {
  need(1, 4, "float");
  float value = readLittleEndianFloat(reinterpret_cast<const uint8_t*>(m_bytes.data() + m_pos));
  m_pos += 4;
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
