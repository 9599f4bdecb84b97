#include "waveFixtures.h"

namespace tulim {
namespace test {

std::vector<int> alternatingBlocks(int blockLength, const std::vector<int>& amplitudes) {
  std::vector<int> samples;
  for (int a : amplitudes)
    for (int i = 0; i < blockLength; ++i) samples.push_back(i % 2 == 0 ? a : -a);
  return samples;
}

std::string pcmBytes(const std::vector<int>& samples, int bits) {
  std::string bytes;
  for (int s : samples) {
    bytes += static_cast<char>(s & 0xFF);
    if (bits == 16) bytes += static_cast<char>((s >> 8) & 0xFF);
  }
  return bytes;
}

}  // namespace test
}  // namespace tulim
