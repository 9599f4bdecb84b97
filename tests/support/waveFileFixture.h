// Wave files for tests, assembled chunk by chunk from bytes so that a test shows exactly
// what the file holds (odd chunks, extra format bytes, chunks before the data, bad sizes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tulim {
namespace test {

std::string le16(uint16_t v);
std::string le32(uint32_t v);

// id, the size of body (or declaredSize when given), body and a zero pad byte when body is
// odd-sized.
std::string chunkBytes(const std::string& id, const std::string& body);
std::string chunkBytes(const std::string& id, const std::string& body, uint32_t declaredSize);

// The body of a "fmt " chunk: the 16 bytes up to the bits per sample, then the extra-size
// field and extraBytes zero bytes when withExtraSize is set (18 + extraBytes bytes).
std::string fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                    bool withExtraSize = true, uint16_t extraBytes = 0);

// The 40-byte body of a "fmt " chunk in the extensible layout (format tag 0xFFFE): the 16
// bytes up to the bits per sample, extra size 22, valid bits = bits, a channel mask, and the
// sub-format GUID that carries subFormat (1 PCM, 3 float, 7 mu-law) in its first two bytes.
std::string extensibleFmtBody(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t subFormat);

// "RIFF", the size of what follows, "WAVE" and the chunks.
std::string waveFileBytes(const std::vector<std::string>& chunks);

// A canonical PCM wave file of the given data bytes.
std::string pcmWaveBytes(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data);

// Samples as little-endian 16-bit words.
std::string pcm16Bytes(const std::vector<int>& samples);

}  // namespace test
}  // namespace tulim
