// The frame-synchronous Viterbi beam search of one utterance over a syllable net, with its
// bounded arena of candidates, and the best score of one model over a span of frames. Driven
// by the recognition core; the segmentation, the label writers and the phone ranking read
// the candidates and the span scores.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "arenaCandidate.h"
#include "macroClass.h"
#include "netClass.h"

namespace tulim {

class dictClass;

constexpr double LOG_ADD_CUTOFF = -23.0259;   // below this difference the smaller term is lost
constexpr double LOG_SMALL = -5e9;            // a log score at or below this is dead
constexpr float MIXTURE_WEIGHT_CUT = -11.5f;  // mixtures of log weight at or below are skipped

// Emission scores of one model for the frame each state was last asked about.
struct stateProbCache {
  int frameId[MAX_STATE_NUM];  // -1: empty
  float logProb[MAX_STATE_NUM];
};

// log(e^a + e^b) in double; a difference below LOG_ADD_CUTOFF gives the larger term (LZERO
// when that is at or below LOG_SMALL).
inline double logAdd(double a, double b) {
  double x = a > b ? a : b;
  double y = a > b ? b : a;
  if (y - x < LOG_ADD_CUTOFF) return x < LOG_SMALL ? LZERO : x;
  return x + std::log(1.0 + std::exp(y - x));
}

class viterbiClass {
 public:
  int m_modelNum;  // models the cache holds
  int m_arenaLen;  // candidate records in the arena
  std::vector<stateProbCache> m_stateProbCache;
  arenaCandidate* m_arena;  // m_arenaLen records
  // The search sorts and overwrites candidates through these pointers; records never move.
  arenaCandidate** m_order;

  // Allocates the arena when arenaLen > 0 and the cache when modelNum > 0; (0, 0) makes an
  // object that only finds start and end nodes.
  viterbiClass(int arenaLen, int modelNum);
  ~viterbiClass();
  viterbiClass(const viterbiClass&) = delete;
  viterbiClass& operator=(const viterbiClass&) = delete;

  // Runs the search over frameNum frames of dim floats each (frame-major) and returns the
  // final candidate count N; m_order[0..N-1] are then sorted by score, best first, and each
  // candidate's history is closed at the last frame. descCandidateNum lowers N at frames 60,
  // 75, 100 and 120. Writes only the nodes' stateSlot arrays.
  int search(std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim, int frameNum,
             int candidateNum, const macroClass& models, float beam, int descCandidateNum);

  // Best log score of model modelIdx over frames frameId1..frameId2 (inclusive), one state
  // after another with no entry or exit transition; LZERO with a warning for fewer than
  // MAX_STATE_NUM frames.
  float modelProb(const float* features, int dim, int frameId1, int frameId2, const macroClass& models, int modelIdx);

  // The one node that no link enters, and the one node without outgoing links.
  int startNodeFind(const std::vector<netNode>& nodes) const;
  int endNodeFind(const std::vector<netNode>& nodes) const;

  // ---- Steps of the search, open to the tests -------------------------------------------

  // Kills (LZERO) every candidate at positions 0..lastPos-1 that another one in the same
  // node, model position and state beats; on equal scores the later position dies.
  void recombine(std::vector<netNode>& nodes, int lastPos);
  // Orders the pointers at positions 0..lastPos-1 by score, highest first, equal scores in
  // position order (no score lies below LZERO: the search keeps dead ones at exactly LZERO).
  void sortCandidates(int lastPos);
  // The candidate count for frame t (lowered at frames 60, 75, 100 and 120 when
  // descCandidateNum is set, never below 1); then every position below it from the first one
  // more than beam under position 0 is killed. Returns the count.
  int prune(int t, int candidateNum, float beam, int descCandidateNum);
  // Append one closed syllable or phone with the candidate's current score.
  void sylAdd(arenaCandidate& cand, int dicIndex, int node, int endFrame);
  void phoneAdd(arenaCandidate& cand, int modelPos, int endFrame);

 private:
  struct nodeModels {
    const int* modelIndex;  // the node's syllable models; null for a null node
    int modelNum;
  };
  // The Gaussians of one stream of one state above the weight cut, laid out for evaluation
  // side by side: log weights, gconsts, then means and inverse variances dimension-major,
  // each row padded to `pad` mixtures.
  struct gaussBlock {
    int mixtureNum;
    int pad;
    const float* data;
  };
  struct modelLayout {
    gaussBlock block[MAX_STATE_NUM][MAX_STREAM_NUM];
  };
  struct sortKey {
    float score;
    int pos;
  };

  std::vector<nodeModels> m_nodeModels;  // per net node, for the current search
  std::vector<int> m_streamOffset;       // first value of each stream in a frame
  std::vector<int> m_streamWidth;
  std::vector<modelLayout> m_layout;  // per model used by the current search's net
  std::vector<float> m_gaussPool;     // what m_layout points into
  modelLayout m_spanLayout;           // the one model of modelProb
  std::vector<float> m_spanPool;
  std::vector<uint8_t> m_held;  // per record: holds a candidate of this search
  // Recombination slot (node, slot) is taken in the current frame only when its stamp is
  // m_stamp; stateSlot then holds the position.
  std::vector<uint32_t> m_slotStamp;
  uint32_t m_stamp = 0;
  std::vector<sortKey> m_sortKey;
  std::vector<arenaCandidate*> m_sortTmp;
  const macroClass* m_models = nullptr;

  int searchInit(std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim, int frameNum,
                 int candidateNum, const macroClass& models, int& endNode);
  void streamsCheck(const macroClass& models, int dim);
  void modelCheck(const macroClass& models, int modelIdx, int node) const;
  size_t layoutSize(const macroClass& models, int modelIdx) const;
  void layoutFill(const macroClass& models, int modelIdx, modelLayout& layout, float* data) const;
  // The steps over positions 0..liveEnd-1 and deadEnd..lastPos-1; those between are dead.
  void recombineRange(std::vector<netNode>& nodes, int liveEnd, int deadEnd, int lastPos);
  // Returns the number of live candidates, which now come first.
  int sortRange(int liveEnd, int deadEnd, int lastPos);
  // prune over the first live positions only (the rest are dead); live becomes the number
  // that survive.
  int pruneLive(int t, int candidateNum, float beam, int descCandidateNum, int& live);
  int branchKind(const arenaCandidate& cand) const;
  // A copy of src's state and used history at position lastPos; null when the arena has no
  // record left.
  arenaCandidate* candidateCopy(const arenaCandidate& src, int lastPos);
  float stateProb(const float* x, const modelLayout& layout, int modelIdx, int state, int frameId);
  // The log score of every stream of the state, into sum.
  void streamLogProb(const float* x, const modelLayout& layout, int state, double* sum) const;
  // Log density plus log weight of every mixture of the block, into out.
  void mixtureLogProb(const float* x, const gaussBlock& block, int width, float* out) const;
  float transProb(int modelIdx, int from, int to) const;
};

}  // namespace tulim
