// The recognition core of one utterance beyond the feature extraction: a synthetic set of 40
// one-syllable models (3 states, 3 streams of 13, 8 mixtures), a tree net of 20 texts of 8
// syllables between silences, 800 frames spoken along the first text; the search, the path to
// text, segmentation, phone ranking against every model of the same context, the discount
// factors and the confidence measure, with and without the result files.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "dictClass.h"
#include "lineFile.h"
#include "benchModelSet.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "netClass.h"
#include "recogTask.h"
#include "textClass.h"
#include "utility.h"

using namespace tulim;

namespace {

constexpr int MODELS = 40;
constexpr int MIXTURES = 8;
constexpr int DIM = 39;
constexpr int FRAMES = 800;
constexpr int TEXTS = 20;
constexpr int TEXT_LEN = 8;

struct coreBench {
  std::string dir;
  recogParam param;
  macroClass set;
  dictClass dict;
  textClass text;
  netClass net;
  std::vector<float> features;
  std::vector<int> samples;
  int candidateNum = 100;
  int arenaLen = 500;

  coreBench() {
    char pattern[] = "/tmp/tulim-bench-XXXXXX";
    dir = mkdtemp(pattern) ? pattern : "/tmp";
    std::mt19937 gen(77);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::uniform_real_distribution<float> uniform(0.5f, 2.0f);

    bench::randomModelSet(set, {MODELS, MIXTURES, false, 0.9f, 0.1f}, gen, normal, uniform,
                          [](int k) { return k == 0 ? std::string("sil") : strFormat("s%02d", k); },
                          [](int k, int, int, int) { return 3.0f * static_cast<float>(k % 7); });
    for (const hmmModel& model : set.MMF().model) dict.m_pronDict.push_back({model.str, {set.findModelIndex(model.str)}});

    std::uniform_int_distribution<int> syllable(1, MODELS - 1);
    std::vector<std::vector<int>> texts(TEXTS);
    for (size_t i = 0; i < texts.size(); i++) {
      for (int j = 0; j < TEXT_LEN; j++) texts[i].push_back(syllable(gen));
      strVec names;
      for (int k : texts[i]) names.push_back(strFormat("s%02d", k));
      text.m_txtVs.push_back(stringJoin(names, " "));
      text.m_sylVs.push_back(stringJoin(names, "-") + strFormat("\t%d", static_cast<int>(i)));
    }
    text.m_txtVsNormalized = text.m_txtVs;

    param.language = "taiwanese";
    param.function = "recog";
    param.comparisonMode = 1;
    param.probTh = 1000;
    param.useDescCandidateNum = 0;
    param.qiYinFile = dir + "/qiYin.txt";
    param.phoneRank2scoreParamFile = dir + "/rank2score.prm";
    param.scoreDiscountParamFile = dir + "/discount.prm";
    strVec2file(param.qiYinFile, {"s01"});
    strVec2file(param.phoneRank2scoreParamFile, {"0.5", "2", "0"});
    strVec2file(param.scoreDiscountParamFile, strVec(7, "0.9"));
    text.treeNetCreate(param, 0, 0, 1);
    net.netCreate(text.m_netVs, dict);

    // Frames spoken along sil, the first text and sil, each state for an equal share.
    std::vector<std::pair<int, int>> states;
    std::vector<int> path{0};
    path.insert(path.end(), texts[0].begin(), texts[0].end());
    path.push_back(0);
    for (int k : path)
      for (int q = 0; q < 3; q++) states.push_back({set.findModelIndex(k == 0 ? "sil" : strFormat("s%02d", k)), q});
    features.resize(static_cast<size_t>(FRAMES * DIM));
    for (int t = 0; t < FRAMES; t++) {
      auto st = states[static_cast<size_t>(t) * states.size() / FRAMES];
      for (int s = 0; s < 3; s++) {
        const hmmMixture& mix = set.MMF().model[static_cast<size_t>(st.first)].state[st.second].stream[s].mixture[0];
        for (int d = 0; d < 13; d++) features[static_cast<size_t>(t * DIM + s * 13 + d)] = mix.mean[d];
      }
    }
    samples.resize(static_cast<size_t>(160 * (FRAMES + 1)));
    for (size_t i = 0; i < samples.size(); i++)
      samples[i] = static_cast<int>(3000.0 * std::sin(0.2 * static_cast<double>(i)));
  }

  void run(bool files) {
    recogParam p = param;
    if (files) p.outputDir = dir;
    mlfClass mlf;
    std::vector<int> result =
        recogTask().recogCore(p, samples.data(), static_cast<int>(samples.size()), 16000, 16, 320, 160, 0,
                              features.data(), DIM, FRAMES, MODELS, arenaLen, candidateNum, set, dict, text, net, mlf);
    benchmark::DoNotOptimize(result.data());
    benchmark::DoNotOptimize(mlf.m_timberScore);
  }
};

coreBench& bench() {
  static coreBench b;
  return b;
}

void BM_RecogCore800Frames(benchmark::State& state) {
  coreBench& b = bench();
  for (auto _ : state) b.run(false);
}
BENCHMARK(BM_RecogCore800Frames)->Unit(benchmark::kMillisecond);

void BM_RecogCore800FramesWithResultFiles(benchmark::State& state) {
  coreBench& b = bench();
  for (auto _ : state) b.run(true);
}
BENCHMARK(BM_RecogCore800FramesWithResultFiles)->Unit(benchmark::kMillisecond);

}  // namespace
