#include "waveFixtures.h"

namespace tulim {
namespace test {

std::vector<int> alternatingBlocks(int blockLength, const std::vector<int>& amplitudes) {
  std::vector<int> samples;
  for (int a : amplitudes)
    for (int i = 0; i < blockLength; ++i) samples.push_back(i % 2 == 0 ? a : -a);
  return samples;
}

}  // namespace test
}  // namespace tulim
