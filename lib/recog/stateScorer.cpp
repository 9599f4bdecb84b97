#include "stateScorer.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include "mixtureSum.h"
#include "platform/platformClock.h"
#include "utility.h"
#include "workerPool.h"

namespace tulim {

// The search and the scorer are one module to their users: messages name it "viterbi".
#define VITERBI_HERE __LINE__, "viterbi"

namespace {

// Frames a helper scores ahead of the search (the ring of slots that holds them is larger, so
// that a slot the search may read is not yet rewritten), and how many frames a state stays
// of interest after the search last asked for it.
constexpr int AHEAD_FRAMES = 12;
constexpr int AHEAD_RECENT = 2;
// The search frame before the helpers are told to score ahead or to end.
constexpr int32_t AHEAD_UNDECIDED = -1;

}  // namespace

stateScorer::stateScorer(const macroClass& models, int modelNum, kernelChoice kernel)
    : m_modelNum(modelNum > 0 ? modelNum : 0),
      m_models(models),
      m_gauss(models.gaussianLayout()),
      m_generation(models.generation()),
      m_kernel(kernel == PLAIN_KERNEL ? stateScorePlain : stateKernelFastest()) {
  static_assert(AHEAD_RING > AHEAD_FRAMES, "a slot the search may read must not be rewritten yet");
  if (m_modelNum > 0) m_stateProbCache.resize(static_cast<size_t>(m_modelNum));
  cacheClear();
}

stateScorer::~stateScorer() = default;

// ---- Checks -----------------------------------------------------------------------------

void stateScorer::streamsCheck(int dim) {
  if (m_models.generation() != m_generation)
    errorThrowf("Error: the model set changed after this scorer took its scoring layout (line %d of file %s)",
                VITERBI_HERE);
  int streamNum = m_models.MMF().streamNum;
  if (streamNum < 1 || streamNum > MAX_STREAM_NUM)
    errorThrowf("Error: streamNum=%d out of [1, %d] (line %d of file %s)", streamNum, MAX_STREAM_NUM, VITERBI_HERE);
  m_streamOffset.assign(static_cast<size_t>(streamNum), 0);
  m_streamWidth.assign(m_models.MMF().streamWidth, m_models.MMF().streamWidth + streamNum);
  int sum = 0;
  for (int s = 0; s < streamNum; s++) {
    int width = m_models.MMF().streamWidth[s];
    if (width < 1 || width > MAX_PARAM_NUM)
      errorThrowf("Error: streamWidth[%d]=%d out of [1, MAX_PARAM_NUM=%d] (line %d of file %s)", s, width,
                  MAX_PARAM_NUM, VITERBI_HERE);
    m_streamOffset[static_cast<size_t>(s)] = sum;
    sum += width;
  }
  if (dim != sum)
    errorThrowf("Error: feature dimension %d differs from the sum %d of the stream widths (line %d of file %s)", dim,
                sum, VITERBI_HERE);
}

void stateScorer::modelCheck(int modelIdx, int node) const {
  int limit = std::min(m_models.MMF().modelNum, m_modelNum);
  if ((modelIdx < 0 || modelIdx >= limit) && node >= 0)
    errorThrowf("Error: model index %d of node %d out of [0, %d) (line %d of file %s)", modelIdx, node, limit,
                VITERBI_HERE);
  if (modelIdx < 0 || modelIdx >= limit)
    errorThrowf("Error: model index %d out of [0, %d) (line %d of file %s)", modelIdx, limit, VITERBI_HERE);
  const hmmModel& model = m_models.MMF().model[static_cast<size_t>(modelIdx)];
  if (model.stateNum < 3 || model.stateNum > MAX_STATE_NUM + 2)
    errorThrowf("Error: model %s has stateNum=%d out of [3, %d] (line %d of file %s)", model.str.c_str(),
                model.stateNum, MAX_STATE_NUM + 2, VITERBI_HERE);
  for (int q = 0; q < model.stateNum - 2; q++)
    for (int s = 0; s < m_models.MMF().streamNum; s++) {
      int mixtureNum = model.state[q].stream[s].mixtureNum;
      if (mixtureNum < 0 || mixtureNum > MAX_MIXTURE_NUM)
        errorThrowf("Error: mixtureNum=%d exceeds MAX_MIXTURE_NUM=%d in model %s (line %d of file %s)", mixtureNum,
                    MAX_MIXTURE_NUM, model.str.c_str(), VITERBI_HERE);
    }
}

// ---- Scores -----------------------------------------------------------------------------

void stateScorer::cacheClear() {
  for (stateProbCache& cache : m_stateProbCache)
    for (int q = 0; q < MAX_STATE_NUM; q++) cache.frameId[q] = -1;
  m_keptOn = false;
  m_keptFrames = 0;
}

void stateScorer::keptRowsCompare(const float* features, int dim, int frameId1, int frameId2) {
  if (m_keptFrames <= 0 || dim != m_keptDim) return;
  const int last = std::min(frameId2, m_keptFrames - 1);
  const size_t rowBytes = static_cast<size_t>(dim) * sizeof(float);
  for (int f = std::max(frameId1, 0); f <= last; f++) {
    uint8_t& ok = m_keptRowOk[static_cast<size_t>(f)];
    if (ok) continue;
    const size_t at = static_cast<size_t>(f) * static_cast<size_t>(dim);
    ok = std::memcmp(features + at, m_keptFeatures.data() + at, rowBytes) == 0 ? 1 : 2;
  }
}

float stateScorer::stateScoreOf(const float* x, int modelIdx, int state) const {
  float sum[MAX_STREAM_NUM];
  m_kernel(x, &m_gauss->block(modelIdx, state, 0), m_streamOffset.data(), m_streamWidth.data(),
           m_models.MMF().streamNum, sum);
  float p = 0.0f;
  for (int s = 0; s < m_models.MMF().streamNum; s++) p += sum[s];
  return p;
}

// ---- Model score over a span ------------------------------------------------------------

float stateScorer::modelProb(const float* features, int dim, int frameId1, int frameId2, int modelIdx) {
  if (!spanCheck(dim, frameId1, frameId2, modelIdx)) return LZERO;
  std::fill(m_keptRowOk.begin(), m_keptRowOk.end(), 0);
  keptRowsCompare(features, dim, frameId1, frameId2);
  return spanScore(features, dim, frameId1, frameId2, modelIdx);
}

bool stateScorer::spanCheck(int dim, int frameId1, int frameId2, int modelIdx) {
  // In 64 bits: the span of two arbitrary ints need not fit in one.
  const int64_t n = static_cast<int64_t>(frameId2) - frameId1 + 1;
  if (n < MAX_STATE_NUM) {
    printf("Warning in viterbiClass::modelProb: modelIdx=%d, frameId1=%d, frameId2=%d, frameNum=%" PRId64
           "<MAX_STATE_NUM=%d\n",
           modelIdx, frameId1, frameId2, n, MAX_STATE_NUM);
    return false;
  }
  if (frameId1 < 0) errorThrowf("Error: frameId1=%d < 0 (line %d of file %s)", frameId1, VITERBI_HERE);
  streamsCheck(dim);
  modelCheck(modelIdx, -1);
  return true;
}

float stateScorer::spanScore(const float* features, int dim, int frameId1, int frameId2, int modelIdx) {
  const int64_t n = static_cast<int64_t>(frameId2) - frameId1 + 1;
  // The cache is keyed by frame index alone, and these indices are relative to the span. It
  // is worked on here and stored once at the end: the caches of neighbouring models share
  // cache lines, which the threads of modelProbs would otherwise pass to and fro every frame.
  stateProbCache cache;
  for (int q = 0; q < MAX_STATE_NUM; q++) cache.frameId[q] = -1;
  // The kept column of each state, -1 for none.
  int kept[MAX_STATE_NUM];
  const bool keptHere = m_keptFrames > 0 && dim == m_keptDim;
  for (int q = 0; q < MAX_STATE_NUM; q++)
    kept[q] = keptHere ? m_aheadPlace[static_cast<size_t>(modelIdx) * MAX_STATE_NUM + static_cast<size_t>(q)] : -1;
  const size_t columns = m_aheadKey.size();
  auto prob = [&](const float* x, int state, int frameId) {
    const int64_t f = static_cast<int64_t>(frameId1) + frameId;
    if (kept[state] >= 0 && f < m_keptFrames && m_keptRowOk[static_cast<size_t>(f)] == 1) {
      const float score = m_kept[static_cast<size_t>(f) * columns + static_cast<size_t>(kept[state])];
      if (score != 0.0f) return score;
    }
    return stateProbIn(cache, x, modelIdx, state, frameId);
  };

  int Q = m_models.MMF().model[static_cast<size_t>(modelIdx)].stateNum - 2;
  float prev[MAX_STATE_NUM], cur[MAX_STATE_NUM];
  for (int q = 0; q < MAX_STATE_NUM; q++) prev[q] = LZERO;
  const float* x = features + static_cast<size_t>(frameId1) * static_cast<size_t>(dim);
  prev[0] = deadFloor(prob(x, 0, 0));
  for (int r = 1; r < n; r++) {
    x = features + static_cast<size_t>(frameId1 + r) * static_cast<size_t>(dim);
    cur[0] = deadFloor(transProb(modelIdx, 0, 0) + prev[0] + prob(x, 0, r));
    for (int q = 1; q < Q; q++) {
      float stay = transProb(modelIdx, q, q) + prev[q];
      float move = transProb(modelIdx, q - 1, q) + prev[q - 1];
      cur[q] = deadFloor(std::max(move, stay) + prob(x, q, r));
    }
    for (int q = 0; q < Q; q++) prev[q] = cur[q];
  }
  m_stateProbCache[static_cast<size_t>(modelIdx)] = cache;
  return prev[Q - 1];
}

void stateScorer::modelProbs(const float* features, int dim, const std::vector<modelSpan>& spans,
                             std::vector<float>& out) {
  out.assign(spans.size(), LZERO);
  // Checks and warnings first, in the order of the spans, as the calls one by one give them;
  // then nothing on the threads can fail or print.
  std::vector<std::vector<size_t>> byModel(static_cast<size_t>(std::max(m_modelNum, 0)));
  for (size_t i = 0; i < spans.size(); ++i) {
    const modelSpan& span = spans[i];
    if (spanCheck(dim, span.frameId1, span.frameId2, span.modelIdx))
      byModel[static_cast<size_t>(span.modelIdx)].push_back(i);
  }
  std::fill(m_keptRowOk.begin(), m_keptRowOk.end(), 0);
  for (const modelSpan& span : spans) keptRowsCompare(features, dim, span.frameId1, span.frameId2);
  std::vector<int> used;
  for (size_t m = 0; m < byModel.size(); ++m)
    if (!byModel[m].empty()) used.push_back(static_cast<int>(m));
  double work = 0.0;
  for (int m : used)
    for (size_t i : byModel[static_cast<size_t>(m)]) {
      const int states = m_models.MMF().model[static_cast<size_t>(m)].stateNum - 2;
      for (int q = 0; q < states; q++)
        work += stateWork(m, q) * (static_cast<double>(spans[i].frameId2) - spans[i].frameId1 + 1);
    }
  // A model's spans stay on one thread, in order, through the model's own cache.
  workerPool::shared().run(
      used.size(),
      [&](size_t k) {
        for (size_t i : byModel[static_cast<size_t>(used[k])])
          out[i] = spanScore(features, dim, spans[i].frameId1, spans[i].frameId2, spans[i].modelIdx);
      },
      work);
}

// ---- Scoring ahead of a search ------------------------------------------------------------

void stateScorer::searchRun(const float* features, int dim, int frameNum, const std::function<void()>& prepare,
                            const std::function<void()>& frames) {
  // The helpers take their parts once prepare has set out the net's states, and sleep until
  // the states the search asks for are found worth sharing, which may be never.
  m_aheadTrial = m_aheadOn = false;
  m_runFeatures = features;
  m_runDim = dim;
  m_runFrames = frameNum;
  prepare();
  // A search that ends within its trial frames, or soon after, has nothing to share.
  const size_t helpers = m_aheadTrial && frameNum > AHEAD_TRIAL_FRAMES + AHEAD_FRAMES
                             ? static_cast<size_t>(std::min(workerPool::shared().threadNum() - 1, SEARCH_AHEAD_THREADS))
                             : 0;
  if (helpers == 0) m_aheadTrial = false;
  m_aheadHelpers = helpers;
  // The phone ranking after a search scores every model over about the utterance's frames.
  // The threads it will want start now, so that they are there when it begins: a thread's
  // start takes about as long as the ranking of a short utterance with real models.
  workerPool::shared().prepare(workerPool::helpersFor(modelsWork(m_models, *m_gauss, m_modelNum) * frameNum));
  workerPool::shared().runBeside(
      helpers,
      [&](size_t helper, const std::atomic<bool>& searchDone) {
        aheadScore(helper, helpers, features, dim, frameNum, searchDone);
      },
      [&] {
        const progressSignal::closeAtExit wakeHelpers{m_searchFrame};
        frames();
      });
  m_aheadTrial = m_aheadOn = false;
  m_keptOn = false;
  m_runFeatures = nullptr;
}

std::atomic<double> stateScorer::s_takeOverSeconds{stateScorer::TAKE_OVER_SECONDS};

void stateScorer::statesScoreBeside(const float* features, int dim, int t0, int t1, const int* keys, size_t keyNum,
                                    float* out, double leadWork,
                                    const std::function<void(const std::function<void(int)>&)>& lead) {
  if (t1 < t0 || keyNum == 0) {
    lead([](int) {});
    return;
  }
  const size_t frames = static_cast<size_t>(t1 - t0 + 1);
  double work = 0.0;
  for (size_t i = 0; i < keyNum; i++) work += stateWork(keys[i] / MAX_STATE_NUM, keys[i] % MAX_STATE_NUM);
  // A task is a few states over a few frames, the tasks of earlier frames first: the rows the
  // search reads next are the ones being scored, and a task's mixtures stay in its core's cache.
  // A short block has short chunks, or its first row would wait for all of them.
  constexpr size_t STATES_A_PART = 4, CHUNKS_AT_LEAST = 8, FRAMES_A_CHUNK_MAX = 16;
  const size_t framesAChunk = std::max<size_t>(1, std::min(FRAMES_A_CHUNK_MAX, frames / CHUNKS_AT_LEAST));
  const size_t parts = (keyNum + STATES_A_PART - 1) / STATES_A_PART;
  const size_t chunks = (frames + framesAChunk - 1) / framesAChunk, tasks = parts * chunks;
  std::unique_ptr<std::atomic<size_t>[]> done(new std::atomic<size_t>[chunks]);
  for (size_t c = 0; c < chunks; c++) done[c].store(0, std::memory_order_relaxed);
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex errorMutex;
  std::exception_ptr error;
  const bool keeping = m_keptOn && features == m_runFeatures && dim == m_runDim;
  if (!out) {
    bool kept = keeping && t1 < m_keptFrames;
    for (size_t i = 0; kept && i < keyNum; i++) kept = keptColumn(keys[i]) >= 0;
    if (!kept)
      errorThrowf("Error: scores of frames %d..%d asked for where the running search keeps none (line %d of file %s)",
                  t0, t1, VITERBI_HERE);
  }
  // Per task: 0 not taken, 1 being scored, 2 its scores being written, 3 written. The system
  // may leave a thread unscheduled for milliseconds: the lead scores again the tasks of the row
  // it waits for that are held too long, and whoever claims a task first, once it has scored
  // it, writes it (the same numbers); the other's scores are dropped.
  std::unique_ptr<std::atomic<uint8_t>[]> stage(new std::atomic<uint8_t>[tasks]);
  for (size_t k = 0; k < tasks; k++) stage[k].store(0, std::memory_order_relaxed);
  auto claim = [&](size_t k) {
    uint8_t held = stage[k].load(std::memory_order_acquire);
    while (held < 2)
      if (stage[k].compare_exchange_weak(held, 2, std::memory_order_acq_rel)) return true;
    return false;
  };
  // Scores task k and writes its scores when it is the first to claim it.
  auto score = [&](size_t k) {
    const size_t chunk = k / parts, part = k % parts;
    const size_t f0 = chunk * framesAChunk, f1 = std::min(frames, f0 + framesAChunk);
    const size_t begin = part * STATES_A_PART, end = std::min(keyNum, begin + STATES_A_PART);
    float scores[STATES_A_PART * FRAMES_A_CHUNK_MAX];
    std::exception_ptr fault;
    try {
      for (size_t i = begin; i < end; i++)
        for (size_t f = f0; f < f1; f++) {
          const float* x = features + (static_cast<size_t>(t0) + f) * static_cast<size_t>(dim);
          scores[(i - begin) * framesAChunk + (f - f0)] = stateScoreOf(x, keys[i] / MAX_STATE_NUM, keys[i] % MAX_STATE_NUM);
        }
    } catch (...) {
      fault = std::current_exception();
    }
    if (!claim(k)) return;
    if (fault) {
      std::lock_guard<std::mutex> lock(errorMutex);
      if (!error) error = fault;
      failed.store(true, std::memory_order_release);
    } else {
      for (size_t i = begin; i < end; i++) {
        const int place = keeping ? m_aheadPlace[static_cast<size_t>(keys[i])] : -1;
        for (size_t f = f0; f < f1; f++) {
          const float value = scores[(i - begin) * framesAChunk + (f - f0)];
          if (out) out[f * keyNum + i] = value;
          if (place >= 0) keep(static_cast<size_t>(place), t0 + static_cast<int>(f), value);
        }
      }
    }
    stage[k].store(3, std::memory_order_release);
    // Counted even when it failed, so that no wait for its row lasts for ever.
    done[chunk].fetch_add(1, std::memory_order_release);
  };
  // Takes the next task and scores it; false when none is left.
  auto take = [&] {
    const size_t k = next.fetch_add(1, std::memory_order_relaxed);
    if (k >= tasks) return false;
    uint8_t untaken = 0;
    if (stage[k].compare_exchange_strong(untaken, 1, std::memory_order_acq_rel)) score(k);
    return true;
  };
  const std::function<void(int)> rowWait = [&](int t) {
    const size_t chunk = static_cast<size_t>(t - t0) / framesAChunk;
    // The tasks left are taken in order, so a row whose tasks are all taken is being finished
    // by the threads: a wait of one task at most, unless a thread is held up.
    if (done[chunk].load(std::memory_order_acquire) < parts) {
      const double since = monotonicSeconds();
      while (done[chunk].load(std::memory_order_acquire) < parts) {
        if (!take()) cpuRelax();
        if (monotonicSeconds() - since < s_takeOverSeconds.load(std::memory_order_relaxed)) continue;
        const size_t taken = std::min(next.load(std::memory_order_relaxed), tasks);
        for (size_t k = chunk * parts; k < std::min(taken, (chunk + 1) * parts); k++)
          if (stage[k].load(std::memory_order_acquire) < 2) score(k);
      }
    }
    if (failed.load(std::memory_order_acquire)) {
      std::lock_guard<std::mutex> lock(errorMutex);
      std::rethrow_exception(error);
    }
  };
  // As many threads as score a row while the lead steps over one, and those started for the
  // ranking after the search, which cost nothing more here than their wake-up.
  workerPool& pool = workerPool::shared();
  const double allWork = work * static_cast<double>(frames);
  const size_t most = static_cast<size_t>(pool.threadNum() - 1);
  const size_t keepUp = leadWork > 0.0 ? static_cast<size_t>(std::min(std::ceil(work / leadWork), static_cast<double>(most))) : most;
  const size_t helpers = workerPool::pays(allWork) ? std::min(most, std::max(keepUp, pool.prepared())) : 0;
  pool.prepare(helpers);
  pool.runBeside(
      helpers,
      [&](size_t, const std::atomic<bool>& leadDone) {
        while (!leadDone.load(std::memory_order_relaxed) && take()) {
        }
      },
      [&] { lead(rowWait); });
}

void stateScorer::aheadInit(const std::vector<int>& netModels, bool helpers) {
  m_aheadTrial = m_aheadOn = false;
  m_keptOn = false;
  m_keptFrames = 0;
  m_aheadPlace.assign(static_cast<size_t>(m_modelNum) * MAX_STATE_NUM, -1);
  m_aheadKey.clear();
  for (const int model : netModels) {
    const int states = m_models.MMF().model[static_cast<size_t>(model)].stateNum - 2;
    for (int q = 0; q < states; q++) {
      const size_t key = static_cast<size_t>(model) * MAX_STATE_NUM + static_cast<size_t>(q);
      if (m_aheadPlace[key] >= 0) continue;
      m_aheadPlace[key] = static_cast<int>(m_aheadKey.size());
      m_aheadKey.push_back(static_cast<int>(key));
    }
  }
  const size_t places = m_aheadKey.size();
  // The scores kept for the spans, when a search runs and they fit.
  const size_t keptValues = places * static_cast<size_t>(std::max(m_runFrames, 0));
  if (m_runFeatures && m_runDim > 0 && places > 0 && keptValues <= KEPT_SCORES_MAX) {
    m_kept.reset(static_cast<float*>(std::calloc(keptValues, sizeof(float))));
    if (!m_kept) throw std::bad_alloc();
    m_keptFeatures.assign(m_runFeatures, m_runFeatures + static_cast<size_t>(m_runFrames) * static_cast<size_t>(m_runDim));
    m_keptRowOk.assign(static_cast<size_t>(m_runFrames), 0);
    m_keptDim = m_runDim;
    m_keptFrames = m_runFrames;
    m_keptOn = true;
  }
  if (!helpers || workerPool::shared().threadNum() < 2) return;
  m_aheadWork.resize(places);
  double frameWork = 0.0;
  for (size_t p = 0; p < places; p++) {
    m_aheadWork[p] = stateWork(m_aheadKey[p] / MAX_STATE_NUM, m_aheadKey[p] % MAX_STATE_NUM);
    frameWork += m_aheadWork[p];
  }
  // Even every state of the net on every frame would be too little.
  if (!workerPool::pays(frameWork)) return;
  if (places > m_aheadCapacity) {
    m_askedAt = std::make_unique<std::atomic<int>[]>(places);
    m_ahead = std::make_unique<std::atomic<uint64_t>[]>(places * AHEAD_RING);
    m_aheadCapacity = places;
  }
  for (size_t p = 0; p < places; p++) m_askedAt[p].store(-1, std::memory_order_relaxed);
  for (size_t p = 0; p < places * AHEAD_RING; p++) m_ahead[p].store(aheadSlot(-1, 0.0f), std::memory_order_relaxed);
  m_searchFrame.reset(AHEAD_UNDECIDED);
  m_askedWork = 0.0;
  m_aheadTrial = places > 0;
}

void stateScorer::aheadDecide(int t) {
  if (!workerPool::pays(m_askedWork / AHEAD_TRIAL_FRAMES)) {
    m_askedWork = 0.0;
    return;
  }
  // From this frame on the search reads the slots; the helpers, started now when they are
  // known to pay (threads there already are woken), fill them.
  m_aheadTrial = false;
  m_aheadOn = true;
  workerPool::shared().prepare(m_aheadHelpers);
  m_searchFrame.post(t);
}

double stateScorer::stateWorkIn(const macroClass& models, const gaussLayout& gauss, int modelIdx, int state) {
  const hmmSet& set = models.MMF();
  double work = 0.0;
  for (int s = 0; s < std::min(std::max(set.streamNum, 0), MAX_STREAM_NUM); s++)
    work += static_cast<double>(gauss.block(modelIdx, state, s).pad) * set.streamWidth[s];
  return work;
}

double stateScorer::modelsWork(const macroClass& models, const gaussLayout& gauss, int modelNum) {
  const hmmSet& set = models.MMF();
  double work = 0.0;
  // Models outside the net were not checked: their states are counted as the layout holds them.
  for (int m = 0; m < std::min({modelNum, set.modelNum, gauss.modelNum()}); m++)
    for (int q = 0; q < std::min(set.model[static_cast<size_t>(m)].stateNum - 2, MAX_STATE_NUM); q++)
      work += stateWorkIn(models, gauss, m, q);
  return work;
}

void stateScorer::threadsPrepare(const macroClass& models, int modelNum, int frameNum) {
  // A set not laid out is refused by the scorer, where its message belongs.
  if (!models.laidOut() || frameNum <= 0) return;
  workerPool::shared().prepare(
      workerPool::helpersFor(modelsWork(models, *models.gaussianLayout(), modelNum) * frameNum));
}

double stateScorer::stateWork(int modelIdx, int state) const {
  return stateWorkIn(m_models, *m_gauss, modelIdx, state);
}

void stateScorer::aheadScore(size_t helper, size_t helpers, const float* features, int dim, int frameNum,
                             const std::atomic<bool>& searchDone) {
  const size_t places = m_aheadKey.size();
  // This helper's places that the search asked for lately, as of frame seen.
  std::vector<size_t> recent;
  int seen = -1;
  // Asleep through the search's trial frames.
  if (!m_searchFrame.waitPast(AHEAD_UNDECIDED)) return;
  while (!searchDone.load(std::memory_order_acquire)) {
    const int t = m_searchFrame.value();
    if (t == progressSignal::CLOSED) return;
    if (t != seen) {
      recent.clear();
      for (size_t p = helper; p < places; p += helpers) {
        const int asked = m_askedAt[p].load(std::memory_order_relaxed);
        if (asked >= 0 && asked >= t - AHEAD_RECENT) recent.push_back(p);
      }
      seen = t;
    }
    const int last = std::min(frameNum - 1, t + AHEAD_FRAMES);
    bool scored = false;
    // The nearest frames first, and again from the nearest once the search moved on: it needs
    // them soonest.
    for (int f = t + 1; f <= last; f++) {
      const float* x = features + static_cast<size_t>(f) * static_cast<size_t>(dim);
      std::atomic<uint64_t>* ring = m_ahead.get() + static_cast<size_t>(f % AHEAD_RING) * places;
      for (size_t p : recent) {
        if (aheadFrame(ring[p].load(std::memory_order_relaxed)) == f) continue;
        const int key = m_aheadKey[p];
        const float score = stateScoreOf(x, key / MAX_STATE_NUM, key % MAX_STATE_NUM);
        ring[p].store(aheadSlot(f, score), std::memory_order_release);
        scored = true;
        if (m_searchFrame.value() != t) break;
      }
      if (m_searchFrame.value() != t) break;
    }
    // Asleep, not spinning, until the search moves on: a waiting helper must cost the host no
    // CPU.
    if (!scored && !m_searchFrame.waitPast(t)) return;
  }
}

}  // namespace tulim
