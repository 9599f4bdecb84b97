// The task pipeline's preparation of one 10 s utterance: wave preparation from 44.1 kHz (with
// and without spectrum subtraction) and end points with features (with and without end-point
// detection). Progress lines go to /dev/null while timing.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "mlfClass.h"
#include "recogTask.h"

using namespace tulim;

namespace {

class quietStdout {
 public:
  quietStdout() {
    fflush(stdout);
    m_saved = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
  }
  ~quietStdout() {
    fflush(stdout);
    dup2(m_saved, STDOUT_FILENO);
    close(m_saved);
  }

 private:
  int m_saved;
};

// Quiet noise with a tone burst in seconds 4 to 6, or the noise alone (a range narrow enough
// for spectrum subtraction).
std::vector<int> utterance(int fs, bool withTone = true) {
  std::vector<int> x(static_cast<size_t>(10 * fs));
  std::mt19937 random(3);
  std::uniform_int_distribution<int> noise(-300, 300);
  for (size_t i = 0; i < x.size(); ++i) {
    x[i] = noise(random);
    if (withTone && i >= static_cast<size_t>(4 * fs) && i < static_cast<size_t>(6 * fs))
      x[i] += static_cast<int>(6000 * sin(2 * M_PI * 440.0 * static_cast<double>(i) / fs));
  }
  return x;
}

// Argument 1: the noise alone with spectrum subtraction allowed.
void BM_WavePrepare(benchmark::State& state) {
  const std::vector<int> x = utterance(44100, state.range(0) == 0);
  recogParam param;
  quietStdout quiet;
  for (auto _ : state) {
    param.useSpecSubtraction = static_cast<int>(state.range(0));
    int* wave = static_cast<int*>(malloc(sizeof(int) * x.size()));
    memcpy(wave, x.data(), sizeof(int) * x.size());
    int count = static_cast<int>(x.size()), fs = 44100, nbits = 16;
    mlfClass mlf;
    wave = recogTask().wavePrepare(wave, count, fs, nbits, param, mlf);
    benchmark::DoNotOptimize(wave);
    free(wave);
  }
}
BENCHMARK(BM_WavePrepare)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_EpdAndMfcc(benchmark::State& state) {
  const std::vector<int> x = utterance(16000);
  recogParam param;
  param.useEpd = static_cast<int>(state.range(0));
  quietStdout quiet;
  for (auto _ : state) {
    int frameNum = 0, vecSize = 0, firstFrame = 0;
    float* features = recogTask().epdAndMfcc(param, x.data(), static_cast<int>(x.size()), 16000, 16, 320, 160, frameNum,
                                             vecSize, firstFrame);
    benchmark::DoNotOptimize(features);
    free(features);
  }
}
BENCHMARK(BM_EpdAndMfcc)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
