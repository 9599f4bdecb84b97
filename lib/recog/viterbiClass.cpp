#include "viterbiClass.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "dictClass.h"
#include "utility.h"

namespace tulim {

// Messages of this module name it "viterbi".
#define VITERBI_HERE __LINE__, "viterbi"

namespace {

// Scores that fell to LOG_SMALL or below stay exactly dead, so that float rounding near
// LZERO cannot lift them above it again.
inline float deadFloor(float score) { return score <= LOG_SMALL ? LZERO : score; }

inline bool alive(const arenaCandidate& cand) { return cand.score > LOG_SMALL; }

// Frames a helper scores ahead of the search, the ring of slots that holds them (larger, so
// that a slot the search may read is not yet rewritten), and how many frames a state stays
// of interest after the search last asked for it.
constexpr int AHEAD_FRAMES = 12;
constexpr int AHEAD_RING = 16;
constexpr int AHEAD_RECENT = 2;

// Candidate counts from which the search sorts by radix.
constexpr int RADIX_SORT_MIN = 128;

// A live score's bits as an unsigned value that orders the scores from the highest down; the
// two zeros are one score.
inline uint32_t descendingOrder(float score) {
  if (score == 0.0f) score = 0.0f;
  uint32_t bits;
  std::memcpy(&bits, &score, sizeof bits);
  const uint32_t ascending = (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
  return ~ascending;
}

// Sorts n keys by order, keeping the order of equal ones (least significant byte first); spare
// holds n more. A byte that all keys share is skipped.
template <typename Key>
void radixSort(Key* keys, Key* spare, int n) {
  Key* from = keys;
  Key* to = spare;
  for (int shift = 0; shift < 32; shift += 8) {
    int count[257] = {};
    for (int i = 0; i < n; i++) count[((from[i].order >> shift) & 0xffu) + 1]++;
    if (count[((from[0].order >> shift) & 0xffu) + 1] == n) continue;
    for (int b = 0; b < 256; b++) count[b + 1] += count[b];
    for (int i = 0; i < n; i++) to[count[(from[i].order >> shift) & 0xffu]++] = from[i];
    std::swap(from, to);
  }
  if (from != keys) std::copy(from, from + n, keys);
}

inline uint64_t aheadSlot(int frameId, float score) {
  uint32_t bits;
  std::memcpy(&bits, &score, sizeof bits);
  return (static_cast<uint64_t>(static_cast<uint32_t>(frameId)) << 32) | bits;
}
inline int aheadFrame(uint64_t slot) { return static_cast<int>(static_cast<uint32_t>(slot >> 32)); }
inline float aheadScoreOf(uint64_t slot) {
  const uint32_t bits = static_cast<uint32_t>(slot);
  float score;
  std::memcpy(&score, &bits, sizeof score);
  return score;
}

}  // namespace

viterbiClass::viterbiClass(int arenaLen, int modelNum)
    : m_modelNum(modelNum > 0 ? modelNum : 0),
      m_arenaLen(arenaLen > 0 ? arenaLen : 0),
      m_arena(nullptr),
      m_order(nullptr) {
  if (m_modelNum > 0) m_stateProbCache.resize(static_cast<size_t>(m_modelNum));
  if (m_arenaLen > 0) {
    size_t len = static_cast<size_t>(m_arenaLen);
    // Records are small: their history lists stay empty until a search returns.
    m_arena = new (std::nothrow) arenaCandidate[len]();
    m_order = static_cast<arenaCandidate**>(malloc(len * sizeof(arenaCandidate*)));
    if (!m_arena || !m_order) {
      delete[] m_arena;
      free(m_order);
      errorThrowf("Error: cannot allocate an arena of %d candidates (line %d of file %s)", m_arenaLen, VITERBI_HERE);
    }
    for (int i = 0; i < m_arenaLen; i++) m_order[i] = &m_arena[i];
    m_held.assign(len, 0);
    m_sylHead.assign(len, -1);
    m_phoneHead.assign(len, -1);
    m_sortKey.resize(len);
    m_sortSpare.resize(len);
    m_sortTmp.resize(len);
  }
}

viterbiClass::~viterbiClass() {
  delete[] m_arena;
  free(m_order);
}

// ---- Node finders -----------------------------------------------------------------------

int viterbiClass::startNodeFind(const std::vector<netNode>& nodes) const {
  std::vector<int> entering(nodes.size(), 0);
  for (const netNode& node : nodes)
    for (int e : node.fanOutDirect)
      if (e >= 0 && static_cast<size_t>(e) < nodes.size()) entering[static_cast<size_t>(e)]++;
  int found = -1, count = 0;
  for (size_t i = 0; i < nodes.size(); i++)
    if (entering[i] == 0) {
      if (count == 0) found = static_cast<int>(i);
      count++;
    }
  if (count != 1) errorThrowf("Error: more than one starting nodes! (line %d of file %s)", VITERBI_HERE);
  return found;
}

int viterbiClass::endNodeFind(const std::vector<netNode>& nodes) const {
  int found = -1, count = 0;
  for (size_t i = 0; i < nodes.size(); i++)
    if (nodes[i].fanOutDirect.empty()) {
      if (count == 0) found = static_cast<int>(i);
      count++;
    }
  if (count != 1) errorThrowf("Error: more than one ending nodes! (line %d of file %s)", VITERBI_HERE);
  return found;
}

// ---- Scores -----------------------------------------------------------------------------

namespace {

double logAddChain(const float* score, int n) {
  double sum = LZERO;
  for (int m = 0; m < n; m++) sum = logAdd(sum, score[m]);
  return sum;
}

// The kernels work on whole rows of GAUSS_ROW_ALIGN lanes in vectors of the compiler's
// vector extension: every lane takes exactly the operations of the plain scalar code, so the
// vector width (and the instruction set) changes no result.
constexpr int LANES = GAUSS_ROW_ALIGN;
typedef float floatRow __attribute__((vector_size(LANES * sizeof(float))));
typedef uint32_t bitsRow __attribute__((vector_size(LANES * sizeof(uint32_t))));
typedef float floatHalf __attribute__((vector_size(LANES / 2 * sizeof(float))));
typedef double doubleHalf __attribute__((vector_size(LANES / 2 * sizeof(double))));
typedef uint64_t bitsHalf __attribute__((vector_size(LANES / 2 * sizeof(uint64_t))));

// Whether every value within bound of r rounds to one float, which goes to f: the bound
// must stay inside the half spacings to its neighbours (half as wide towards zero at a
// power of 2). Never for a NaN, an infinity or a subnormal.
[[gnu::always_inline]] inline bool certainFloat(double r, double bound, float& f) {
  f = static_cast<float>(r);
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  const int exponent = static_cast<int>((bits >> 23) & 0xFF);
  if (exponent == 0 || exponent == 0xFF) return false;
  const uint64_t spacingBits = static_cast<uint64_t>(exponent - 150 + 1023) << 52;
  double away;
  std::memcpy(&away, &spacingBits, sizeof away);
  const double toward = (bits & 0x7FFFFF) ? away : away / 2.0;
  const double above = (f > 0.0f ? away : toward) / 2.0, below = (f > 0.0f ? toward : away) / 2.0;
  const double fd = f;
  return r - bound > fd - below && r + bound < fd + above;
}

// How far the chain of logAdd calls can lie from the exact log of the sum of all n scores
// e^(t + d): it drops a score more than -LOG_ADD_CUTOFF below its running sum, which never
// exceeds the sum, so that any score below cut (the returned line, with a margin far wider
// than the rounding of r and of the differences d) may be missing (unsure holds their
// total); and each logAdd rounds a few times about its running sum.
[[gnu::always_inline]] inline double chainCut(double t, double r) { return (r - t) + LOG_ADD_CUTOFF + 1e-3; }
[[gnu::always_inline]] inline double chainSlack(int n, double t, double r, double unsure) {
  return 1.01 * unsure + 0x1p-52 * (2.0 * n * (std::fabs(t) + 40.0) + 4.0 * std::fabs(r) + 8.0);
}

// The first pass of the mixture sum, in single precision: differences from the top t and
// their exps in floats, the total and its log in doubles. Every lane's error is bounded by
// the kernel's and its difference's rounding, except at the top itself (exactly 1). Lanes
// that the chain may have dropped are found before the sum is known, against the line for
// the largest sum n scores can have (the top plus log n): they count whole.
[[gnu::always_inline]] inline bool mixtureSumSingle(const float* score, int n, int rows, float top, float& f) {
  static_assert(MAX_MIXTURE_NUM <= 32, "the line below holds for up to 32 mixtures");
  const float cut = static_cast<float>(chainCut(0.0, 3.4658));  // log 32 = 3.46574
  const floatRow low = floatRow{} - 87.0f;
  const floatRow zero = {};
  doubleHalf totals = {};
  floatRow errors = {};
  for (int b = 0; b < rows; b++) {
    floatRow v, e;
    std::memcpy(&v, score + b * LANES, sizeof v);
    const floatRow d = v - top;
    // Differences below -87 count as -87 (e^-87 is below every bound); a NaN stays NaN.
    const floatRow arg = d < low ? low : d;
    expKernelFloatOf<floatRow, bitsRow>(arg, e);
    const floatRow laneError = e * (static_cast<float>(EXPF_KERNEL_ERROR) - arg * 0x1p-24f);
    errors += d == zero ? zero : d < cut ? e : laneError;
    floatHalf part[2];
    std::memcpy(part, &e, sizeof part);
    totals += __builtin_convertvector(part[0], doubleHalf) + __builtin_convertvector(part[1], doubleHalf);
  }
  double total = 0.0, error = 0.0;
  for (int j = 0; j < LANES / 2; j++) total += totals[j];
  for (int j = 0; j < LANES; j++) error += errors[j];
  const double t = top;
  const double r = t + std::log(total);
  const double bound = chainSlack(n, t, r, 0.0) + 1.01 * error / total + n * 1e-37;
  return certainFloat(r, bound, f);
}

// The second pass, in double precision throughout.
[[gnu::always_inline]] inline bool mixtureSumDouble(const float* score, int n, int rows, float top, float& f) {
  // Differences below -700 count as -700 (their e^-700 changes no total of at least 1); a
  // NaN stays NaN through the kernel and the total, and no bound then holds.
  const double t = top;
  const doubleHalf low = doubleHalf{} - 700.0;
  doubleHalf d[2 * MAX_MIXTURE_NUM / LANES], e[2 * MAX_MIXTURE_NUM / LANES];
  doubleHalf totals = {};
  for (int h = 0; h < 2 * rows; h++) {
    floatHalf v;
    std::memcpy(&v, score + h * (LANES / 2), sizeof v);
    d[h] = __builtin_convertvector(v, doubleHalf) - t;
    const doubleHalf arg = d[h] < low ? low : d[h];
    expKernelOf<doubleHalf, bitsHalf>(arg, e[h]);
    totals += e[h];
  }
  double total = 0.0;
  for (int j = 0; j < LANES / 2; j++) total += totals[j];
  const double r = t + std::log(total);
  const double cut = chainCut(t, r);
  const doubleHalf zero = {};
  doubleHalf unsures = {};
  for (int h = 0; h < 2 * rows; h++) unsures += d[h] < cut ? e[h] : zero;
  double unsure = 0.0;
  for (int j = 0; j < LANES / 2; j++) unsure += unsures[j];
  return certainFloat(r, chainSlack(n, t, r, unsure) + 2.0 * EXP_KERNEL_ERROR, f);
}

// score holds pad values (a multiple of LANES): the n mixtures' scores, then -infinity. The
// sum about the largest score takes one log; each pass returns only a float that the chain
// of logAdd calls gives too, and the chain itself decides what neither can.
[[gnu::always_inline]] inline float mixtureSum(const float* score, int n, int pad) {
  if (n <= 0) return LZERO;
  const int rows = pad / LANES;
  floatRow tops;
  std::memcpy(&tops, score, sizeof tops);
  for (int b = 1; b < rows; b++) {
    floatRow v;
    std::memcpy(&v, score + b * LANES, sizeof v);
    tops = v > tops ? v : tops;
  }
  float top = tops[0];
  for (int j = 1; j < LANES; j++) top = tops[j] > top ? tops[j] : top;
  // Far from the usual range (or NaN) the chain's dead-score rule may take part.
  if (!(top > -1e9f && top < 1e9f)) return static_cast<float>(logAddChain(score, n));
  float f;
  if (mixtureSumSingle(score, n, rows, top, f)) return f;
  if (mixtureSumDouble(score, n, rows, top, f)) return f;
  return static_cast<float>(logAddChain(score, n));
}

// Log density plus log weight of every mixture of the block, into out (pad values; the
// padding lanes score -infinity from their log weights). Each mixture's sum runs over the
// dimensions in order, in single precision: every value is the one the plain per-mixture
// loop -(sum of (x - mean)^2 * invVar + gconst) / 2 + log weight gives. The rows of a block
// are summed side by side, one pass over the dimensions for all of them.
template <int ROWS>
[[gnu::always_inline]] inline void mixtureRows(const float* x, const gaussBlock& block, int width, float* out) {
  constexpr size_t pad = ROWS * LANES;
  const float* logWeight = block.data;
  const float* gconst = logWeight + pad;
  const float* mean = gconst + pad;
  const float* invVar = mean + static_cast<size_t>(width) * pad;
  floatRow acc[ROWS] = {};
  for (int k = 0; k < width; k++) {
    const float xk = x[k];
    for (int b = 0; b < ROWS; b++) {
      floatRow mk, vk;
      std::memcpy(&mk, mean + static_cast<size_t>(k) * pad + b * LANES, sizeof mk);
      std::memcpy(&vk, invVar + static_cast<size_t>(k) * pad + b * LANES, sizeof vk);
      const floatRow diff = xk - mk;
      acc[b] += diff * diff * vk;
    }
  }
  for (int b = 0; b < ROWS; b++) {
    floatRow g, w;
    std::memcpy(&g, gconst + b * LANES, sizeof g);
    std::memcpy(&w, logWeight + b * LANES, sizeof w);
    const floatRow o = -(acc[b] + g) / 2.0f + w;
    std::memcpy(out + b * LANES, &o, sizeof o);
  }
}

[[gnu::always_inline]] inline void mixtureScores(const float* x, const gaussBlock& block, int width, float* out) {
  static_assert(MAX_MIXTURE_NUM == 4 * LANES, "a block has at most four rows");
  switch (block.pad / LANES) {
    case 1:
      mixtureRows<1>(x, block, width, out);
      break;
    case 2:
      mixtureRows<2>(x, block, width, out);
      break;
    case 3:
      mixtureRows<3>(x, block, width, out);
      break;
    case 4:
      mixtureRows<4>(x, block, width, out);
      break;
    default:
      break;
  }
}

// The scores of the streams of one state: block[s] of the values of x from offset[s] on,
// width[s] of them, into sum[s].
using stateKernel = void (*)(const float* x, const gaussBlock* block, const int* offset, const int* width,
                             int streamNum, float* sum);

[[gnu::always_inline]] inline void stateScoreBody(const float* x, const gaussBlock* block, const int* offset,
                                                  const int* width, int streamNum, float* sum) {
  for (int s = 0; s < streamNum; s++) {
    float score[MAX_MIXTURE_NUM];
    mixtureScores(x + offset[s], block[s], width[s], score);
    sum[s] = mixtureSum(score, block[s].mixtureNum, block[s].pad);
  }
}

void stateScore(const float* x, const gaussBlock* block, const int* offset, const int* width, int streamNum,
                float* sum) {
  stateScoreBody(x, block, offset, width, streamNum, sum);
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same code in wider vectors, for processors that have them. No fused multiply-add is
// enabled, so every operation and its rounding stay those of stateScore.
__attribute__((target("avx2"))) void stateScoreWide(const float* x, const gaussBlock* block, const int* offset,
                                                    const int* width, int streamNum, float* sum) {
  stateScoreBody(x, block, offset, width, streamNum, sum);
}

stateKernel kernelPick() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? stateScoreWide : stateScore;
}
#else
stateKernel kernelPick() { return stateScore; }
#endif

const stateKernel stateScoreKernel = kernelPick();

}  // namespace

float mixtureLogSum(const float* score, int n) {
  if (n > MAX_MIXTURE_NUM) return static_cast<float>(logAddChain(score, n));
  float padded[MAX_MIXTURE_NUM];
  std::fill(padded, padded + MAX_MIXTURE_NUM, -HUGE_VALF);
  std::copy(score, score + std::max(n, 0), padded);
  return mixtureSum(padded, n, (std::max(n, 0) + LANES - 1) / LANES * LANES);
}

float viterbiClass::transProb(int modelIdx, int from, int to) const {
  return m_models->MMF.model[static_cast<size_t>(modelIdx)].transProb[from + 1][to + 1];
}

void viterbiClass::streamLogProb(const float* x, int modelIdx, int state, float* sum) const {
  // A state's stream blocks lie side by side in the layout.
  stateScoreKernel(x, &m_gauss->block(modelIdx, state, 0), m_streamOffset.data(), m_streamWidth.data(),
                   m_models->MMF.streamNum, sum);
}

float viterbiClass::stateScoreOf(const float* x, int modelIdx, int state) const {
  float sum[MAX_STREAM_NUM];
  streamLogProb(x, modelIdx, state, sum);
  float p = 0.0f;
  for (int s = 0; s < m_models->MMF.streamNum; s++) p += sum[s];
  return p;
}

float viterbiClass::stateProb(const float* x, int modelIdx, int state, int frameId) {
  if (m_aheadOn) {
    const int place = m_aheadPlace[static_cast<size_t>(modelIdx) * MAX_STATE_NUM + static_cast<size_t>(state)];
    if (place >= 0) {
      std::atomic<int>& asked = m_askedAt[static_cast<size_t>(place)];
      if (asked.load(std::memory_order_relaxed) != frameId) asked.store(frameId, std::memory_order_relaxed);
      const size_t at = static_cast<size_t>(frameId % AHEAD_RING) * m_aheadKey.size() + static_cast<size_t>(place);
      const uint64_t slot = m_ahead[at].load(std::memory_order_acquire);
      if (aheadFrame(slot) == frameId) return aheadScoreOf(slot);
      // Scored here, it is marked done for the helpers too.
      const float score = stateProbIn(m_stateProbCache[static_cast<size_t>(modelIdx)], x, modelIdx, state, frameId);
      m_ahead[at].store(aheadSlot(frameId, score), std::memory_order_relaxed);
      return score;
    }
  }
  return stateProbIn(m_stateProbCache[static_cast<size_t>(modelIdx)], x, modelIdx, state, frameId);
}

float viterbiClass::stateProbIn(stateProbCache& cache, const float* x, int modelIdx, int state, int frameId) const {
  if (cache.frameId[state] == frameId) return cache.logProb[state];
  const float p = stateScoreOf(x, modelIdx, state);
  cache.frameId[state] = frameId;
  cache.logProb[state] = p;
  return p;
}

void viterbiClass::aheadInit() {
  m_aheadOn = false;
  if (workerPool::shared().threadNum() < 2) return;
  m_aheadPlace.assign(static_cast<size_t>(m_modelNum) * MAX_STATE_NUM, -1);
  m_aheadKey.clear();
  for (const nodeModels& nm : m_nodeModels)
    for (int k = 0; k < nm.modelNum; k++) {
      const int model = nm.modelIndex[k];
      const int states = m_models->MMF.model[static_cast<size_t>(model)].stateNum - 2;
      for (int q = 0; q < states; q++) {
        const size_t key = static_cast<size_t>(model) * MAX_STATE_NUM + static_cast<size_t>(q);
        if (m_aheadPlace[key] >= 0) continue;
        m_aheadPlace[key] = static_cast<int>(m_aheadKey.size());
        m_aheadKey.push_back(static_cast<int>(key));
      }
    }
  const size_t places = m_aheadKey.size();
  double frameWork = 0.0;
  for (int key : m_aheadKey) frameWork += stateWork(key / MAX_STATE_NUM, key % MAX_STATE_NUM);
  if (!workerPool::pays(frameWork)) return;
  if (places > m_aheadCapacity) {
    m_askedAt = std::make_unique<std::atomic<int>[]>(places);
    m_ahead = std::make_unique<std::atomic<uint64_t>[]>(places * AHEAD_RING);
    m_aheadCapacity = places;
  }
  for (size_t p = 0; p < places; p++) m_askedAt[p].store(-1, std::memory_order_relaxed);
  for (size_t p = 0; p < places * AHEAD_RING; p++) m_ahead[p].store(aheadSlot(-1, 0.0f), std::memory_order_relaxed);
  m_searchFrame.reset(0);
  m_aheadOn = places > 0;
}

double viterbiClass::stateWork(int modelIdx, int state) const {
  double work = 0.0;
  for (int s = 0; s < m_models->MMF.streamNum; s++)
    work += static_cast<double>(m_gauss->block(modelIdx, state, s).pad) * m_streamWidth[static_cast<size_t>(s)];
  return work;
}

void viterbiClass::aheadScore(size_t helper, size_t helpers, const float* features, int dim, int frameNum,
                              const std::atomic<bool>& searchDone) {
  const size_t places = m_aheadKey.size();
  // This helper's places that the search asked for lately, as of frame seen.
  std::vector<size_t> recent;
  int seen = -1;
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

// ---- Checks -----------------------------------------------------------------------------

void viterbiClass::streamsCheck(const macroClass& models, int dim) {
  int streamNum = models.MMF.streamNum;
  if (streamNum < 1 || streamNum > MAX_STREAM_NUM)
    errorThrowf("Error: streamNum=%d out of [1, %d] (line %d of file %s)", streamNum, MAX_STREAM_NUM, VITERBI_HERE);
  m_streamOffset.assign(static_cast<size_t>(streamNum), 0);
  m_streamWidth.assign(models.MMF.streamWidth, models.MMF.streamWidth + streamNum);
  int sum = 0;
  for (int s = 0; s < streamNum; s++) {
    int width = models.MMF.streamWidth[s];
    if (width < 1 || width > MAX_PARAM_NUM)
      errorThrowf("Error: streamWidth[%d]=%d out of [1, MAX_PARAM_NUM=%d] (line %d of file %s)", s, width,
                  MAX_PARAM_NUM, VITERBI_HERE);
    m_streamOffset[static_cast<size_t>(s)] = sum;
    sum += width;
  }
  if (dim != sum)
    errorThrowf("Error: feature dimension %d differs from the sum %d of the stream widths (line %d of file %s)", dim,
                sum, VITERBI_HERE);
  m_models = &models;
}

void viterbiClass::modelCheck(const macroClass& models, int modelIdx, int node) const {
  int limit = std::min(models.MMF.modelNum, m_modelNum);
  if ((modelIdx < 0 || modelIdx >= limit) && node >= 0)
    errorThrowf("Error: model index %d of node %d out of [0, %d) (line %d of file %s)", modelIdx, node, limit,
                VITERBI_HERE);
  if (modelIdx < 0 || modelIdx >= limit)
    errorThrowf("Error: model index %d out of [0, %d) (line %d of file %s)", modelIdx, limit, VITERBI_HERE);
  const hmmModel& model = models.MMF.model[static_cast<size_t>(modelIdx)];
  if (model.stateNum < 3 || model.stateNum > MAX_STATE_NUM + 2)
    errorThrowf("Error: model %s has stateNum=%d out of [3, %d] (line %d of file %s)", model.str.c_str(),
                model.stateNum, MAX_STATE_NUM + 2, VITERBI_HERE);
  for (int q = 0; q < model.stateNum - 2; q++)
    for (int s = 0; s < models.MMF.streamNum; s++) {
      int mixtureNum = model.state[q].stream[s].mixtureNum;
      if (mixtureNum < 0 || mixtureNum > MAX_MIXTURE_NUM)
        errorThrowf("Error: mixtureNum=%d exceeds MAX_MIXTURE_NUM=%d in model %s (line %d of file %s)", mixtureNum,
                    MAX_MIXTURE_NUM, model.str.c_str(), VITERBI_HERE);
    }
}

// ---- History ----------------------------------------------------------------------------

void viterbiClass::sylAdd(arenaCandidate& cand, int dicIndex, int node, int endFrame) {
  if (cand.sylNum >= MAX_SYL_NUM) errorThrowf("MAX_SYL_NUM exceeded! (line %d of file %s)", VITERBI_HERE);
  const size_t k = static_cast<size_t>(cand.sylNum++);
  const size_t n = k + 1;
  cand.sylId.resize(n);
  cand.sylNode.resize(n);
  cand.sylEndFrame.resize(n);
  cand.sylEndScore.resize(n);
  cand.sylId[k] = dicIndex;
  cand.sylNode[k] = node;
  cand.sylEndFrame[k] = endFrame;
  cand.sylEndScore[k] = cand.score;
}

void viterbiClass::phoneAdd(arenaCandidate& cand, int modelPos, int endFrame) {
  if (cand.phoneNum >= MAX_PHONE_NUM)
    errorThrowf("MAX_PHONE_NUM (%d) exceeded! (line %d of file %s)", MAX_PHONE_NUM, VITERBI_HERE);
  const size_t k = static_cast<size_t>(cand.phoneNum++);
  const size_t n = k + 1;
  cand.phonePos.resize(n);
  cand.phoneEndFrame.resize(n);
  cand.phoneEndScore.resize(n);
  cand.phonePos[k] = modelPos;
  cand.phoneEndFrame[k] = endFrame;
  cand.phoneEndScore[k] = cand.score;
}

void viterbiClass::sylClose(arenaCandidate& cand, int dicIndex, int node, int endFrame) {
  if (cand.sylNum >= MAX_SYL_NUM) errorThrowf("MAX_SYL_NUM exceeded! (line %d of file %s)", VITERBI_HERE);
  int& head = m_sylHead[recordOf(cand)];
  m_sylPool.push_back(sylEntry{head, dicIndex, node, endFrame, cand.score});
  head = static_cast<int>(m_sylPool.size() - 1);
  cand.sylNum++;
}

void viterbiClass::phoneClose(arenaCandidate& cand, int modelPos, int endFrame) {
  if (cand.phoneNum >= MAX_PHONE_NUM)
    errorThrowf("MAX_PHONE_NUM (%d) exceeded! (line %d of file %s)", MAX_PHONE_NUM, VITERBI_HERE);
  int& head = m_phoneHead[recordOf(cand)];
  m_phonePool.push_back(phoneEntry{head, modelPos, endFrame, cand.score});
  head = static_cast<int>(m_phonePool.size() - 1);
  cand.phoneNum++;
}

arenaCandidate* viterbiClass::candidateCopy(const arenaCandidate& src, int lastPos) {
  if (lastPos >= m_arenaLen) return nullptr;
  arenaCandidate* dst = m_order[lastPos];
  dst->stateIdx = src.stateIdx;
  dst->modelPos = src.modelPos;
  dst->node = src.node;
  dst->score = src.score;
  dst->sylNum = src.sylNum;
  dst->phoneNum = src.phoneNum;
  const size_t from = recordOf(src), to = recordOf(*dst);
  m_sylHead[to] = m_sylHead[from];
  m_phoneHead[to] = m_phoneHead[from];
  m_held[to] = 1;
  return dst;
}

namespace {

constexpr size_t POOL_MIN = 4096;  // pool entries below which no compaction is worth it

// Keeps the marked entries of a pool in order (an entry's earlier one always comes before
// it) and returns each old index's new one; heads are then mapped through it.
template <typename Entry>
std::vector<int> poolKeep(std::vector<Entry>& pool, const std::vector<uint8_t>& mark) {
  std::vector<int> to(pool.size(), -1);
  size_t n = 0;
  for (size_t i = 0; i < pool.size(); i++) {
    if (!mark[i]) continue;
    Entry e = pool[i];
    if (e.prev >= 0) e.prev = to[static_cast<size_t>(e.prev)];
    pool[n] = e;
    to[i] = static_cast<int>(n++);
  }
  pool.resize(n);
  return to;
}

template <typename Entry>
void poolMark(const std::vector<Entry>& pool, int head, std::vector<uint8_t>& mark) {
  for (int i = head; i >= 0 && !mark[static_cast<size_t>(i)]; i = pool[static_cast<size_t>(i)].prev)
    mark[static_cast<size_t>(i)] = 1;
}

}  // namespace

void viterbiClass::poolCompact() {
  // Every record that holds a candidate keeps its history: the candidates beyond the count
  // are overwritten in time, but until then they can be read like the others.
  std::vector<uint8_t> sylMark(m_sylPool.size(), 0), phoneMark(m_phonePool.size(), 0);
  for (size_t rec = 0; rec < m_held.size(); rec++) {
    if (!m_held[rec]) continue;
    poolMark(m_sylPool, m_sylHead[rec], sylMark);
    poolMark(m_phonePool, m_phoneHead[rec], phoneMark);
  }
  const std::vector<int> sylTo = poolKeep(m_sylPool, sylMark);
  const std::vector<int> phoneTo = poolKeep(m_phonePool, phoneMark);
  for (size_t rec = 0; rec < m_held.size(); rec++) {
    if (!m_held[rec]) continue;
    int& syl = m_sylHead[rec];
    int& phone = m_phoneHead[rec];
    if (syl >= 0) syl = sylTo[static_cast<size_t>(syl)];
    if (phone >= 0) phone = phoneTo[static_cast<size_t>(phone)];
  }
  m_poolLimit = std::max<size_t>(POOL_MIN, 2 * (m_sylPool.size() + m_phonePool.size()));
}

void viterbiClass::historiesFill() {
  for (size_t rec = 0; rec < m_held.size(); rec++) {
    arenaCandidate& cand = m_arena[rec];
    const size_t syls = static_cast<size_t>(cand.sylNum), phones = static_cast<size_t>(cand.phoneNum);
    cand.sylId.resize(syls);
    cand.sylNode.resize(syls);
    cand.sylEndFrame.resize(syls);
    cand.sylEndScore.resize(syls);
    cand.phonePos.resize(phones);
    cand.phoneEndFrame.resize(phones);
    cand.phoneEndScore.resize(phones);
    if (!m_held[rec]) continue;
    int e = m_sylHead[rec];
    for (size_t k = syls; k-- > 0; e = m_sylPool[static_cast<size_t>(e)].prev) {
      const sylEntry& entry = m_sylPool[static_cast<size_t>(e)];
      cand.sylId[k] = entry.sylId;
      cand.sylNode[k] = entry.node;
      cand.sylEndFrame[k] = entry.endFrame;
      cand.sylEndScore[k] = entry.endScore;
    }
    e = m_phoneHead[rec];
    for (size_t k = phones; k-- > 0; e = m_phonePool[static_cast<size_t>(e)].prev) {
      const phoneEntry& entry = m_phonePool[static_cast<size_t>(e)];
      cand.phonePos[k] = entry.pos;
      cand.phoneEndFrame[k] = entry.endFrame;
      cand.phoneEndScore[k] = entry.endScore;
    }
  }
}

// ---- Search -----------------------------------------------------------------------------

int viterbiClass::branchKind(const arenaCandidate& cand) const {
  const nodeModels& nm = m_nodeModels[static_cast<size_t>(cand.node)];
  int model = nm.modelIndex[cand.modelPos];
  if (cand.stateIdx + 3 < m_models->MMF.model[static_cast<size_t>(model)].stateNum) return 2;
  if (cand.modelPos + 1 < nm.modelNum) return 1;
  return 0;
}

int viterbiClass::searchInit(std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim,
                             int frameNum, int candidateNum, const macroClass& models, int& endNode) {
  streamsCheck(models, dim);
  if (frameNum < 1) errorThrowf("Error: frameNum=%d < 1 (line %d of file %s)", frameNum, VITERBI_HERE);
  int startNode = startNodeFind(nodes);
  endNode = endNodeFind(nodes);
  const netNode& start = nodes[static_cast<size_t>(startNode)];
  int firstNum = start.dicIndex < 0 ? static_cast<int>(start.fanOutIndirect.size()) : 1;
  if (candidateNum > m_arenaLen)
    errorThrowf("Error: m_arenaLen=%d, candidateNum=%d (line %d of file %s)", m_arenaLen, candidateNum, VITERBI_HERE);
  if (firstNum > candidateNum)
    errorThrowf("Error: nodeNumForFirstFrame=%d, candidateNum=%d (line %d of file %s)", firstNum, candidateNum,
                VITERBI_HERE);

  // Every real node's syllable must name models the set and the cache hold; the frame loop
  // then trusts them.
  m_nodeModels.assign(nodes.size(), nodeModels{nullptr, 0});
  int nodeNum = static_cast<int>(nodes.size());
  for (int n = 0; n < nodeNum; n++) {
    const netNode& node = nodes[static_cast<size_t>(n)];
    for (int e : node.fanOutIndirect) {
      if (e < 0 || e >= nodeNum)
        errorThrowf("Error: node %d links to node %d outside the net (line %d of file %s)", n, e, VITERBI_HERE);
      // A successor's first model is scored on entry; only the end node is entered without
      // one, and never as one of a null start node's first-frame candidates.
      if (nodes[static_cast<size_t>(e)].dicIndex < 0 && (e != endNode || (n == startNode && start.dicIndex < 0)))
        errorThrowf("Error: node %d lists the null node %d among its indirect successors (line %d of file %s)", n, e,
                    VITERBI_HERE);
    }
    if (node.dicIndex < 0) continue;
    if (static_cast<size_t>(node.dicIndex) >= dict.m_pronDict.size())
      errorThrowf("Error: sylIndex (%d) of node %d out of the range of [0, %d]! (line %d of file %s)", node.dicIndex, n,
                  static_cast<int>(dict.m_pronDict.size()), VITERBI_HERE);
    const std::vector<int>& idx = dict.m_pronDict[static_cast<size_t>(node.dicIndex)].modelIndex;
    if (idx.empty())
      errorThrowf("Error: syllable \"%s\" of node %d has no model (line %d of file %s)",
                  dict.m_pronDict[static_cast<size_t>(node.dicIndex)].syl.c_str(), n, VITERBI_HERE);
    for (int model : idx) modelCheck(models, model, n);
    m_nodeModels[static_cast<size_t>(n)] = nodeModels{idx.data(), static_cast<int>(idx.size())};
  }

  for (stateProbCache& cache : m_stateProbCache)
    for (int q = 0; q < MAX_STATE_NUM; q++) cache.frameId[q] = -1;
  m_gauss = models.gaussianLayout();
  aheadInit();

  // Each node gets the recombination slots its syllable can fill (the limit is checked
  // when a candidate takes one).
  for (int n = 0; n < nodeNum; n++) {
    size_t need = static_cast<size_t>(std::min(m_nodeModels[static_cast<size_t>(n)].modelNum * MAX_STATE_NUM,
                                               MAX_STATE_NUM_IN_SYL));
    std::vector<int>& slots = nodes[static_cast<size_t>(n)].stateSlot;
    if (slots.size() < need) slots.resize(need, -1);
  }

  // Only the first candidateNum positions are read before being written.
  std::fill(m_held.begin(), m_held.end(), 0);
  m_sylPool.clear();
  m_phonePool.clear();
  m_poolLimit = POOL_MIN;
  for (int i = 0; i < m_arenaLen; i++) m_order[i] = &m_arena[i];
  for (int i = 0; i < candidateNum; i++) {
    arenaCandidate& rec = m_arena[i];
    rec.stateIdx = 0;
    rec.modelPos = 0;
    rec.node = 0;
    rec.sylNum = 0;
    rec.phoneNum = 0;
    rec.score = LZERO;
    m_sylHead[static_cast<size_t>(i)] = -1;
    m_phoneHead[static_cast<size_t>(i)] = -1;
  }
  for (int j = 0; j < firstNum; j++) {
    arenaCandidate& cand = m_arena[j];
    cand.node = start.dicIndex < 0 ? start.fanOutIndirect[static_cast<size_t>(j)] : startNode;
    int model = m_nodeModels[static_cast<size_t>(cand.node)].modelIndex[0];
    cand.score = deadFloor(stateProb(features, model, 0, 0));
    m_held[static_cast<size_t>(j)] = 1;
  }
  return firstNum;
}

int viterbiClass::search(std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim,
                         int frameNum, int candidateNum, const macroClass& models, float beam, int descCandidateNum) {
  int endNode = -1;
  // Between frames positions live..N-1 are all dead, so each frame's steps skip them.
  int live = 0;
  int N = candidateNum;
  // The scores are the same whoever computes them; the helpers only save the search the time.
  // They are woken once searchInit has set out the net's states and found that a frame's
  // scores are worth sharing; the first frames the search scores itself while they wake.
  live = searchInit(nodes, dict, features, dim, frameNum, candidateNum, models, endNode);
  const size_t helpers = m_aheadOn && frameNum > 2 ? static_cast<size_t>(std::min(
                                                         workerPool::shared().threadNum() - 1, SEARCH_AHEAD_THREADS))
                                                   : 0;
  workerPool::shared().runBeside(
      helpers,
      [&](size_t helper, const std::atomic<bool>& searchDone) {
        aheadScore(helper, helpers, features, dim, frameNum, searchDone);
      },
      [&] {
        const progressSignal::closeAtExit wakeHelpers{m_searchFrame};
        N = searchFrames(nodes, features, dim, frameNum, candidateNum, beam, descCandidateNum, endNode, live);
      });
  m_aheadOn = false;

  // Frames after the first sort their candidates; a one-frame utterance must be sorted
  // too, or m_order[0] would be the first start successor rather than the best.
  if (frameNum == 1) sortCandidates(N);
  historiesFill();
  int last = frameNum - 1;
  for (int i = 0; i < N; i++) {
    arenaCandidate& cand = *m_order[i];
    if (!m_held[static_cast<size_t>(&cand - m_arena)] || cand.node == endNode) continue;
    sylAdd(cand, nodes[static_cast<size_t>(cand.node)].dicIndex, cand.node, last);
    phoneAdd(cand, cand.modelPos, last);
  }
  return N;
}

void viterbiClass::recombine(std::vector<netNode>& nodes, int lastPos) {
  recombineRange(nodes, lastPos, lastPos, lastPos);
}

void viterbiClass::recombineRange(std::vector<netNode>& nodes, int liveEnd, int deadEnd, int lastPos) {
  // A dead candidate between liveEnd and deadEnd could only lose a slot or die again.
  // First every slot a candidate is about to take is emptied, so that no position of a
  // former frame counts; then the candidates take their slots in position order.
  for (int pos = 0; pos < lastPos; pos++) {
    if (pos == liveEnd) pos = deadEnd;
    if (pos >= lastPos) break;
    const arenaCandidate& cand = *m_order[pos];
    int slot = cand.modelPos * MAX_STATE_NUM + cand.stateIdx;
    if (slot >= MAX_STATE_NUM_IN_SYL)
      errorThrowf("MAX_STATE_NUM_IN_SYL exceeded: index=%d, MAX_STATE_NUM_IN_SYL=%d (line %d of file %s)", slot,
                  MAX_STATE_NUM_IN_SYL, VITERBI_HERE);
    std::vector<int>& slots = nodes[static_cast<size_t>(cand.node)].stateSlot;
    if (static_cast<size_t>(slot) >= slots.size()) slots.resize(static_cast<size_t>(slot) + 1, -1);
    slots[static_cast<size_t>(slot)] = -1;
  }
  for (int pos = 0; pos < lastPos; pos++) {
    if (pos == liveEnd) pos = deadEnd;
    if (pos >= lastPos) break;
    arenaCandidate& cand = *m_order[pos];
    int& holder = nodes[static_cast<size_t>(cand.node)].stateSlot[static_cast<size_t>(cand.modelPos * MAX_STATE_NUM +
                                                                                      cand.stateIdx)];
    if (holder < 0) {
      holder = pos;
    } else if (cand.score > m_order[holder]->score) {
      m_order[holder]->score = LZERO;
      holder = pos;
    } else {
      cand.score = LZERO;
    }
  }
}

void viterbiClass::sortCandidates(int lastPos) { sortRange(lastPos, lastPos, lastPos); }

int viterbiClass::sortRange(int liveEnd, int deadEnd, int lastPos) {
  // The search keeps every dead score at exactly LZERO, so ordering the live ones by
  // (score, position) and appending the dead in position order is the stable sort by score.
  int live = 0;
  for (int pos = 0; pos < lastPos; pos++) {
    if (pos == liveEnd) pos = deadEnd;
    if (pos >= lastPos) break;
    float score = m_order[pos]->score;
    if (score > LZERO) m_sortKey[static_cast<size_t>(live++)] = sortKey{descendingOrder(score), pos};
  }
  // The keys are in position order, so a stable sort by score alone is the sort by (score,
  // position); no two keys are equal, so every sort gives this one order.
  if (live < RADIX_SORT_MIN) {
    std::sort(m_sortKey.begin(), m_sortKey.begin() + live, [](const sortKey& a, const sortKey& b) {
      return a.order < b.order || (a.order == b.order && a.pos < b.pos);
    });
  } else {
    radixSort(m_sortKey.data(), m_sortSpare.data(), live);
  }
  size_t k = 0;
  for (int i = 0; i < live; i++) m_sortTmp[k++] = m_order[m_sortKey[static_cast<size_t>(i)].pos];
  for (int pos = 0; pos < liveEnd; pos++)
    if (!(m_order[pos]->score > LZERO)) m_sortTmp[k++] = m_order[pos];
  for (int pos = liveEnd; pos < deadEnd; pos++) m_sortTmp[k++] = m_order[pos];
  for (int pos = deadEnd; pos < lastPos; pos++)
    if (!(m_order[pos]->score > LZERO)) m_sortTmp[k++] = m_order[pos];
  std::copy(m_sortTmp.begin(), m_sortTmp.begin() + lastPos, m_order);
  return live;
}

int viterbiClass::prune(int t, int candidateNum, float beam, int descCandidateNum) {
  int live = candidateNum;
  return pruneLive(t, candidateNum, beam, descCandidateNum, live);
}

int viterbiClass::pruneLive(int t, int candidateNum, float beam, int descCandidateNum, int& live) {
  int N = candidateNum;
  if (descCandidateNum) {
    // Tenths in integers: N * 0.7 in floating point falls just short of whole numbers
    // (90 * 0.7 truncates to 62).
    int64_t tenths = t == 60 || t == 75 ? 8 : t == 100 ? 7 : t == 120 ? 6 : 10;
    if (tenths < 10 && N > 0) N = std::max(1, static_cast<int>(static_cast<int64_t>(N) * tenths / 10));
  }
  int limit = std::min(N, live);
  if (limit <= 0 || !m_order) {
    live = std::max(0, limit);
    return N;
  }
  double floor = static_cast<double>(m_order[0]->score) - static_cast<double>(beam);
  int i = 0;
  while (i < limit && !(m_order[i]->score < floor)) i++;
  for (int k = i; k < limit; k++)
    if (m_order[k]->score != LZERO) m_order[k]->score = LZERO;
  live = i;
  return N;
}

int viterbiClass::searchFrames(std::vector<netNode>& nodes, const float* features, int dim, int frameNum,
                               int candidateNum, float beam, int descCandidateNum, int endNode, int live) {
  int N = candidateNum;
  for (int t = 1; t < frameNum; t++) {
    if (m_aheadOn) m_searchFrame.post(t);
    const float* x = features + static_cast<size_t>(t) * static_cast<size_t>(dim);
    auto prob = [&](int model, int state) { return stateProb(x, model, state, t); };
    int lastPos = N;
    bool full = false;
    for (int i = 0; i < live; i++) {
      arenaCandidate& cand = *m_order[i];
      if (!alive(cand)) continue;
      const nodeModels& nm = m_nodeModels[static_cast<size_t>(cand.node)];
      int model = nm.modelIndex[cand.modelPos];
      int s = cand.stateIdx;
      int kind = branchKind(cand);
      if (!full && kind == 0) {
        const std::vector<int>& next = nodes[static_cast<size_t>(cand.node)].fanOutIndirect;
        int nextNum = static_cast<int>(next.size());
        for (int j = 0; j < nextNum; j++) {
          arenaCandidate* copy = candidateCopy(cand, lastPos);
          if (!copy) {
            printf(
                "Warning: Arena is full! frameId=%d/%d, candidateId=%d/%d, branchId=%d/%d, lastPos (%d) > "
                "m_arenaLen-1 (%d)!\n",
                t, frameNum, i, N, j, nextNum, lastPos, m_arenaLen - 1);
            full = true;
            break;
          }
          int e = next[static_cast<size_t>(j)];
          copy->stateIdx = 0;
          copy->modelPos = 0;
          copy->node = e;
          if (e == endNode) {
            copy->score = LZERO;
          } else {
            int first = m_nodeModels[static_cast<size_t>(e)].modelIndex[0];
            copy->score = deadFloor(cand.score + transProb(model, s, s + 1) + prob(first, 0) +
                                    nodes[static_cast<size_t>(e)].penalty);
          }
          sylClose(*copy, nodes[static_cast<size_t>(cand.node)].dicIndex, cand.node, t - 1);
          phoneClose(*copy, cand.modelPos, t - 1);
          lastPos++;
        }
      } else if (!full) {
        arenaCandidate* copy = candidateCopy(cand, lastPos);
        if (!copy) {
          printf("Warning: Arena is full! frameId=%d, candidateId=%d, lastPos (%d) > m_arenaLen-1 (%d)!\n", t, i,
                 lastPos, m_arenaLen - 1);
          full = true;
        } else if (kind == 1) {
          copy->stateIdx = 0;
          copy->modelPos = cand.modelPos + 1;
          copy->score = deadFloor(copy->score + (transProb(model, s, s + 1) + prob(nm.modelIndex[copy->modelPos], 0)));
          phoneClose(*copy, cand.modelPos, t - 1);
          lastPos++;
        } else {
          copy->stateIdx = s + 1;
          copy->score = deadFloor(copy->score + (transProb(model, s, s + 1) + prob(model, s + 1)));
          lastPos++;
        }
      }
      cand.score = deadFloor(cand.score + (transProb(model, s, s) + prob(model, s)));
    }
    recombineRange(nodes, live, N, lastPos);
    live = sortRange(live, N, lastPos);
    N = pruneLive(t, N, beam, descCandidateNum, live);
    if (m_sylPool.size() + m_phonePool.size() > m_poolLimit) poolCompact();
  }
  return N;
}

// ---- Model score over a span ------------------------------------------------------------

float viterbiClass::modelProb(const float* features, int dim, int frameId1, int frameId2, const macroClass& models,
                              int modelIdx) {
  if (!spanCheck(models, dim, frameId1, frameId2, modelIdx)) return LZERO;
  m_gauss = models.gaussianLayout();
  return spanScore(features, dim, frameId1, frameId2, modelIdx);
}

bool viterbiClass::spanCheck(const macroClass& models, int dim, int frameId1, int frameId2, int modelIdx) {
  // In 64 bits: the span of two arbitrary ints need not fit in one.
  const int64_t n = static_cast<int64_t>(frameId2) - frameId1 + 1;
  if (n < MAX_STATE_NUM) {
    printf("Warning in viterbiClass::modelProb: modelIdx=%d, frameId1=%d, frameId2=%d, frameNum=%" PRId64
           "<MAX_STATE_NUM=%d\n",
           modelIdx, frameId1, frameId2, n, MAX_STATE_NUM);
    return false;
  }
  if (frameId1 < 0) errorThrowf("Error: frameId1=%d < 0 (line %d of file %s)", frameId1, VITERBI_HERE);
  streamsCheck(models, dim);
  modelCheck(models, modelIdx, -1);
  return true;
}

float viterbiClass::spanScore(const float* features, int dim, int frameId1, int frameId2, int modelIdx) {
  const int64_t n = static_cast<int64_t>(frameId2) - frameId1 + 1;
  // The cache is keyed by frame index alone, and these indices are relative to the span. It
  // is worked on here and stored once at the end: the caches of neighbouring models share
  // cache lines, which the threads of modelProbs would otherwise pass to and fro every frame.
  stateProbCache cache;
  for (int q = 0; q < MAX_STATE_NUM; q++) cache.frameId[q] = -1;
  auto prob = [&](const float* x, int state, int frameId) { return stateProbIn(cache, x, modelIdx, state, frameId); };

  int Q = m_models->MMF.model[static_cast<size_t>(modelIdx)].stateNum - 2;
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

void viterbiClass::modelProbs(const float* features, int dim, const std::vector<modelSpan>& spans,
                              const macroClass& models, std::vector<float>& out) {
  out.assign(spans.size(), LZERO);
  // Checks and warnings first, in the order of the spans, as the calls one by one give them;
  // then nothing on the threads can fail or print.
  std::vector<std::vector<size_t>> byModel(static_cast<size_t>(std::max(m_modelNum, 0)));
  for (size_t i = 0; i < spans.size(); ++i) {
    const modelSpan& span = spans[i];
    if (spanCheck(models, dim, span.frameId1, span.frameId2, span.modelIdx))
      byModel[static_cast<size_t>(span.modelIdx)].push_back(i);
  }
  m_gauss = models.gaussianLayout();
  std::vector<int> used;
  for (size_t m = 0; m < byModel.size(); ++m)
    if (!byModel[m].empty()) used.push_back(static_cast<int>(m));
  double work = 0.0;
  for (int m : used)
    for (size_t i : byModel[static_cast<size_t>(m)]) {
      const int states = models.MMF.model[static_cast<size_t>(m)].stateNum - 2;
      for (int q = 0; q < states; q++) work += stateWork(m, q) * (static_cast<double>(spans[i].frameId2) - spans[i].frameId1 + 1);
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

}  // namespace tulim
