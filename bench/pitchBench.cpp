// Speed of the pitch tracker with the pipeline's settings (16000 Hz, ACF, every lag a
// candidate, thresholds off) over 10 s of a voiced, gliding harmonic tone with noise, and
// of its two hot loops alone: the autocorrelation of every frame and the path search.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "audioClass.h"
#include "signalTemplate.h"

using namespace tulim;

namespace {

constexpr int FS = 16000;

std::vector<int> voicedWave(int seconds) {
  const int n = seconds * FS;
  std::vector<int> x(n);
  double phase = 0;
  unsigned state = 1;
  for (int i = 0; i < n; ++i) {
    const double f0 = 160 + 60 * std::sin(2 * M_PI * 0.5 * i / FS);
    phase += 2 * M_PI * f0 / FS;
    state = state * 1664525u + 1013904223u;
    const double noise = static_cast<double>(state >> 16) / 65536.0 - 0.5;
    x[i] = static_cast<int>(6000 * std::sin(phase) + 3000 * std::sin(2 * phase + 0.3) + 1500 * std::sin(3 * phase) +
                            400 * noise);
  }
  return x;
}

ptParam pipelineParams() {
  ptParam p;
  audioClass().ptParamSet(p, FS, 16, 1, nullptr);
  p.useVolThreshold = 0;
  p.useClarityThreshold = 0;
  return p;
}

template <typename T>
void BM_Wave2pitch10s(benchmark::State& state) {
  const std::vector<int> wave = voicedWave(10);
  const int frameNum = audioClass().getFrameNum(static_cast<int>(wave.size()), 640, 480);
  std::vector<T> pitch(frameNum);
  for (auto _ : state) {
    ptParam p = pipelineParams();
    benchmark::DoNotOptimize(
        wave2pitch<T>(wave.data(), static_cast<int>(wave.size()), p, pitch.data(), nullptr, nullptr, nullptr));
  }
}
BENCHMARK_TEMPLATE(BM_Wave2pitch10s, double)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Wave2pitch10s, float)->Unit(benchmark::kMillisecond);

void BM_Frame2pfAcf10s(benchmark::State& state) {
  const std::vector<int> wave = voicedWave(10);
  const int frameNum = audioClass().getFrameNum(static_cast<int>(wave.size()), 640, 480);
  std::vector<double> pf(static_cast<size_t>(frameNum) * 320);
  for (auto _ : state) {
    frame2pf(wave.data(), static_cast<int>(wave.size()), 640, 480, 320, 1, 1, pf.data());
    benchmark::DoNotOptimize(pf.data());
  }
}
BENCHMARK(BM_Frame2pfAcf10s)->Unit(benchmark::kMillisecond);

// The path over the candidate lists of the 10 s wave (every lag 15 .. 319 in every frame).
void BM_Ppc2pitchPath10s(benchmark::State& state) {
  const std::vector<int> wave = voicedWave(10);
  const ptParam p0 = pipelineParams();
  const int frameNum = audioClass().getFrameNum(static_cast<int>(wave.size()), 640, 480);
  std::vector<double> pf(static_cast<size_t>(frameNum) * 320);
  frame2pf(wave.data(), static_cast<int>(wave.size()), 640, 480, 320, 1, 1, pf.data());
  double m = 0;
  for (double v : pf) m = std::max(m, std::fabs(v));
  std::vector<ppcFrame> frames(frameNum);
  std::vector<int> lags;
  for (int i = 0; i < frameNum; ++i) {
    pf2ppc(pf.data() + static_cast<size_t>(i) * 320, 320, p0, lags);
    frames[i].ppcLen = static_cast<int>(lags.size());
    for (int lag : lags) frames[i].ppc.push_back({lag, pf[static_cast<size_t>(i) * 320 + lag] * 1048576 / m, -1, 0.0});
  }
  std::vector<double> pitch(frameNum);
  for (auto _ : state) {
    ppc2pitchPath(frames.data(), frameNum, p0, pitch.data());
    benchmark::DoNotOptimize(pitch.data());
  }
}
BENCHMARK(BM_Ppc2pitchPath10s)->Unit(benchmark::kMillisecond);

}  // namespace
