// Square blocks of known amplitude for the feature and recording tests: a frame made of one
// block has an energy the test can write down; samples as the bytes a device moves, and a
// device buffer with memory of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/waveIo.h"

namespace tulim {
namespace test {

// One block of blockLength samples per amplitude, alternating +A and -A within the block.
std::vector<int> alternatingBlocks(int blockLength, const std::vector<int>& amplitudes);

// The samples as PCM bytes of that width: 8 bits the low byte of each, 16 bits little-endian
// words.
std::string pcmBytes(const std::vector<int>& samples, int bits);

// A buffer to hand a wave device: the header points into the object's own memory, so the
// object stays in place while a device holds it.
struct waveBuffer {
  explicit waveBuffer(uint32_t length) : waveBuffer(std::string(length, '\0')) {}
  explicit waveBuffer(const std::string& bytes) : memory(bytes) {
    header.data = &memory[0];
    header.bufferLength = static_cast<uint32_t>(memory.size());
  }
  waveBuffer(const waveBuffer&) = delete;
  waveBuffer& operator=(const waveBuffer&) = delete;

  // The bytes an input device has recorded into it.
  std::string recorded() const { return memory.substr(0, header.bytesRecorded); }

  std::string memory;
  waveHeader header;
};

}  // namespace test
}  // namespace tulim
