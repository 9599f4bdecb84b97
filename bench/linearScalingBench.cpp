// Linear scaling of a pitch-track query against a longer target, stretched afresh on every
// call or prepared once, and the shift-invariant slide, for both distance types.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "linearScaling.h"

using namespace tulim;

namespace {

std::vector<double> contour(int n, double phase) {
  std::vector<double> c(n);
  for (int i = 0; i < n; i++) c[i] = 60 + 4 * std::sin(phase + 0.07 * i) + 2 * std::sin(0.31 * i);
  return c;
}

const int scaleNum = 21;

void BM_LinScalingMatch(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int type = static_cast<int>(state.range(1));
  const std::vector<double> query = contour(n, 0);
  const std::vector<double> target = contour(2 * n + 10, 0.5);
  const int m = static_cast<int>(target.size());
  std::vector<double> distance(scaleNum), offset(scaleNum), scratch(m), diff(m);
  int best = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(linScalingMatch(query.data(), n, target.data(), m, 0.5, 2.0, scaleNum, type,
                                             distance.data(), offset.data(), scratch.data(), diff.data(), &best, 1e6));
}
BENCHMARK(BM_LinScalingMatch)->ArgsProduct({{50, 200, 800}, {DIST_ABS, DIST_SQUARE}});

void BM_LinScalingMatchPrepared(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int type = static_cast<int>(state.range(1));
  const std::vector<double> query = contour(n, 0);
  const std::vector<double> target = contour(2 * n + 10, 0.5);
  const int m = static_cast<int>(target.size());
  linScalingPrepared record;
  linScalingPrepare(query.data(), n, 0.5, 2.0, scaleNum, record);
  std::vector<double> distance(scaleNum), offset(scaleNum), diff(m);
  int best = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(linScalingMatchPrepared(record, target.data(), m, type, distance.data(), offset.data(),
                                                     diff.data(), &best, 1e6));
  linScalingFree(record);
}
BENCHMARK(BM_LinScalingMatchPrepared)->ArgsProduct({{50, 200, 800}, {DIST_ABS, DIST_SQUARE}});

void BM_ShiftInvariantSlide(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int type = static_cast<int>(state.range(1));
  const std::vector<double> a = contour(n, 0);
  const std::vector<double> b = contour(4 * n, 1.0);
  double offset = 0;
  int position = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(shiftInvariantSlide(a.data(), n, b.data(), 4 * n, type, &offset, &position));
}
BENCHMARK(BM_ShiftInvariantSlide)->ArgsProduct({{20, 100}, {DIST_ABS, DIST_SQUARE}});

}  // namespace
