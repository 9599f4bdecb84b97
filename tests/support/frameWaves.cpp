#include "frameWaves.h"

namespace tulim {
namespace test {

std::vector<double> piecewiseWaveDouble(const std::vector<wavePiece>& pieces) {
  std::vector<double> wave;
  for (const wavePiece& piece : pieces)
    for (int i = 0; i < piece.length; ++i)
      wave.push_back((i / piece.halfPeriod) % 2 == 0 ? piece.amplitude : -piece.amplitude);
  return wave;
}

std::vector<int> piecewiseWave(const std::vector<wavePiece>& pieces) {
  std::vector<double> wave = piecewiseWaveDouble(pieces);
  return std::vector<int>(wave.begin(), wave.end());
}

}  // namespace test
}  // namespace tulim
