// Reading a linked list by increasing index (one step per read thanks to the cursor) against
// reading it backwards (a walk from the head each time), and name=value lookups in a
// stringList of parameter-sized tables.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "linkedList.h"
#include "stringList.h"

using namespace tulim;

namespace {

void BM_LinkedListForwardRead(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<int> cells(n);
  linkedList list;
  for (int& c : cells) list.append(&c);
  for (auto _ : state)
    for (int i = 0; i < n; i++) benchmark::DoNotOptimize(list.get(i));
  state.SetComplexityN(n);
}
BENCHMARK(BM_LinkedListForwardRead)->RangeMultiplier(4)->Range(64, 16384)->Complexity();

void BM_LinkedListBackwardRead(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<int> cells(n);
  linkedList list;
  for (int& c : cells) list.append(&c);
  for (auto _ : state)
    for (int i = n - 1; i >= 0; i--) benchmark::DoNotOptimize(list.get(i));
  state.SetComplexityN(n);
}
BENCHMARK(BM_LinkedListBackwardRead)->RangeMultiplier(4)->Range(64, 4096)->Complexity();

void BM_StringListSetAndGetValue(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<std::string> names;
  for (int i = 0; i < n; i++) names.push_back("key" + std::to_string(i));
  stringList list;
  for (const std::string& name : names) list.setValue(name.c_str(), "0");
  int round = 0;
  for (auto _ : state) {
    const std::string& name = names[round++ % n];
    list.setValue(name.c_str(), "16000");
    benchmark::DoNotOptimize(list.getValue(name.c_str()));
  }
}
BENCHMARK(BM_StringListSetAndGetValue)->Arg(8)->Arg(32)->Arg(128);

}  // namespace
