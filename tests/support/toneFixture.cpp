#include "toneFixture.h"

#include <cmath>

namespace tulim {
namespace test {

std::vector<int> sineWave(int n, double freq, int fs, double amplitude, double phase) {
  const double pi = 3.14159265358979323846;
  std::vector<int> x(n);
  for (int i = 0; i < n; ++i)
    x[i] = static_cast<int>(std::lround(amplitude * std::sin(2 * pi * freq * i / fs + phase)));
  return x;
}

std::vector<int> noiseWave(int n, int amplitude, unsigned seed) {
  std::vector<int> x(n);
  unsigned state = seed;
  for (int i = 0; i < n; ++i) {
    state = state * 1664525u + 1013904223u;
    x[i] = static_cast<int>((state >> 8) % (2u * amplitude + 1)) - amplitude;
  }
  return x;
}

double rms(const std::vector<int>& x, int begin, int end) {
  double sum = 0;
  for (int i = begin; i < end; ++i) sum += static_cast<double>(x[i]) * x[i];
  return end > begin ? std::sqrt(sum / (end - begin)) : 0;
}

double zeroCrossingFrequency(const std::vector<int>& x, int begin, int end, int fs) {
  int crossings = 0;
  int first = -1, last = -1;
  for (int i = begin + 1; i < end; ++i) {
    if ((x[i - 1] < 0) != (x[i] < 0)) {
      ++crossings;
      if (first < 0) first = i;
      last = i;
    }
  }
  if (crossings < 2) return 0;
  // Half a period between successive crossings.
  return (crossings - 1) / 2.0 * fs / (last - first);
}

}  // namespace test
}  // namespace tulim
