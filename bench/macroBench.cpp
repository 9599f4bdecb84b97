// Loading an HMM set: "mac" text against the "macb" image, preparation and name lookup, on
// a set of the size real phone sets have (600 models, 3 states, 3 streams of 13, 8 mixtures).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "macroClass.h"
#include "utility.h"

using namespace tulim;

namespace {

constexpr int MODELS = 600;
constexpr int MIXTURES = 8;

void buildSet(macroClass& set) {
  set.macroFree();
  hmmSet& mmf = set.MMFEdit();
  mmf.streamNum = 3;
  for (int s = 0; s < 3; s++) mmf.streamWidth[s] = 13;
  mmf.header = "<VECSIZE> 39<NULLD><MFCC_E_D_A><DIAGC>";
  mmf.model.resize(MODELS);
  mmf.modelNum = MODELS;
  for (int i = 0; i < MODELS; i++) {
    hmmModel& model = mmf.model[static_cast<size_t>(i)];
    // Reverse order, so that sorting has work to do.
    model.str = strFormat("p%03d-q+r%03d", (MODELS - i) % 97, MODELS - i);
    model.stateNum = 5;
    for (int k = 0; k < 3; k++) {
      for (int s = 0; s < 3; s++) {
        model.state[k].streamWeight[s] = 1.0f;
        hmmStream& stream = model.state[k].stream[s];
        stream.mixtureNum = MIXTURES;
        for (int m = 0; m < MIXTURES; m++) {
          hmmMixture& mix = stream.mixture[m];
          mix.mixtureWeight = 1.0f / MIXTURES;
          for (int d = 0; d < 13; d++) {
            mix.mean[d] = 0.01f * static_cast<float>(i + d + m);
            mix.variance[d] = 1.0f + 0.001f * static_cast<float>(d);
          }
          mix.gconst = 23.9f;
        }
      }
    }
    for (int r = 1; r < 4; r++) {
      model.transProb[r][r] = 0.6f;
      model.transProb[r][r + 1] = 0.4f;
    }
    model.transProb[0][1] = 1.0f;
  }
}

struct benchFiles {
  std::string text, image;
  benchFiles() {
    std::string base = strFormat("/tmp/tulim-macroBench-%d", static_cast<int>(getpid()));
    text = base + ".mac";
    image = base + ".macb";
    macroClass set;
    buildSet(set);
    set.macTextWrite(text);
    set.macbWrite(image);
  }
  ~benchFiles() {
    remove(text.c_str());
    remove(image.c_str());
  }
};

const benchFiles& files() {
  static benchFiles f;
  return f;
}

void BM_ReadMacText(benchmark::State& state) {
  for (auto _ : state) {
    macroClass set;
    set.macroRead(files().text, true);
    benchmark::DoNotOptimize(set.MMF().modelNum);
  }
}
BENCHMARK(BM_ReadMacText)->Unit(benchmark::kMillisecond);

void BM_ReadMacbImage(benchmark::State& state) {
  for (auto _ : state) {
    macroClass set;
    set.macroRead(files().image, true);
    benchmark::DoNotOptimize(set.MMF().modelNum);
  }
}
BENCHMARK(BM_ReadMacbImage)->Unit(benchmark::kMillisecond);

void BM_SortAndPrepare(benchmark::State& state) {
  macroClass raw;
  buildSet(raw);
  for (auto _ : state) {
    macroClass set = raw;
    set.sortModels(0, set.MMF().modelNum - 1);
    set.prepareModels();
    benchmark::DoNotOptimize(set.MMF().model[0].transProb[1][1]);
  }
}
BENCHMARK(BM_SortAndPrepare)->Unit(benchmark::kMillisecond);

void BM_FindModelIndex(benchmark::State& state) {
  macroClass set;
  buildSet(set);
  set.sortModels(0, set.MMF().modelNum - 1);
  strVec names;
  set.getModelNames(names);
  size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(set.findModelIndex(names[k]));
    k = (k + 7) % names.size();
  }
}
BENCHMARK(BM_FindModelIndex);

}  // namespace
