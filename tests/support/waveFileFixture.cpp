#include "waveFileFixture.h"

#include "platform/byteOrder.h"

namespace tulim {
namespace test {

std::string le16(uint16_t v) {
  std::string bytes;
  appendLittleEndian16(bytes, v);
  return bytes;
}

std::string le32(uint32_t v) {
  std::string bytes;
  appendLittleEndian32(bytes, v);
  return bytes;
}

std::string chunkBytes(const std::string& id, const std::string& body) {
  return chunkBytes(id, body, static_cast<uint32_t>(body.size()));
}

std::string chunkBytes(const std::string& id, const std::string& body, uint32_t declaredSize) {
  std::string bytes = id + le32(declaredSize) + body;
  if (body.size() % 2) bytes += '\0';
  return bytes;
}

std::string fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                    bool withExtraSize, uint16_t extraBytes) {
  uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  std::string body = le16(tag) + le16(channels) + le32(rate) + le32(align * rate) + le16(align) + le16(bits);
  if (withExtraSize) body += le16(extraBytes) + std::string(extraBytes, '\0');
  return body;
}

std::string extensibleFmtBody(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t subFormat) {
  static const char GUID_TAIL[] = "\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";
  const uint32_t mask = channels == 1 ? 0x4 : 0x3;
  return fmtBody(0xFFFE, channels, rate, bits, false) + le16(22) + le16(bits) + le32(mask) + le16(subFormat) +
         std::string(GUID_TAIL, 14);
}

std::string waveFileBytes(const std::vector<std::string>& chunks) {
  std::string body = "WAVE";
  for (const std::string& chunk : chunks) body += chunk;
  return "RIFF" + le32(static_cast<uint32_t>(body.size())) + body;
}

std::string pcmWaveBytes(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data) {
  return waveFileBytes({chunkBytes("fmt ", fmtBody(1, channels, rate, bits)), chunkBytes("data", data)});
}

std::string pcm16Bytes(const std::vector<int>& samples) {
  std::string bytes;
  for (int s : samples) bytes += le16(static_cast<uint16_t>(static_cast<int16_t>(s)));
  return bytes;
}

}  // namespace test
}  // namespace tulim
