// The frame-synchronous Viterbi beam search of one utterance over a syllable net, with its
// bounded arena of candidates, and the best score of one model over a span of frames. Driven
// by the recognition core; the segmentation, the label writers and the phone ranking read
// the candidates and the span scores.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "arenaCandidate.h"
#include "gaussLayout.h"
#include "macroClass.h"
#include "netClass.h"
#include "progressSignal.h"
#include "workerPool.h"

namespace tulim {

class dictClass;

constexpr double LOG_ADD_CUTOFF = -23.0259;   // below this difference the smaller term is lost
constexpr double LOG_SMALL = -5e9;            // a log score at or below this is dead

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

// The mixture sum of one stream: logAdd of the n scores in order, starting from LZERO, as a
// float. Computed about the largest score with a single log; when the bound on how far that
// can lie from the chain of logAdd calls leaves the float in doubt, the chain decides.
float mixtureLogSum(const float* score, int n);

// exp(d) for d in [-700, 0] (each lane of a vector of doubles d, with U the vector of
// uint64_t of the same size), within a relative EXP_KERNEL_ERROR, in plain arithmetic on the
// values and their bits so that every lane takes the same steps (the mixture sum's kernel).
constexpr double EXP_KERNEL_ERROR = 5e-10;
template <typename D, typename U>
[[gnu::always_inline]] inline void expKernelOf(const D& d, D& out) {
  // d = n ln2 + r with |r| <= ln2 / 2; 2^n is built in the exponent bits, e^r by its series.
  const double shift = 0x1.8p52;
  D kd = d * 1.44269504088896338700 + shift;
  U ki;
  std::memcpy(&ki, &kd, sizeof ki);
  kd = kd - shift;
  const D r = d - kd * 6.93147180369123816490e-01 - kd * 1.90821492927058770002e-10;
  D p = r * (1.0 / 40320.0) + 1.0 / 5040.0;
  p = p * r + 1.0 / 720.0;
  p = p * r + 1.0 / 120.0;
  p = p * r + 1.0 / 24.0;
  p = p * r + 1.0 / 6.0;
  p = p * r + 0.5;
  p = p * r + 1.0;
  p = p * r + 1.0;
  const U bits = (ki << 52) + (uint64_t{1023} << 52);
  D scale;
  std::memcpy(&scale, &bits, sizeof scale);
  out = p * scale;
}

// The single-precision kernel of the mixture sum's first pass: exp(d) for d in [-87, 0]
// (each lane of a vector of floats, U the vector of uint32_t of its size), within a relative
// EXPF_KERNEL_ERROR of the exact value, and exactly 1 at 0.
constexpr double EXPF_KERNEL_ERROR = 1.2e-7;
template <typename F, typename U>
[[gnu::always_inline]] inline void expKernelFloatOf(const F& d, F& out) {
  const float shift = 0x1.8p23f;
  F kf = d * 1.44269504f + shift;
  U ki;
  std::memcpy(&ki, &kf, sizeof ki);
  kf = kf - shift;
  const F r = d - kf * 0.693359375f - kf * -2.12194440e-4f;
  F p = r * (1.0f / 5040.0f) + 1.0f / 720.0f;
  p = p * r + 1.0f / 120.0f;
  p = p * r + 1.0f / 24.0f;
  p = p * r + 1.0f / 6.0f;
  p = p * r + 0.5f;
  p = p * r + 1.0f;
  p = p * r + 1.0f;
  const U bits = (ki << 23) + (uint32_t{127} << 23);
  F scale;
  std::memcpy(&scale, &bits, sizeof scale);
  out = p * scale;
}

inline float expKernelFloat(float d) {
  float out;
  expKernelFloatOf<float, uint32_t>(d, out);
  return out;
}

inline double expKernel(double d) {
  double out;
  expKernelOf<double, uint64_t>(d, out);
  return out;
}

// While the search runs, at most this many other threads score the states it asked for in
// its last frames on the frames ahead of it.
constexpr int SEARCH_AHEAD_THREADS = 3;

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
  // candidate's history is filled in and closed at the last frame. descCandidateNum lowers N
  // at frames 60, 75, 100 and 120. Of the net it writes only the nodes' stateSlot lists.
  int search(std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim, int frameNum,
             int candidateNum, const macroClass& models, float beam, int descCandidateNum);

  // Best log score of model modelIdx over frames frameId1..frameId2 (inclusive), one state
  // after another with no entry or exit transition; LZERO with a warning for fewer than
  // MAX_STATE_NUM frames.
  float modelProb(const float* features, int dim, int frameId1, int frameId2, const macroClass& models, int modelIdx);

  // One span of modelProbs: model modelIdx over frames frameId1..frameId2.
  struct modelSpan {
    int frameId1;
    int frameId2;
    int modelIdx;
  };
  // modelProb of every span into out (one value each), with the same checks, warnings and
  // numbers as calling modelProb span by span; the spans of different models are scored on
  // the threads of workerPool::shared() (a model's spans on one, through its own cache).
  void modelProbs(const float* features, int dim, const std::vector<modelSpan>& spans, const macroClass& models,
                  std::vector<float>& out);

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
  // Append one closed syllable or phone with the candidate's current score to its lists.
  void sylAdd(arenaCandidate& cand, int dicIndex, int node, int endFrame);
  void phoneAdd(arenaCandidate& cand, int modelPos, int endFrame);

 private:
  struct nodeModels {
    const int* modelIndex;  // the node's syllable models; null for a null node
    int modelNum;
  };
  struct sortKey {
    uint32_t order;  // the score's bits, turned so that a higher score gives a lower value
    int pos;
  };
  // While the search runs, histories are chains of entries in two pools shared by all
  // candidates: a branch copies the head of a chain instead of the whole history.
  struct sylEntry {
    int prev;  // earlier entry of the same history; -1 at its start
    int sylId;
    int node;
    int endFrame;
    float endScore;
  };
  struct phoneEntry {
    int prev;
    int pos;
    int endFrame;
    float endScore;
  };

  std::vector<nodeModels> m_nodeModels;  // per net node, for the current search
  std::vector<int> m_streamOffset;       // first value of each stream in a frame
  std::vector<int> m_streamWidth;
  std::shared_ptr<const gaussLayout> m_gauss;  // of the set being scored
  std::vector<uint8_t> m_held;                 // per record: holds a candidate of this search
  std::vector<int> m_sylHead;                  // per record: last entry of its syllable history
  std::vector<int> m_phoneHead;
  std::vector<sylEntry> m_sylPool;
  std::vector<phoneEntry> m_phonePool;
  size_t m_poolLimit = 0;  // pool entries at which the unreachable ones are dropped
  std::vector<sortKey> m_sortKey;
  std::vector<sortKey> m_sortSpare;  // the radix sort's other buffer
  std::vector<arenaCandidate*> m_sortTmp;
  const macroClass* m_models = nullptr;
  // Scores computed ahead of the search. The net's states (keys model * MAX_STATE_NUM +
  // state) have places 0..m_aheadKey.size()-1 (m_aheadPlace: -1 for a state not in the net);
  // per place the last frame the search asked for it, and per frame (modulo AHEAD_RING) and
  // place a slot holding a frame number and that frame's score in one word.
  std::vector<int> m_aheadKey;
  std::vector<int> m_aheadPlace;
  std::unique_ptr<std::atomic<int>[]> m_askedAt;
  std::unique_ptr<std::atomic<uint64_t>[]> m_ahead;
  size_t m_aheadCapacity = 0;  // places the two arrays are sized for
  bool m_aheadOn = false;      // this search scores ahead
  progressSignal m_searchFrame;  // the frame the search is at; closed when it ends

  int searchInit(std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim, int frameNum,
                 int candidateNum, const macroClass& models, int& endNode);
  void streamsCheck(const macroClass& models, int dim);
  void modelCheck(const macroClass& models, int modelIdx, int node) const;
  // The steps over positions 0..liveEnd-1 and deadEnd..lastPos-1; those between are dead.
  void recombineRange(std::vector<netNode>& nodes, int liveEnd, int deadEnd, int lastPos);
  // Returns the number of live candidates, which now come first.
  int sortRange(int liveEnd, int deadEnd, int lastPos);
  // prune over the first live positions only (the rest are dead); live becomes the number
  // that survive.
  int pruneLive(int t, int candidateNum, float beam, int descCandidateNum, int& live);
  int branchKind(const arenaCandidate& cand) const;
  // A copy of src's state and history at position lastPos; null when the arena has no
  // record left.
  arenaCandidate* candidateCopy(const arenaCandidate& src, int lastPos);
  // Close a syllable or phone of a running candidate in the pools.
  void sylClose(arenaCandidate& cand, int dicIndex, int node, int endFrame);
  void phoneClose(arenaCandidate& cand, int modelPos, int endFrame);
  // Drops the pool entries that no record holding a candidate reaches.
  void poolCompact();
  // Writes every held record's pool history into its lists.
  void historiesFill();
  size_t recordOf(const arenaCandidate& cand) const { return static_cast<size_t>(&cand - m_arena); }
  float stateProb(const float* x, int modelIdx, int state, int frameId);
  // The frames 1..frameNum-1 of the search, from live candidates on; returns the final N.
  int searchFrames(std::vector<netNode>& nodes, const float* features, int dim, int frameNum, int candidateNum,
                   float beam, int descCandidateNum, int endNode, int live);
  // Prepares the places of the net's states, when other threads can score ahead and a
  // frame's scores are work enough to share.
  void aheadInit();
  // The steps (as workerPool::pays counts them) of one state's score for one frame.
  double stateWork(int modelIdx, int state) const;
  // One helper's share (the places helper, helper + helpers, ...) of the scores ahead, until
  // searchDone.
  void aheadScore(size_t helper, size_t helpers, const float* features, int dim, int frameNum,
                  const std::atomic<bool>& searchDone);
  // The emission score of the state: the sum of its streams' scores.
  float stateScoreOf(const float* x, int modelIdx, int state) const;
  // stateProb through the given cache of model modelIdx.
  float stateProbIn(stateProbCache& cache, const float* x, int modelIdx, int state, int frameId) const;
  // modelProb's checks and warning for one span; false when it scores LZERO without work.
  bool spanCheck(const macroClass& models, int dim, int frameId1, int frameId2, int modelIdx);
  // modelProb's score of a checked span: it touches only the model's own cache.
  float spanScore(const float* features, int dim, int frameId1, int frameId2, int modelIdx);
  // The log score of every stream of the state (its mixture sum), into sum.
  void streamLogProb(const float* x, int modelIdx, int state, float* sum) const;
  float transProb(int modelIdx, int from, int to) const;
};

}  // namespace tulim
