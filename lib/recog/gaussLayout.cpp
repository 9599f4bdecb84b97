#include "gaussLayout.h"

#include <algorithm>
#include <cmath>

namespace tulim {

namespace {

int clampTo(int v, int hi) { return std::max(0, std::min(v, hi)); }

int rowPad(int n) { return (n + GAUSS_ROW_ALIGN - 1) / GAUSS_ROW_ALIGN * GAUSS_ROW_ALIGN; }

int activeMixtures(const hmmStream& stream) {
  int n = 0;
  for (int m = 0; m < clampTo(stream.mixtureNum, MAX_MIXTURE_NUM); m++)
    n += stream.mixture[m].mixtureWeight > MIXTURE_WEIGHT_CUT;
  return n;
}

}  // namespace

gaussLayout::gaussLayout(const macroClass& models) : m_modelNum(static_cast<int>(models.MMF.model.size())) {
  const hmmSet& set = models.MMF;
  const int streamNum = clampTo(set.streamNum, MAX_STREAM_NUM);
  int width[MAX_STREAM_NUM] = {};
  for (int s = 0; s < streamNum; s++) width[s] = clampTo(set.streamWidth[s], MAX_PARAM_NUM);
  auto states = [](const hmmModel& model) { return clampTo(model.stateNum - 2, MAX_STATE_NUM); };

  // Sizes first: the blocks point into one pool that must not move once filled.
  size_t poolSize = 0;
  for (const hmmModel& model : set.model)
    for (int q = 0; q < states(model); q++)
      for (int s = 0; s < streamNum; s++)
        poolSize += static_cast<size_t>(rowPad(activeMixtures(model.state[q].stream[s]))) *
                    static_cast<size_t>(2 + 2 * width[s]);
  m_pool.assign(poolSize, 0.0f);
  m_block.assign(static_cast<size_t>(m_modelNum) * MAX_STATE_NUM * MAX_STREAM_NUM, gaussBlock{0, 0, m_pool.data()});

  float* data = m_pool.data();
  for (int k = 0; k < m_modelNum; k++) {
    const hmmModel& model = set.model[static_cast<size_t>(k)];
    for (int q = 0; q < states(model); q++)
      for (int s = 0; s < streamNum; s++) {
        const hmmStream& stream = model.state[q].stream[s];
        const int pad = rowPad(activeMixtures(stream));
        const size_t rowLen = static_cast<size_t>(pad);
        float* logWeight = data;
        float* gconst = logWeight + rowLen;
        float* mean = gconst + rowLen;
        float* invVar = mean + static_cast<size_t>(width[s]) * rowLen;
        std::fill(logWeight, logWeight + rowLen, -HUGE_VALF);
        int n = 0;
        for (int m = 0; m < clampTo(stream.mixtureNum, MAX_MIXTURE_NUM); m++) {
          const hmmMixture& mix = stream.mixture[m];
          if (!(mix.mixtureWeight > MIXTURE_WEIGHT_CUT)) continue;
          logWeight[n] = mix.mixtureWeight;
          gconst[n] = mix.gconst;
          for (int d = 0; d < width[s]; d++) {
            mean[static_cast<size_t>(d) * rowLen + static_cast<size_t>(n)] = mix.mean[d];
            invVar[static_cast<size_t>(d) * rowLen + static_cast<size_t>(n)] = mix.variance[d];
          }
          n++;
        }
        m_block[(static_cast<size_t>(k) * MAX_STATE_NUM + static_cast<size_t>(q)) * MAX_STREAM_NUM +
                static_cast<size_t>(s)] = gaussBlock{n, pad, data};
        data += rowLen * static_cast<size_t>(2 + 2 * width[s]);
      }
  }
}

}  // namespace tulim
