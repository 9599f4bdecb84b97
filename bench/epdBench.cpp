// Frame volumes and end-point detection over 10 s of 16 kHz wave, on silence (constant
// frames, where a partitioning median degrades) and on noise.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "arrayTemplate.h"
#include "audioClass.h"
#include "signalTemplate.h"

using namespace tulim;

namespace {

const int WAVE_LEN = 160000;

std::vector<int> benchWave(bool silent) {
  std::vector<int> wave(WAVE_LEN, 0);
  if (!silent) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> sample(-8000, 8000);
    for (int& x : wave) x = sample(random);
  }
  return wave;
}

// The median by repeated partitioning around the first element, as a reference for what
// the selection in frame2volume saves on constant frames.
int partitionMedian(std::vector<int>& a) {
  const int n = static_cast<int>(a.size());
  int lo = 0, hi = n - 1, k = (n - 1) / 2, pivot = 0;
  for (;;) {
    quickSelectPartition(a.data(), lo, hi, &pivot);
    if (pivot == k) break;
    if (pivot < k)
      lo = pivot + 1;
    else
      hi = pivot - 1;
  }
  if (n % 2) return a[k];
  int upper = a[k + 1];
  for (int i = k + 2; i <= hi; ++i)
    if (a[i] < upper) upper = a[i];
  return static_cast<int>((static_cast<long long>(a[k]) + upper) / 2);
}

void BM_Frame2volume(benchmark::State& state) {
  std::vector<int> wave = benchWave(state.range(0) == 0);
  std::vector<int> vol(audioClass().getFrameNum(WAVE_LEN, 320, 160));
  for (auto _ : state) {
    frame2volume(wave.data(), WAVE_LEN, 320, 160, vol.data(), 1);
    benchmark::DoNotOptimize(vol.data());
  }
}
BENCHMARK(BM_Frame2volume)->Arg(0)->Arg(1)->ArgName("noise");

void BM_PartitionMedianFrames(benchmark::State& state) {
  std::vector<int> wave = benchWave(state.range(0) == 0);
  const int frameNum = audioClass().getFrameNum(WAVE_LEN, 320, 160);
  std::vector<int> frame(320);
  for (auto _ : state) {
    long long sum = 0;
    for (int i = 0; i < frameNum; ++i) {
      frame.assign(wave.begin() + i * 160, wave.begin() + i * 160 + 320);
      sum += partitionMedian(frame);
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_PartitionMedianFrames)->Arg(0)->Arg(1)->ArgName("noise");

void BM_EpdByVolHod(benchmark::State& state) {
  std::vector<int> wave = benchWave(false);
  for (int i = 0; i < WAVE_LEN / 4; ++i) wave[i] = wave[WAVE_LEN - 1 - i] = 0;
  audioClass audio;
  epdParam param;
  audio.epdParamSet(16000, param);
  for (auto _ : state) {
    int count = 0;
    segment* block = audio.epdByVolHod(wave.data(), WAVE_LEN, 16000, param, count);
    benchmark::DoNotOptimize(block);
    free(block);
  }
}
BENCHMARK(BM_EpdByVolHod);

}  // namespace
