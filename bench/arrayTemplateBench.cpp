// Median, running median and index sort over frame-sized and utterance-sized arrays, on
// random, constant and ascending data (the inputs that make first-element pivots slow).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "arrayTemplate.h"

using namespace tulim;

namespace {

enum shape { randomData = 0, constantData = 1, ascendingData = 2 };

template <class T>
std::vector<T> makeData(int n, int kind) {
  std::vector<T> a(n);
  std::mt19937 random(5);
  for (int i = 0; i < n; i++) {
    if (kind == randomData)
      a[i] = static_cast<T>(random() % 10000);
    else if (kind == constantData)
      a[i] = static_cast<T>(7);
    else
      a[i] = static_cast<T>(i);
  }
  return a;
}

// Selection by partitioning around the first element, for comparison on random data.
double firstPivotMedian(const double* in, int n) {
  std::vector<double> a(in, in + n);
  int lo = 0, hi = n - 1, k = (n - 1) / 2, p = 0;
  for (;;) {
    quickSelectPartition(a.data(), lo, hi, &p);
    if (p == k) break;
    if (p < k)
      lo = p + 1;
    else
      hi = p - 1;
  }
  return a[k];
}

void BM_median(benchmark::State& state) {
  const std::vector<double> a = makeData<double>(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) benchmark::DoNotOptimize(median(a.data(), static_cast<int>(a.size())));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_median)->ArgsProduct({{1001, 100000}, {randomData, constantData, ascendingData}});

void BM_firstPivotMedianRandom(benchmark::State& state) {
  const std::vector<double> a = makeData<double>(static_cast<int>(state.range(0)), randomData);
  for (auto _ : state) benchmark::DoNotOptimize(firstPivotMedian(a.data(), static_cast<int>(a.size())));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_firstPivotMedianRandom)->Arg(1001)->Arg(100000);

// A pitch contour of 1000 frames through the usual window of 5.
void BM_medianFilter(benchmark::State& state) {
  const std::vector<float> pitch = makeData<float>(1000, randomData);
  std::vector<float> a;
  for (auto _ : state) {
    a = pitch;
    medianFilter(a.data(), static_cast<int>(a.size()), static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(a.data());
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_medianFilter)->Arg(5)->Arg(31);

void BM_sortWithIndex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<int> a = makeData<int>(n, static_cast<int>(state.range(1)));
  std::vector<int> sorted(n), index(n);
  for (auto _ : state) {
    sortWithIndex(a.data(), n, sorted.data(), index.data());
    benchmark::DoNotOptimize(index.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_sortWithIndex)->ArgsProduct({{1000, 100000}, {randomData, constantData, ascendingData}});

void BM_binary2segments(benchmark::State& state) {
  std::vector<int> mask(40000);
  for (size_t i = 0; i < mask.size(); i++) mask[i] = (i / 37) % 3 != 0;
  for (auto _ : state) {
    int count = 0;
    segment* s = binary2segments(mask.data(), static_cast<int>(mask.size()), &count);
    benchmark::DoNotOptimize(s);
    free(s);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(mask.size()));
}
BENCHMARK(BM_binary2segments);

}  // namespace
