// Speed of the two FFT families at the frame sizes the engine uses (512 points for MFCC
// and spectrum subtraction at 16000 Hz), and of spectrum subtraction over one second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "complex.h"
#include "fft.h"
#include "spectrumSubtract.h"

using namespace tulim;

namespace {

std::vector<float> testSamples(int n) {
  std::vector<float> x(n);
  for (int i = 0; i < n; ++i)
    x[i] = static_cast<float>(std::sin(0.37 * i) + 0.25 * std::cos(1.3 * i));
  return x;
}

void BM_FftForwardComplex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<float> samples = testSamples(n);
  std::vector<complex> in(n), out(n);
  for (int i = 0; i < n; ++i) in[i] = complex(samples[i], 0);
  for (auto _ : state) {
    fftForwardCopy(in.data(), out.data(), n);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_FftForwardComplex)->Arg(256)->Arg(512)->Arg(1024);

void BM_RealFft(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<float> samples = testSamples(n);
  std::vector<float> s(n + 1);
  for (auto _ : state) {
    std::copy(samples.begin(), samples.end(), s.begin() + 1);
    realFft(s.data(), n);
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BM_RealFft)->Arg(256)->Arg(512)->Arg(1024);

void BM_SpectrumSubtractOneSecond(benchmark::State& state) {
  const std::vector<float> samples = testSamples(16000);
  std::vector<int> x(samples.size());
  for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<int>(1000 * samples[i]);
  for (auto _ : state) {
    int count = 0;
    int* out = spectrumSubtract(x.data(), static_cast<int>(x.size()), 16000, &count);
    benchmark::DoNotOptimize(out);
    free(out);
  }
}
BENCHMARK(BM_SpectrumSubtractOneSecond);

}  // namespace
