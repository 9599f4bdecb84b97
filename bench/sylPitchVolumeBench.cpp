// Speed of the pitch and volume of a result record as the recognition core asks for it
// (16000 Hz, ACF, thresholds off) over 5 s of a gliding harmonic tone cut into 25 nodes of
// four phones each.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "audioClass.h"
#include "mlfClass.h"
#include "recogTask.h"

using namespace tulim;

namespace {

constexpr int FS = 16000;

std::vector<int> glidingTone(int seconds) {
  const int n = seconds * FS;
  std::vector<int> x(n);
  double phase = 0;
  for (int i = 0; i < n; ++i) {
    const double f0 = 160 + 60 * std::sin(2 * M_PI * 0.5 * i / FS);
    phase += 2 * M_PI * f0 / FS;
    x[i] = static_cast<int>(3000 * std::sin(phase) + 1500 * std::sin(2 * phase + 0.3) + 200);
  }
  return x;
}

mlfClass nodes(int frameNum, int nodeNum, int phonesPerNode) {
  mlfClass result;
  const int perNode = frameNum / nodeNum;
  for (int k = 0; k < nodeNum; ++k) {
    sylInfo syl;
    syl.frameId[0] = k * perNode;
    syl.frameId[1] = (k + 1) * perNode - 1;
    const int perPhone = perNode / phonesPerNode;
    for (int j = 0; j < phonesPerNode; ++j) {
      phoneInfo phone;
      phone.frameId[0] = syl.frameId[0] + j * perPhone;
      phone.frameId[1] = j + 1 == phonesPerNode ? syl.frameId[1] : phone.frameId[0] + perPhone - 1;
      syl.phone.push_back(phone);
    }
    result.m_syl.push_back(syl);
  }
  return result;
}

void BM_SylPitchVolume(benchmark::State& state) {
  const std::vector<int> wave = glidingTone(5);
  ptParam p;
  audioClass().ptParamSet(p, FS, 16, 1, nullptr);
  p.useVolThreshold = 0;
  p.useClarityThreshold = 0;
  mlfClass result = nodes(500, 25, 4);
  recogTask task;
  for (auto _ : state) {
    task.sylPitchVolume(wave.data(), static_cast<int>(wave.size()), p, result);
    benchmark::DoNotOptimize(result.m_syl.back().pitch.data());
  }
}
BENCHMARK(BM_SylPitchVolume)->Unit(benchmark::kMillisecond);

}  // namespace
