// The emission scores of the states of one prepared model set, for the Viterbi search and the
// phone ranking: a const view of the set's scoring layout, one cache per model, the kernel,
// the best score of a model over a span of frames, and the helper threads that score the
// states the search asked for on the frames ahead of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "gaussLayout.h"
#include "macroClass.h"
#include "progressSignal.h"

namespace tulim {

// Emission scores of one model for the frame each state was last asked about.
struct stateProbCache {
  int frameId[MAX_STATE_NUM];  // -1: empty
  float logProb[MAX_STATE_NUM];
};

// While the search runs, at most this many other threads score the states it asked for in
// its last frames on the frames ahead of it.
constexpr int SEARCH_AHEAD_THREADS = 3;

class stateScorer {
 public:
  enum kernelChoice {
    FASTEST_KERNEL,  // the widest vectors this processor has
    PLAIN_KERNEL,    // the vectors of every processor of the build (the same numbers)
  };

  int m_modelNum;  // models the cache holds
  std::vector<stateProbCache> m_stateProbCache;

  // Scores models 0..modelNum-1 of models with the layout its last layoutPrepare made (a fatal
  // error when it has changed since). The set must not change while the scorer lives; if it
  // does, the checks before the next search or span score fail rather than score it stale.
  stateScorer(const macroClass& models, int modelNum, kernelChoice kernel = FASTEST_KERNEL);
  ~stateScorer();
  stateScorer(const stateScorer&) = delete;
  stateScorer& operator=(const stateScorer&) = delete;

  const macroClass& models() const { return m_models; }

  // ---- Checks, before anything is scored --------------------------------------------------

  // The set unchanged since the scorer took its layout, its streams, and a frame of dim values
  // that they split exactly.
  void streamsCheck(int dim);
  // A model index the cache and the set hold, with a state count and mixture counts in their
  // limits; node >= 0 names the net node that asks for it in the message.
  void modelCheck(int modelIdx, int node) const;

  // ---- Scores -----------------------------------------------------------------------------

  // Every cache entry empty, the scores kept from a search too.
  void cacheClear();
  // The emission score of the state of the model on frame x (frame frameId of the search),
  // through the model's cache, or from the helpers when they scored it ahead.
  inline float stateProb(const float* x, int modelIdx, int state, int frameId);
  float transProb(int modelIdx, int from, int to) const {
    return m_models.MMF().model[static_cast<size_t>(modelIdx)].transProb[from + 1][to + 1];
  }

  // Best log score of model modelIdx over frames frameId1..frameId2 (inclusive), one state
  // after another with no entry or exit transition; LZERO with a warning for fewer than
  // MAX_STATE_NUM frames.
  float modelProb(const float* features, int dim, int frameId1, int frameId2, int modelIdx);

  // One span of modelProbs: model modelIdx over frames frameId1..frameId2.
  struct modelSpan {
    int frameId1;
    int frameId2;
    int modelIdx;
  };
  // modelProb of every span into out (one value each), with the same checks, warnings and
  // numbers as calling modelProb span by span; the spans of different models are scored on
  // the threads of workerPool::shared() (a model's spans on one, through its own cache).
  // Both take the scores the last search computed on frames equal to the span's.
  void modelProbs(const float* features, int dim, const std::vector<modelSpan>& spans, std::vector<float>& out);

  // ---- Scoring ahead of a search ------------------------------------------------------------

  // Runs a search of frameNum frames on this thread: prepare (which calls aheadInit), then
  // frames (which calls frameBegin at each frame); meanwhile other threads of
  // workerPool::shared() score ahead. The scores are the same whoever computes them. The
  // scores the search asks for are kept, with a copy of its frames, for the spans of
  // modelProb and modelProbs, until the next search or cacheClear.
  void searchRun(const float* features, int dim, int frameNum, const std::function<void()>& prepare,
                 const std::function<void()>& frames);
  // Starts, without waiting for them, the threads that searchRun starts for the phone ranking
  // after a search of frameNum frames with models 0..modelNum-1 of the laid-out set: a caller
  // that knows the utterance's length before it has read its features calls it then, so that
  // the threads' start overlaps that work rather than the search. Nothing for a set that is
  // not laid out.
  static void threadsPrepare(const macroClass& models, int modelNum, int frameNum);
  // The models of the search's net, one entry for each model of each node (repeats allowed):
  // their states are the ones scored ahead, unless helpers is false.
  // Nothing is prepared when a frame's scores are too little work to share.
  void aheadInit(const std::vector<int>& netModels, bool helpers = true);
  // The scores of the states keys (model * MAX_STATE_NUM + state) on frames t0..t1 of
  // features into out, frame after frame, keyNum values each: the scores stateProb gives;
  // during a search over these features they are kept as its own. They are computed on the
  // threads of workerPool::shared() while lead runs on the caller's: lead calls
  // rowWait(t) before it reads frame t's row, which returns once the row is whole (the caller
  // scores rows itself while it waits, and alone when the work is too little to share). For a
  // search whose steps over a frame, leadWork of them as stateWork counts (0: unknown), take
  // about as long as the frame's scores or less: the two overlap, on as many threads as keep
  // the rows ahead of the steps.
  // With out null, the scores go only to the rows the running search keeps (keptRows). A task
  // a thread holds for TAKE_OVER_SECONDS while the lead waits for its row is scored again by the
  // lead: the system may leave a thread unscheduled for milliseconds. Tests set the wait.
  static constexpr double TAKE_OVER_SECONDS = 250e-6;
  static void takeOverAfterSet(double seconds) { s_takeOverSeconds.store(seconds, std::memory_order_relaxed); }
  void statesScoreBeside(const float* features, int dim, int t0, int t1, const int* keys, size_t keyNum, float* out,
                         double leadWork, const std::function<void(const std::function<void(int)>& rowWait)>& lead);
  // The scores the running search over features keeps, a row of keptWidth() a frame from its
  // first, a state key's at keptColumn(key) (-1: none): null when it keeps none. A row is
  // whole only where it was scored.
  const float* keptRows(const float* features, int dim) const {
    return m_keptOn && features == m_runFeatures && dim == m_runDim ? m_kept.get() : nullptr;
  }
  size_t keptWidth() const { return m_aheadKey.size(); }
  int keptColumn(int key) const {
    return key >= 0 && static_cast<size_t>(key) < m_aheadPlace.size() ? m_aheadPlace[static_cast<size_t>(key)] : -1;
  }
  // The search is at frame t.
  void frameBegin(int t) {
    // A wake-up costs the search a system call and a helper tens of microseconds, so asleep
    // helpers are woken every AHEAD_WAKE_STRIDE frames only: they have scored AHEAD_FRAMES
    // frames ahead before they slept, which lasts the search until then.
    if (m_aheadOn)
      m_searchFrame.post(t, t % AHEAD_WAKE_STRIDE == 0);
    else if (m_aheadTrial && t % AHEAD_TRIAL_FRAMES == 0)
      aheadDecide(t);
  }

 private:
  const macroClass& m_models;
  std::shared_ptr<const gaussLayout> m_gauss;  // of the set being scored
  uint64_t m_generation;                       // of the set when m_gauss was taken
  void (*m_kernel)(const float* x, const gaussBlock* block, const int* offset, const int* width, int streamNum,
                   float* sum);
  std::vector<int> m_streamOffset;  // first value of each stream in a frame
  std::vector<int> m_streamWidth;

  // Scores computed ahead of the search. The net's states (keys model * MAX_STATE_NUM +
  // state) have places 0..m_aheadKey.size()-1 (m_aheadPlace: -1 for a state not in the net);
  // per place the last frame the search asked for it, and per frame (modulo AHEAD_RING) and
  // place a slot holding a frame number and that frame's score in one word.
  static constexpr int AHEAD_RING = 16;
  static constexpr int AHEAD_WAKE_STRIDE = 4;
  // The beam asks for a part of the net's states only, and which part depends on the speech
  // (few in the silence before it): the search scores alone, and every AHEAD_TRIAL_FRAMES
  // frames looks whether the states it asked for on them were work enough to share. From the
  // first time they were, the helpers score ahead.
  static constexpr int AHEAD_TRIAL_FRAMES = 8;
  std::vector<int> m_aheadKey;
  std::vector<int> m_aheadPlace;
  std::vector<double> m_aheadWork;  // per place, stateWork of its state
  double m_askedWork = 0.0;         // of the scores computed since the last trial frames began
  std::unique_ptr<std::atomic<int>[]> m_askedAt;
  std::unique_ptr<std::atomic<uint64_t>[]> m_ahead;
  size_t m_aheadCapacity = 0;  // places the two arrays are sized for
  bool m_aheadTrial = false;  // this search may score ahead: it counts the work it asks for
  bool m_aheadOn = false;     // the helpers score ahead, and the slots are in use
  size_t m_aheadHelpers = 0;  // of this search
  progressSignal m_searchFrame;  // the frame the search is at, from the helpers' start; closed when it ends

  // At frame t, after trial frames: the helpers score ahead from now on, or the search goes on
  // alone until the next trial.
  void aheadDecide(int t);

  static uint64_t aheadSlot(int frameId, float score) {
    uint32_t bits;
    std::memcpy(&bits, &score, sizeof bits);
    return (static_cast<uint64_t>(static_cast<uint32_t>(frameId)) << 32) | bits;
  }
  static int aheadFrame(uint64_t slot) { return static_cast<int>(static_cast<uint32_t>(slot >> 32)); }
  static float aheadScoreOf(uint64_t slot) {
    const uint32_t bits = static_cast<uint32_t>(slot);
    float score;
    std::memcpy(&score, &bits, sizeof score);
    return score;
  }

  // The scores of the search's states on every frame, kept for the spans scored after it on
  // the same features (the phone ranking that follows a search scores every model over the
  // frames of each phone): per frame a row of m_aheadKey.size() values, 0 where the search
  // asked for none (a score of 0 kept is scored again: the same). m_keptFrames rows are valid;
  // m_keptFeatures is a copy of their frames, so that a span takes a kept score only on a frame
  // equal to the one it was computed on (m_keptRowOk: per row, 0 not compared yet, 1 equal, 2
  // different). The rows are zeroed by the system as they are first written: a fill by the
  // search's own thread touched every page before the scoring threads did.
  static constexpr size_t KEPT_SCORES_MAX = size_t{1} << 22;
  static std::atomic<double> s_takeOverSeconds;
  struct freeDeleter {
    void operator()(float* p) const { std::free(p); }
  };
  std::unique_ptr<float[], freeDeleter> m_kept;
  std::vector<float> m_keptFeatures;
  std::vector<uint8_t> m_keptRowOk;
  int m_keptDim = 0;
  int m_keptFrames = 0;
  bool m_keptOn = false;  // the running search fills m_kept
  // The frames of the running search.
  const float* m_runFeatures = nullptr;
  int m_runDim = 0;
  int m_runFrames = 0;
  void keep(size_t place, int frameId, float score) {
    if (static_cast<unsigned>(frameId) < static_cast<unsigned>(m_keptFrames))
      m_kept[static_cast<size_t>(frameId) * m_aheadKey.size() + place] = score;
  }
  // Compares the kept rows frameId1..frameId2 with the frames of features not compared yet.
  void keptRowsCompare(const float* features, int dim, int frameId1, int frameId2);

  // The steps (as workerPool::pays counts them) of one state's score for one frame.
  double stateWork(int modelIdx, int state) const;
  // stateWork for the laid-out set models, and what scoring every state of its models
  // 0..modelNum-1 on one frame takes.
  static double stateWorkIn(const macroClass& models, const gaussLayout& gauss, int modelIdx, int state);
  static double modelsWork(const macroClass& models, const gaussLayout& gauss, int modelNum);
  // One helper's share (the places helper, helper + helpers, ...) of the scores ahead, until
  // searchDone.
  void aheadScore(size_t helper, size_t helpers, const float* features, int dim, int frameNum,
                  const std::atomic<bool>& searchDone);
  // The emission score of the state: the sum of its streams' scores.
  float stateScoreOf(const float* x, int modelIdx, int state) const;
  // stateProb through the given cache of model modelIdx.
  float stateProbIn(stateProbCache& cache, const float* x, int modelIdx, int state, int frameId) const {
    if (cache.frameId[state] == frameId) return cache.logProb[state];
    const float p = stateScoreOf(x, modelIdx, state);
    cache.frameId[state] = frameId;
    cache.logProb[state] = p;
    return p;
  }
  // modelProb's checks and warning for one span; false when it scores LZERO without work.
  bool spanCheck(int dim, int frameId1, int frameId2, int modelIdx);
  // modelProb's score of a checked span: it touches only the model's own cache.
  float spanScore(const float* features, int dim, int frameId1, int frameId2, int modelIdx);
};

inline float stateScorer::stateProb(const float* x, int modelIdx, int state, int frameId) {
  if (m_aheadOn) {
    const int place = m_aheadPlace[static_cast<size_t>(modelIdx) * MAX_STATE_NUM + static_cast<size_t>(state)];
    if (place >= 0) {
      std::atomic<int>& asked = m_askedAt[static_cast<size_t>(place)];
      if (asked.load(std::memory_order_relaxed) != frameId) asked.store(frameId, std::memory_order_relaxed);
      const size_t at = static_cast<size_t>(frameId % AHEAD_RING) * m_aheadKey.size() + static_cast<size_t>(place);
      const uint64_t slot = m_ahead[at].load(std::memory_order_acquire);
      if (aheadFrame(slot) == frameId) {
        const float score = aheadScoreOf(slot);
        if (m_keptOn) keep(static_cast<size_t>(place), frameId, score);
        return score;
      }
      // Scored here, it is marked done for the helpers too.
      const float score = stateProbIn(m_stateProbCache[static_cast<size_t>(modelIdx)], x, modelIdx, state, frameId);
      m_ahead[at].store(aheadSlot(frameId, score), std::memory_order_relaxed);
      if (m_keptOn) keep(static_cast<size_t>(place), frameId, score);
      return score;
    }
  }
  stateProbCache& cache = m_stateProbCache[static_cast<size_t>(modelIdx)];
  // Only a score not yet in the cache counts for the trial and is kept: the candidates ask
  // for the same state many times a frame.
  const int place = (m_keptOn || m_aheadTrial) && cache.frameId[state] != frameId
                        ? m_aheadPlace[static_cast<size_t>(modelIdx) * MAX_STATE_NUM + static_cast<size_t>(state)]
                        : -1;
  if (m_aheadTrial && place >= 0) m_askedWork += m_aheadWork[static_cast<size_t>(place)];
  const float score = stateProbIn(cache, x, modelIdx, state, frameId);
  if (m_keptOn && place >= 0) keep(static_cast<size_t>(place), frameId, score);
  return score;
}

}  // namespace tulim
