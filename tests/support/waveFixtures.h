// Square blocks of known amplitude for the feature and recording tests: a frame made of one
// block has an energy the test can write down; and samples as the bytes a device moves.
#pragma once

#include <string>
#include <vector>

namespace tulim {
namespace test {

// One block of blockLength samples per amplitude, alternating +A and -A within the block.
std::vector<int> alternatingBlocks(int blockLength, const std::vector<int>& amplitudes);

// The samples as PCM bytes of that width: 8 bits the low byte of each, 16 bits little-endian
// words.
std::string pcmBytes(const std::vector<int>& samples, int bits);

}  // namespace test
}  // namespace tulim
