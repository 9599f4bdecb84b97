// Random model sets for the benchmarks: models of 5 states (3 emitting), 3 streams of 13,
// Gaussians whose means are base(model, state, stream, dimension) plus unit noise and whose
// variances lie in [0.5, 2], left-to-right transitions; sorted and prepared as the engine
// reads them. The caller's distributions are used, so its later draws go on from the same
// random stream.
#pragma once

#include <cmath>
#include <functional>
#include <random>
#include <string>

#include "macroClass.h"

namespace tulim {
namespace bench {

struct randomSetShape {
  int models;
  int mixtures;
  bool randomWeights;  // false: equal weights
  float selfLoop;      // self-loop probability of each emitting state
  float next;          // probability of going on to the next state
};

inline void randomModelSet(macroClass& set, const randomSetShape& shape, std::mt19937& gen,
                           std::normal_distribution<float>& normal, std::uniform_real_distribution<float>& uniform,
                           const std::function<std::string(int)>& name,
                           const std::function<float(int, int, int, int)>& base) {
  hmmSet& mmf = set.MMFEdit();
  mmf.streamNum = 3;
  for (int s = 0; s < 3; s++) mmf.streamWidth[s] = 13;
  mmf.model.resize(static_cast<size_t>(shape.models));
  mmf.modelNum = shape.models;
  for (int k = 0; k < shape.models; k++) {
    hmmModel& model = mmf.model[static_cast<size_t>(k)];
    model.str = name(k);
    model.stateNum = 5;
    for (int q = 0; q < 3; q++)
      for (int s = 0; s < 3; s++) {
        model.state[q].streamWeight[s] = 1.0f;
        hmmStream& stream = model.state[q].stream[s];
        stream.mixtureNum = shape.mixtures;
        float total = 0.0f;
        for (int m = 0; m < shape.mixtures; m++) {
          hmmMixture& mix = stream.mixture[m];
          mix.mixtureWeight = shape.randomWeights ? uniform(gen) : 1.0f / static_cast<float>(shape.mixtures);
          total += mix.mixtureWeight;
          float logDet = 0.0f;
          for (int d = 0; d < 13; d++) {
            mix.mean[d] = base(k, q, s, d) + normal(gen);
            mix.variance[d] = uniform(gen);
            logDet += std::log(mix.variance[d]);
          }
          mix.gconst = 13.0f * std::log(2.0f * static_cast<float>(M_PI)) + logDet;
        }
        if (shape.randomWeights)
          for (int m = 0; m < shape.mixtures; m++) stream.mixture[m].mixtureWeight /= total;
      }
    model.transProb[0][1] = 1.0f;
    for (int r = 1; r < 4; r++) {
      model.transProb[r][r] = shape.selfLoop;
      model.transProb[r][r + 1] = shape.next;
    }
  }
  set.sortModels(0, shape.models - 1);
  set.prepareModels();
  set.layoutPrepare();
}

}  // namespace bench
}  // namespace tulim
