#include "exactSearch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>

#include "audioFile.h"
#include "dictClass.h"
#include "mixtureSum.h"
#include "mlfClass.h"
#include "platform/platformClock.h"
#include "recogTask.h"
#include "stateScorer.h"
#include "textClass.h"
#include "utilClass.h"
#include "viterbiClass.h"

namespace tulim {
namespace test {

namespace {

float plainMixture(const float* x, const hmmMixture& mix, int width) {
  float sum = 0.0f;
  for (int k = 0; k < width; k++) {
    float d = x[k] - mix.mean[k];
    sum += d * d * mix.variance[k];
  }
  return -(sum + mix.gconst) / 2.0f;
}

float plainStream(const float* x, const hmmStream& stream, int width) {
  double sum = LZERO;
  for (int m = 0; m < stream.mixtureNum; m++) {
    const hmmMixture& mix = stream.mixture[m];
    if (mix.mixtureWeight > -11.5f) sum = logAdd(sum, plainMixture(x, mix, width) + mix.mixtureWeight);
  }
  return static_cast<float>(sum);
}

}  // namespace

float plainStateScore(const float* x, const macroClass& set, int model, int state) {
  float p = 0.0f;
  int offset = 0;
  for (int s = 0; s < set.MMF().streamNum; s++) {
    p += plainStream(x + offset, set.MMF().model[static_cast<size_t>(model)].state[state].stream[s],
                     set.MMF().streamWidth[s]);
    offset += set.MMF().streamWidth[s];
  }
  return p;
}

exactPath exactSearch(const std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim,
                      int frameNum, const macroClass& models) {
  exactPath result;
  viterbiClass finder(0);
  const int start = finder.startNodeFind(nodes), end = finder.endNodeFind(nodes);
  const size_t nodeNum = nodes.size();
  auto modelsOf = [&](size_t n) -> const std::vector<int>& {
    return dict.m_pronDict[static_cast<size_t>(nodes[n].dicIndex)].modelIndex;
  };
  auto emitting = [&](int model) { return models.MMF().model[static_cast<size_t>(model)].stateNum - 2; };
  auto trans = [&](int model, int from, int to) {
    return models.MMF().model[static_cast<size_t>(model)].transProb[from + 1][to + 1];
  };
  // The states of node n are first[n] .. first[n+1]-1, model after model.
  std::vector<int> first(nodeNum + 1, 0);
  for (size_t n = 0; n < nodeNum; n++) {
    int count = 0;
    if (nodes[n].dicIndex >= 0)
      for (int m : modelsOf(n)) count += emitting(m);
    first[n + 1] = first[n] + count;
  }
  result.states = first[nodeNum];
  if (frameNum < 1) return result;

  // Emissions of the current frame, computed once per model and state.
  std::map<int, float> emission;
  const float* x = features;
  auto prob = [&](int model, int state) {
    auto it = emission.find(model * MAX_STATE_NUM + state);
    if (it != emission.end()) return it->second;
    const float p = plainStateScore(x, models, model, state);
    emission.emplace(model * MAX_STATE_NUM + state, p);
    return p;
  };
  auto improve = [](float& slot, float score) {
    if (score > slot) slot = score;
  };

  std::vector<float> cur(static_cast<size_t>(result.states), LZERO), next(cur.size(), LZERO);
  const netNode& startNode = nodes[static_cast<size_t>(start)];
  const std::vector<int> entry = startNode.dicIndex < 0 ? startNode.fanOutIndirect : std::vector<int>{start};
  for (int e : entry)
    improve(cur[static_cast<size_t>(first[static_cast<size_t>(e)])], deadFloor(prob(modelsOf(static_cast<size_t>(e))[0], 0)));

  for (int t = 1; t < frameNum; t++) {
    x = features + static_cast<size_t>(t) * static_cast<size_t>(dim);
    emission.clear();
    std::fill(next.begin(), next.end(), LZERO);
    for (size_t n = 0; n < nodeNum; n++) {
      if (nodes[n].dicIndex < 0) continue;
      const std::vector<int>& ms = modelsOf(n);
      int at = first[n];
      for (size_t p = 0; p < ms.size(); p++) {
        const int m = ms[p], Q = emitting(m);
        for (int s = 0; s < Q; s++, at++) {
          const float score = cur[static_cast<size_t>(at)];
          if (!(score > LOG_SMALL)) continue;
          improve(next[static_cast<size_t>(at)], deadFloor(score + (trans(m, s, s) + prob(m, s))));
          if (s + 1 < Q) {
            improve(next[static_cast<size_t>(at + 1)], deadFloor(score + (trans(m, s, s + 1) + prob(m, s + 1))));
          } else if (p + 1 < ms.size()) {
            improve(next[static_cast<size_t>(at + 1)],
                    deadFloor(score + (trans(m, s, s + 1) + prob(ms[p + 1], 0))));
          } else {
            for (int e : nodes[n].fanOutIndirect) {
              if (e == end) continue;
              const size_t ne = static_cast<size_t>(e);
              improve(next[static_cast<size_t>(first[ne])],
                      deadFloor(score + trans(m, s, s + 1) + prob(modelsOf(ne)[0], 0) + nodes[ne].penalty));
            }
          }
        }
      }
    }
    std::swap(cur, next);
  }

  for (size_t n = 0; n < nodeNum; n++) {
    if (nodes[n].dicIndex < 0 || first[n + 1] == first[n]) continue;
    const std::vector<int>& links = nodes[n].fanOutDirect;
    if (std::find(links.begin(), links.end(), end) == links.end()) continue;
    // The last state of the node's last model.
    const float score = cur[static_cast<size_t>(first[n + 1] - 1)];
    if (!(score > LOG_SMALL)) continue;
    if (!result.found || score > result.score) {
      result.found = true;
      result.score = score;
      result.node = static_cast<int>(n);
    }
  }
  return result;
}

searchComparison searchCompare(std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim,
                               int frameNum, const macroClass& models, int candidateNum, int arenaLen, float beam,
                               int descCandidateNum) {
  searchComparison r;
  r.candidateNum = candidateNum;
  const double start = monotonicSeconds();
  stateScorer scorer(models, models.MMF().modelNum);
  viterbiClass search(arenaLen);
  const int n = search.search(nodes, dict, features, dim, frameNum, candidateNum, scorer, beam, descCandidateNum);
  r.seconds = monotonicSeconds() - start;
  const int best = utilClass::bestPathSelect(search.m_order, n, nodes, dict.m_pronDict);
  r.engine = LZERO;
  if (best >= 0) {
    const arenaCandidate& c = *search.m_order[best];
    const netNode& node = nodes[static_cast<size_t>(c.node)];
    const std::vector<int>& links = node.fanOutDirect;
    r.engine = c.score;
    r.engineComplete =
        node.dicIndex >= 0 && c.stateIdx == 2 &&
        c.modelPos + 1 == static_cast<int>(dict.m_pronDict[static_cast<size_t>(node.dicIndex)].modelIndex.size()) &&
        std::find(links.begin(), links.end(), search.endNodeFind(nodes)) != links.end();
  }
  r.exact = exactSearch(nodes, dict, features, dim, frameNum, models);
  return r;
}

namespace {
struct freeDeleter {
  void operator()(void* p) const { free(p); }
};
}  // namespace

searchComparison searchCompare(const std::string& paramFile, const std::string& wavFile, const std::string& txtFile,
                               const macroClass& models) {
  recogTask task;
  recogParam param;
  task.recogParamRead(paramFile, param);
  param.wavFile = wavFile;
  param.txtFile = txtFile;
  mlfClass mlf;
  int fs = 0, nbits = 0, count = 0;
  int* read = readAudioFile(wavFile.c_str(), &fs, &nbits, &count);
  std::unique_ptr<int, freeDeleter> samples(task.wavePrepare(read, count, fs, nbits, param, mlf));
  dictClass dict;
  textClass text;
  netClass net;
  task.dictPrepare(param, models, dict, text, net);
  int candidateNum = 0, arenaLen = 0;
  task.netPrepare(param, models, dict, text, net, candidateNum, arenaLen);
  int frameNum = 0, dim = 0, firstFrame = 0;
  std::unique_ptr<float, freeDeleter> features(
      task.epdAndMfcc(param, samples.get(), count, fs, nbits, 320, 160, frameNum, dim, firstFrame));
  return searchCompare(net.m_node, dict, features.get(), dim, frameNum, models, candidateNum, arenaLen,
                       static_cast<float>(param.probTh), param.useDescCandidateNum);
}

}  // namespace test
}  // namespace tulim
