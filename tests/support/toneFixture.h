// Waves made in code for the signal tests: sine tones of a given frequency and amplitude,
// and reproducible white noise.
#pragma once

#include <vector>

namespace tulim {
namespace test {

// n samples of amplitude * sin(2 pi freq t + phase), rounded to integers.
std::vector<int> sineWave(int n, double freq, int fs, double amplitude, double phase = 0);

// n samples uniformly spread over -amplitude .. amplitude, the same for the same seed.
std::vector<int> noiseWave(int n, int amplitude, unsigned seed);

// Square root of the mean square of x[begin .. end - 1].
double rms(const std::vector<int>& x, int begin, int end);

// Frequency estimated from the sign changes of x[begin .. end - 1].
double zeroCrossingFrequency(const std::vector<int>& x, int begin, int end, int fs);

}  // namespace test
}  // namespace tulim
