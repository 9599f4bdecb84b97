// The Viterbi search, the engine's main cost: a synthetic set of 40 models (3 states, 3
// streams of 13, 32 mixtures), a tree net of 10 texts of 5 to 10 two-model syllables between
// silences, 1000 frames spoken along the first text, beam 500 and 1200 candidates in an arena
// of 6000. Reports the time per 1000 frames and the memory the arena takes; and the span
// score of the phone ranking.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "dictClass.h"
#include "benchModelSet.h"
#include "macroClass.h"
#include "netClass.h"
#include "utility.h"
#include "viterbiClass.h"

using namespace tulim;

namespace {

constexpr int MODELS = 40;
constexpr int MIXTURES = 32;
constexpr int DIM = 39;
constexpr int FRAMES = 1000;
constexpr int TEXTS = 10;
constexpr int SYLLABLES = 60;
constexpr int CANDIDATES = 1200;
constexpr int ARENA = 5 * CANDIDATES;
constexpr float BEAM = 500.0f;

struct benchTask {
  macroClass set;
  dictClass dict;
  netClass net;
  std::vector<float> features;

  benchTask() {
    std::mt19937 gen(2024);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::uniform_real_distribution<float> uniform(0.5f, 2.0f);
    std::vector<float> center(static_cast<size_t>(MODELS * 3 * DIM));
    for (float& c : center) c = 0.5f * normal(gen);

    bench::randomModelSet(set, {MODELS, MIXTURES, true, 0.9f, 0.1f}, gen, normal, uniform,
                          [](int k) { return k == 0 ? std::string("sil") : strFormat("p%02d", k); },
                          [&center](int k, int q, int s, int d) {
                            return center[static_cast<size_t>((k * 3 + q) * DIM + s * 13 + d)];
                          });

    // Syllables of an initial and a final model, "sil" last in byte order.
    std::uniform_int_distribution<int> model(1, MODELS - 1);
    std::vector<std::pair<std::string, std::vector<int>>> syllables;
    for (int i = 0; i < SYLLABLES; i++) {
      std::string a = strFormat("p%02d", model(gen)), b = strFormat("p%02d", model(gen));
      syllables.push_back({strFormat("s%02d", i), {set.findModelIndex(a), set.findModelIndex(b)}});
    }
    syllables.push_back({"sil", {set.findModelIndex("sil")}});
    for (auto& s : syllables) dict.m_pronDict.push_back({s.first, s.second});
    const int silIndex = SYLLABLES;

    // The tree: texts share their common prefixes.
    std::uniform_int_distribution<int> syllable(0, SYLLABLES - 1), length(5, 10);
    std::vector<std::vector<int>> texts(TEXTS);
    for (std::vector<int>& text : texts) {
      int n = length(gen);
      for (int i = 0; i < n; i++) text.push_back(syllable(gen));
    }
    texts[1] = texts[0];
    texts[1].back() = (texts[1].back() + 1) % SYLLABLES;  // one near miss of the spoken text
    strVec nodes{"!NULL", "!NULL", strFormat("sil@%d", silIndex), strFormat("sil@%d", silIndex)};
    std::vector<std::pair<int, int>> links{{0, 2}, {3, 1}};
    std::map<std::pair<int, int>, int> child;  // (parent node, syllable) -> node
    for (const std::vector<int>& text : texts) {
      int parent = 2;
      for (int syl : text) {
        auto it = child.find({parent, syl});
        if (it == child.end()) {
          int node = static_cast<int>(nodes.size());
          nodes.push_back(strFormat("s%02d@%d", syl, syl));
          links.push_back({parent, node});
          it = child.insert({{parent, syl}, node}).first;
        }
        parent = it->second;
      }
      links.push_back({parent, 3});
    }
    strVec lines{"VERSION=1.0",
                 strFormat("N=%d\tL=%d", static_cast<int>(nodes.size()), static_cast<int>(links.size()))};
    for (size_t i = 0; i < nodes.size(); i++)
      lines.push_back(strFormat("I=%d\tW=%s", static_cast<int>(i), nodes[i].c_str()));
    for (size_t j = 0; j < links.size(); j++)
      lines.push_back(strFormat("J=%d\tS=%d\tE=%d", static_cast<int>(j), links[j].first, links[j].second));
    net.netVs2net(lines, dict);

    // Frames spoken along sil, the first text and sil: each state for an equal share, each
    // frame near one mixture of its state.
    std::vector<std::pair<int, int>> states;  // (model, state)
    std::vector<int> path{silIndex};
    path.insert(path.end(), texts[0].begin(), texts[0].end());
    path.push_back(silIndex);
    for (int syl : path)
      for (int m : dict.m_pronDict[static_cast<size_t>(syl)].modelIndex)
        for (int q = 0; q < 3; q++) states.push_back({m, q});
    std::uniform_int_distribution<int> mixture(0, MIXTURES - 1);
    features.resize(static_cast<size_t>(FRAMES * DIM));
    for (int t = 0; t < FRAMES; t++) {
      auto st = states[static_cast<size_t>(t) * states.size() / FRAMES];
      for (int s = 0; s < 3; s++) {
        const hmmMixture& mix =
            set.MMF().model[static_cast<size_t>(st.first)].state[st.second].stream[s].mixture[mixture(gen)];
        for (int d = 0; d < 13; d++)
          features[static_cast<size_t>(t * DIM + s * 13 + d)] = mix.mean[d] + normal(gen) / std::sqrt(mix.variance[d]);
      }
    }
  }
};

benchTask& task() {
  static benchTask t;
  return t;
}

double rssMB() {
  long pages = 0, resident = 0;
  FILE* fp = fopen("/proc/self/statm", "r");
  if (fp) {
    if (fscanf(fp, "%ld %ld", &pages, &resident) != 2) resident = 0;
    fclose(fp);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

void BM_ViterbiSearch1000Frames(benchmark::State& state) {
  benchTask& t = task();
  double before = rssMB();
  stateScorer scorer(t.set, MODELS);
  viterbiClass v(ARENA);
  int n = 0;
  for (auto _ : state) {
    n = v.search(t.net.m_node, t.dict, t.features.data(), DIM, FRAMES, CANDIDATES, scorer, BEAM, 0);
    benchmark::DoNotOptimize(v.m_order[0]->score);
  }
  // A digest of the final candidates (scores, places and histories), so that a faster search
  // can be seen to give the same result.
  int live = 0;
  uint32_t digest = 2166136261u;
  auto mix = [&digest](const void* p, size_t n) {
    for (size_t k = 0; k < n; k++) digest = (digest ^ static_cast<const unsigned char*>(p)[k]) * 16777619u;
  };
  for (int i = 0; i < n; i++) {
    const arenaCandidate& c = *v.m_order[i];
    live += c.score > LOG_SMALL;
    mix(&c.score, sizeof c.score);
    const int place[3] = {c.node, c.modelPos, c.stateIdx};
    mix(place, sizeof place);
    mix(c.sylId.data(), sizeof(int) * static_cast<size_t>(c.sylNum));
    mix(c.sylEndScore.data(), sizeof(float) * static_cast<size_t>(c.sylNum));
    mix(c.phoneEndFrame.data(), sizeof(int) * static_cast<size_t>(c.phoneNum));
    mix(c.phoneEndScore.data(), sizeof(float) * static_cast<size_t>(c.phoneNum));
  }
  state.counters["digest"] = digest;
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  state.counters["arenaMB"] = rssMB() - before;
  state.counters["peakRssMB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  state.counters["liveAtEnd"] = live;
  state.counters["bestPhones"] = v.m_order[0]->phoneNum;
}
BENCHMARK(BM_ViterbiSearch1000Frames)->Unit(benchmark::kMillisecond);

// The phone ranking's use: one model over a 30-frame span, for every model in turn.
void BM_ModelProbSpan30(benchmark::State& state) {
  benchTask& t = task();
  stateScorer scorer(t.set, MODELS);
  int k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(scorer.modelProb(t.features.data(), DIM, 100, 129, k));
    k = (k + 1) % MODELS;
  }
}
BENCHMARK(BM_ModelProbSpan30)->Unit(benchmark::kMicrosecond);

}  // namespace
