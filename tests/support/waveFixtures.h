// Square blocks of known amplitude for the feature tests: a frame made of one block has an
// energy the test can write down.
#pragma once

#include <vector>

namespace tulim {
namespace test {

// One block of blockLength samples per amplitude, alternating +A and -A within the block.
std::vector<int> alternatingBlocks(int blockLength, const std::vector<int>& amplitudes);

}  // namespace test
}  // namespace tulim
