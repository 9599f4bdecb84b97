// Lexicon loading ("wpa" text against "wpab"), merging addenda and the look-ups that text
// conversion makes, on a generated English lexicon of 50000 words.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "dictClass.h"
#include "textClass.h"
#include "utility.h"

using namespace tulim;

namespace {

const int wordNum = 50000;

std::string wordName(int i) { return strFormat("w%06d", i); }

std::string tempPath(const char* name) {
  const char* dir = getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/tulim_lexiconBench_" + name;
}

const std::string& textLexicon() {
  static const std::string path = [] {
    std::string p = tempPath("lex.wpa");
    FILE* fp = fopen(p.c_str(), "w");
    for (int i = 0; i < wordNum; ++i) fprintf(fp, "%s\tk_ae_t_%d#k_aa_t_%d\n", wordName(i).c_str(), i, i);
    fclose(fp);
    return p;
  }();
  return path;
}

const std::string& binaryLexicon() {
  static const std::string path = [] {
    dictClass dict;
    dict.wpaRead(textLexicon(), "english");
    std::string p = tempPath("lex.wpab");
    dict.wpabWrite(p);
    return p;
  }();
  return path;
}

void BM_WpaTextRead(benchmark::State& state) {
  const std::string& path = textLexicon();
  for (auto _ : state) {
    dictClass dict;
    dict.wpaRead(path, "english");
    benchmark::DoNotOptimize(dict.m_wpa.data());
  }
}
BENCHMARK(BM_WpaTextRead)->Unit(benchmark::kMillisecond);

void BM_WpabRead(benchmark::State& state) {
  const std::string& path = binaryLexicon();
  for (auto _ : state) {
    dictClass dict;
    dict.wpaRead(path, "english");
    benchmark::DoNotOptimize(dict.m_wpa.data());
  }
}
BENCHMARK(BM_WpabRead)->Unit(benchmark::kMillisecond);

// Half the addenda replace words, half add new ones.
void BM_WpaMerge(benchmark::State& state) {
  dictClass base;
  base.wpaRead(binaryLexicon(), "english");
  std::vector<wpaEntry> addenda;
  for (int i = 0; i < state.range(0); ++i)
    addenda.push_back({i % 2 ? wordName(i * 7 % wordNum) : "new" + wordName(i), {"x_y"}, {}});
  FILE* devNull = fopen("/dev/null", "w");
  for (auto _ : state) {
    state.PauseTiming();
    dictClass dict;
    dict.m_wpa = base.m_wpa;
    dict.m_wpaAddenda = addenda;
    FILE* saved = stdout;
    stdout = devNull;
    state.ResumeTiming();
    dict.wpaMerge();
    stdout = saved;
    benchmark::DoNotOptimize(dict.m_wpa.data());
  }
  fclose(devNull);
}
BENCHMARK(BM_WpaMerge)->Arg(100)->Arg(5000)->Unit(benchmark::kMillisecond);

// 200 texts of six words, each word with two alternatives: 64 sequences a text.
void BM_Txt2paEnglish(benchmark::State& state) {
  dictClass dict;
  dict.wpaRead(binaryLexicon(), "english");
  textClass text;
  for (int t = 0; t < 200; ++t) {
    std::string s;
    for (int w = 0; w < 6; ++w) s += (w ? " " : "") + wordName((t * 131 + w * 977) % wordNum);
    text.m_txtVsNormalized.push_back(s);
  }
  for (auto _ : state) {
    text.txt2paEnglish(dict.m_wpa);
    benchmark::DoNotOptimize(text.m_sylVs.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.m_sylVs.size()));
}
BENCHMARK(BM_Txt2paEnglish)->Unit(benchmark::kMillisecond);

}  // namespace
