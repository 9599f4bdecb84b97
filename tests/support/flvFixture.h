// FLV files for tests, with audio from libavcodec's own Nellymoser encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tulim {
namespace test {

// A sine of the given frequency and amplitude (full scale 1.0).
std::vector<float> sineSamples(int count, double freq, int fs, double amplitude);

// The samples coded as Nellymoser blocks of 64 bytes (256 samples each, the encoder
// flushed at the end); the blocks are concatenated.
std::string nellymoserEncode(const std::vector<float>& samples, int fs);

// Builds an FLV file tag by tag, writing each previous-tag size.
class flvBuilder {
 public:
  // The 9-byte header; dataOffset is what the header's offset field says.
  explicit flvBuilder(uint32_t dataOffset = 9);
  flvBuilder& tag(uint8_t type, const std::string& body, uint32_t timestamp = 0);
  flvBuilder& audio(uint8_t flags, const std::string& blocks) { return tag(8, std::string(1, char(flags)) + blocks); }
  // The file: header, tags and the last previous-tag size.
  std::string bytes() const;

 private:
  std::string m_bytes;
  uint32_t m_lastBody = 0;
  bool m_any = false;
};

}  // namespace test
}  // namespace tulim
