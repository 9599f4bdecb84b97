// The Gaussians of a prepared model set laid out for scoring: for every model, emitting state
// and stream, the mixtures above the weight cut side by side, so that one frame is scored
// against all of them in one pass over its dimensions. Built by macroClass::layoutPrepare,
// which keeps it, and read by the state scorer.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "macroClass.h"

namespace tulim {

constexpr float MIXTURE_WEIGHT_CUT = -11.5f;  // mixtures of log weight at or below are skipped
constexpr int GAUSS_ROW_ALIGN = 8;            // mixtures per row are padded to a multiple of this

// One stream of one state: pad log weights, pad gconsts, then width rows of pad means and
// width rows of pad inverse variances (dimension-major). Padding mixtures have a log weight
// of -infinity and zeros elsewhere, so that they score -infinity (NaN for a non-finite frame).
struct gaussBlock {
  int mixtureNum;  // mixtures above the weight cut, in the model's order
  int pad;         // mixtureNum rounded up to GAUSS_ROW_ALIGN
  const float* data;
};

class largePageBlock;

class gaussLayout {
 public:
  // Lays out every model of the set. Counts out of their limits (which the search rejects
  // before scoring) are clamped to them, so that building never reads outside the records.
  explicit gaussLayout(const macroClass& models);
  ~gaussLayout();
  gaussLayout(const gaussLayout&) = delete;
  gaussLayout& operator=(const gaussLayout&) = delete;

  int modelNum() const { return m_modelNum; }
  // Emitting state 0..MAX_STATE_NUM-1, stream 0..MAX_STREAM_NUM-1; an empty block for a state
  // or stream the model lacks.
  const gaussBlock& block(int model, int state, int stream) const {
    return m_block[(static_cast<size_t>(model) * MAX_STATE_NUM + static_cast<size_t>(state)) * MAX_STREAM_NUM +
                   static_cast<size_t>(stream)];
  }

 private:
  int m_modelNum;
  std::vector<gaussBlock> m_block;  // model-major, then state, then stream
  std::unique_ptr<largePageBlock> m_pool;  // what the blocks point into
};

}  // namespace tulim
