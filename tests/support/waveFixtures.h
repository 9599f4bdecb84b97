// Integer sample buffers for the signal tests: sums of tones and square blocks of known
// amplitude, so a test can say what its features must be.
#pragma once

#include <vector>

namespace tulim {
namespace test {

struct tone {
  double freq;       // Hz
  double amplitude;  // in sample units
  double phase;      // radians
};

// count samples at fs Hz of offset + the sum of the tones, rounded to integers.
std::vector<int> toneSamples(int count, int fs, const std::vector<tone>& tones, double offset = 0);

// One block of blockLength samples per amplitude, alternating +A and -A within the block.
std::vector<int> alternatingBlocks(int blockLength, const std::vector<int>& amplitudes);

}  // namespace test
}  // namespace tulim
