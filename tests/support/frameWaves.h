// Hand-made waves for the frame, volume and end-point tests: pieces of silence and of
// square waves of +A/-A, whose frame medians are 0 so that volumes are exact.
#pragma once

#include <vector>

namespace tulim {
namespace test {

struct wavePiece {
  int length;          // samples
  double amplitude;    // 0 for silence
  int halfPeriod = 1;  // samples of +amplitude, then as many of -amplitude, and so on
};

// The pieces one after another; each square piece starts with +amplitude (truncated to
// an integer).
std::vector<int> piecewiseWave(const std::vector<wavePiece>& pieces);

// The same as doubles, for the detectors that work on floating-point waves.
std::vector<double> piecewiseWaveDouble(const std::vector<wavePiece>& pieces);

}  // namespace test
}  // namespace tulim
