#include "waveFixtures.h"

#include <cmath>

namespace tulim {
namespace test {

std::vector<int> toneSamples(int count, int fs, const std::vector<tone>& tones, double offset) {
  const double pi = 3.14159265358979323846;
  std::vector<int> samples(count);
  for (int n = 0; n < count; ++n) {
    double v = offset;
    for (const tone& t : tones) v += t.amplitude * std::sin(2 * pi * t.freq * n / fs + t.phase);
    samples[n] = int(std::lround(v));
  }
  return samples;
}

std::vector<int> alternatingBlocks(int blockLength, const std::vector<int>& amplitudes) {
  std::vector<int> samples;
  for (int a : amplitudes)
    for (int i = 0; i < blockLength; ++i) samples.push_back(i % 2 == 0 ? a : -a);
  return samples;
}

}  // namespace test
}  // namespace tulim
