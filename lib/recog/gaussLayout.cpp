#include "gaussLayout.h"

#include <algorithm>
#include <cmath>

#include "platform/largePageBlock.h"

namespace tulim {

namespace {

int clampTo(int v, int hi) { return std::max(0, std::min(v, hi)); }

int rowPad(int n) { return (n + GAUSS_ROW_ALIGN - 1) / GAUSS_ROW_ALIGN * GAUSS_ROW_ALIGN; }

// The stream's mixtures above the weight cut, in order, into kept; returns their count.
int activeMixtures(const hmmStream& stream, const hmmMixture** kept) {
  int n = 0;
  for (int m = 0; m < clampTo(stream.mixtureNum, MAX_MIXTURE_NUM); m++) {
    const hmmMixture& mix = stream.mixture[m];
    if (mix.mixtureWeight > MIXTURE_WEIGHT_CUT) kept[n++] = &mix;
  }
  return n;
}

}  // namespace

gaussLayout::gaussLayout(const macroClass& models) : m_modelNum(static_cast<int>(models.MMF().model.size())) {
  const hmmSet& set = models.MMF();
  const int streamNum = clampTo(set.streamNum, MAX_STREAM_NUM);
  int width[MAX_STREAM_NUM] = {};
  for (int s = 0; s < streamNum; s++) width[s] = clampTo(set.streamWidth[s], MAX_PARAM_NUM);
  auto states = [](const hmmModel& model) { return clampTo(model.stateNum - 2, MAX_STATE_NUM); };
  auto blockAt = [this](int k, int q, int s) -> gaussBlock& {
    return m_block[(static_cast<size_t>(k) * MAX_STATE_NUM + static_cast<size_t>(q)) * MAX_STREAM_NUM +
                   static_cast<size_t>(s)];
  };
  const hmmMixture* kept[MAX_MIXTURE_NUM];

  // Sizes first: the blocks point into one pool that must not move once filled.
  m_block.assign(static_cast<size_t>(m_modelNum) * MAX_STATE_NUM * MAX_STREAM_NUM, gaussBlock{0, 0, nullptr});
  size_t poolSize = 0;
  for (int k = 0; k < m_modelNum; k++) {
    const hmmModel& model = set.model[static_cast<size_t>(k)];
    for (int q = 0; q < states(model); q++)
      for (int s = 0; s < streamNum; s++) {
        gaussBlock& block = blockAt(k, q, s);
        block.mixtureNum = activeMixtures(model.state[q].stream[s], kept);
        block.pad = rowPad(block.mixtureNum);
        poolSize += static_cast<size_t>(block.pad) * static_cast<size_t>(2 + 2 * width[s]);
      }
  }
  // Left uninitialised: the pool is about as large as the set's mixtures, and the pass below
  // writes every value of it, padding included, in address order, so that each page is
  // touched once. On large pages where it is large enough: it is read by every frame's
  // scores, and filling it then costs a handful of page faults instead of hundreds.
  m_pool = std::make_unique<largePageBlock>(poolSize * sizeof(float));

  float* data = static_cast<float*>(m_pool->data());
  for (gaussBlock& block : m_block) block.data = data;
  for (int k = 0; k < m_modelNum; k++) {
    const hmmModel& model = set.model[static_cast<size_t>(k)];
    for (int q = 0; q < states(model); q++)
      for (int s = 0; s < streamNum; s++) {
        gaussBlock& block = blockAt(k, q, s);
        const int n = activeMixtures(model.state[q].stream[s], kept);
        block.data = data;
        auto row = [&](float padding, auto value) {
          for (int i = 0; i < n; i++) *data++ = value(*kept[i]);
          for (int i = n; i < block.pad; i++) *data++ = padding;
        };
        row(-HUGE_VALF, [](const hmmMixture& mix) { return mix.mixtureWeight; });
        row(0.0f, [](const hmmMixture& mix) { return mix.gconst; });
        for (int d = 0; d < width[s]; d++) row(0.0f, [d](const hmmMixture& mix) { return mix.mean[d]; });
        for (int d = 0; d < width[s]; d++) row(0.0f, [d](const hmmMixture& mix) { return mix.variance[d]; });
      }
  }
}

gaussLayout::~gaussLayout() = default;

}  // namespace tulim
