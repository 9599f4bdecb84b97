// The phone ranking of one utterance: a synthetic set of 40 models (3 states, 3 streams of
// 13, 32 mixtures) in 4 right contexts, 1000 frames segmented into 50 nodes of two phones of
// 10 frames, ranked against the 9 or 10 models of each phone's right context and against all 39
// models that are no silence. Reports the time per utterance and the span scores per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "benchModelSet.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "recogParam.h"
#include "utility.h"
#include "stateScorer.h"

using namespace tulim;

namespace {

constexpr int MODELS = 40;
constexpr int MIXTURES = 32;
constexpr int DIM = 39;
constexpr int FRAMES = 1000;
constexpr int PHONE_FRAMES = 10;
constexpr int CONTEXTS = 4;

struct rankingTask {
  macroClass set;
  std::vector<float> features;
  mlfClass mlf;

  rankingTask() {
    std::mt19937 gen(2025);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::uniform_real_distribution<float> uniform(0.5f, 2.0f);
    bench::randomModelSet(set, {MODELS, MIXTURES, true, 0.6f, 0.4f}, gen, normal, uniform,
                          [](int k) { return k == 0 ? std::string("sil") : strFormat("p%02d+c%d", k, k % CONTEXTS); },
                          [](int, int, int, int) { return 0.0f; });

    features.resize(static_cast<size_t>(FRAMES) * DIM);
    for (float& x : features) x = normal(gen);

    strVec names;
    set.getModelNames(names);
    for (int node = 0; node < FRAMES / (2 * PHONE_FRAMES); node++) {
      sylInfo syl;
      syl.name = strFormat("n%d", node);
      for (int p = 0; p < 2; p++) {
        phoneInfo phone;
        phone.name = names[static_cast<size_t>(1 + (2 * node + p) % (MODELS - 1))];
        phone.frameId[0] = (2 * node + p) * PHONE_FRAMES;
        phone.frameId[1] = phone.frameId[0] + PHONE_FRAMES - 1;
        syl.phone.push_back(phone);
      }
      syl.frameId[0] = syl.phone[0].frameId[0];
      syl.frameId[1] = syl.phone[1].frameId[1];
      mlf.m_syl.push_back(syl);
    }
  }
};

void runRanking(benchmark::State& state, int useAll) {
  rankingTask task;
  recogParam param;
  param.useAllModelAsCompetingModel = useAll;
  stateScorer scorer(task.set, MODELS);
  long long scores = 0;
  for (auto _ : state) {
    task.mlf.phoneRanking(task.features.data(), DIM, FRAMES, scorer, param);
    for (const sylInfo& syl : task.mlf.m_syl)
      for (const phoneInfo& phone : syl.phone) scores += static_cast<long long>(phone.competingModelIndex.size());
    // A float lvalue handed to DoNotOptimize can come back clobbered with GCC: pass a copy.
    float sum = task.mlf.m_rankScoreSum;
    benchmark::DoNotOptimize(sum);
  }
  state.counters["spanScores/s"] = benchmark::Counter(static_cast<double>(scores), benchmark::Counter::kIsRate);
  state.counters["rankScoreSum"] = task.mlf.m_rankScoreSum;
}

void BM_PhoneRankingRightContext(benchmark::State& state) { runRanking(state, 0); }
void BM_PhoneRankingAllModels(benchmark::State& state) { runRanking(state, 1); }

}  // namespace

BENCHMARK(BM_PhoneRankingRightContext)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PhoneRankingAllModels)->Unit(benchmark::kMillisecond);
