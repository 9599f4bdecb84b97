// The pitch tracker over the value type T of its pitch, clarity and pitch-function arrays
// (double for whole waves and the 8 kHz contour, float per syllable): pitch functions,
// candidates, the dynamic-programming path and the one- and two-pass trackers.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "arrayTemplate.h"
#include "audioClass.h"
#include "epdParam.h"
#include "numericUtil.h"
#include "ptParam.h"
#include "utility.h"

namespace tulim {

namespace pitchDetail {

// Pitch values are multiplied by this and clarity lies in 0 .. scale.
template <typename T>
constexpr T pitchScale() {
  return std::is_integral<T>::value ? T(1024) : T(1);
}

// The lag of a pitch in semitones at rate fs, rounded half away from zero; a pitch with no
// frequency (0 Hz at or below 0 semitones) saturates to the largest lag.
inline int pitch2lag(int fs, float semitone) {
  audioClass audio;
  return floatRound(static_cast<float>(fs) / audio.semitone2freq(semitone));
}

// The end of the sample loop i of method m (1 to 4): lag j takes the terms of i < frameSize
// - j (methods 1, 2), i < frameSize - pfLen (3) or i < pfLen (4), never past the frame's end
// (method 4 with pfLen above half the frame would reach it).
inline int termLimit(int method, int frameSize, int pfLen) {
  if (method == 3) return std::max(frameSize - pfLen, 0);
  if (method == 4) return std::min(pfLen, frameSize);
  return frameSize;
}

// The largest |sample| of a frame, in 64 bits.
inline long long frameMaxAbs(const int* x, int n) {
  long long m = 0;
  for (int i = 0; i < n; ++i) m = std::max(m, std::llabs(static_cast<long long>(x[i])));
  return m;
}

// acc[j] += term(x[i], x[i + j]) for every lag j < pfLen while i + j stays inside the
// frame, over i in ascending order, so every lag adds its terms in the same order as a
// loop over i for that lag alone would; the lag loop, free of dependencies, runs in vector
// registers. Each term is the exact 64-bit product (ACF) or absolute difference (AMDF)
// rounded to T, and the sums are formed in T. Wider vector registers help where the
// processor has them; the arithmetic (no contraction) and so the result are the same in
// every clone. Not under ThreadSanitizer: the clones' resolvers run while the library is
// relocated, before the sanitizer's runtime is set up, and its calls in them crash the load.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define TULIM_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TULIM_VECTOR_CLONES
#endif

template <typename T, bool acf>
TULIM_VECTOR_CLONES void pitchFunctionSums(const int* x, int frameSize, int pfLen, int method, T* acc, T* xt) {
  for (int j = 0; j < pfLen; ++j) acc[j] = 0;
  const int iEnd = termLimit(method, frameSize, pfLen);
  // When T holds every sample exactly (any int in double, up to 2^24 in float), a product
  // or difference formed in T is the exact one correctly rounded, as the 64-bit term
  // converted to T is. (No fused multiply-add: the build forbids contraction.)
  const bool fast =
      std::is_same<T, double>::value || (std::is_same<T, float>::value && frameMaxAbs(x, frameSize) <= (1LL << 24));
  if (fast) {
    for (int i = 0; i < frameSize; ++i) xt[i] = static_cast<T>(x[i]);
    auto term = [](T a, T b) { return acf ? a * b : std::fabs(a - b); };
    int i = 0;
    // Four samples i at a time, their terms added to each acc[j] one after another (the
    // order of a plain loop over i), so acc[j] is loaded and stored once for four terms.
    for (; i + 3 < iEnd; i += 4) {
      const int jAll = std::min(pfLen, frameSize - i - 3);
      const T x0 = xt[i], x1 = xt[i + 1], x2 = xt[i + 2], x3 = xt[i + 3];
      const T* y = xt + i;
      for (int j = 0; j < jAll; ++j) {
        T a = acc[j];
        a += term(x0, y[j]);
        a += term(x1, y[j + 1]);
        a += term(x2, y[j + 2]);
        a += term(x3, y[j + 3]);
        acc[j] = a;
      }
      for (int k = 0; k < 4; ++k) {
        const int jEnd = std::min(pfLen, frameSize - i - k);
        for (int j = std::max(jAll, 0); j < jEnd; ++j) acc[j] += term(xt[i + k], xt[i + k + j]);
      }
    }
    for (; i < iEnd; ++i) {
      const int jEnd = std::min(pfLen, frameSize - i);
      for (int j = 0; j < jEnd; ++j) acc[j] += term(xt[i], xt[i + j]);
    }
    return;
  }
  for (int i = 0; i < iEnd; ++i) {
    const int jEnd = std::min(pfLen, frameSize - i);
    const long long xi = x[i];
    for (int j = 0; j < jEnd; ++j) {
      const long long term = acf ? xi * x[i + j] : std::llabs(xi - x[i + j]);
      acc[j] += static_cast<T>(term);
    }
  }
}

// The sums as the pitch function: method 2 divides lag j's sum by its term count
// frameSize - j (a lag without terms stays 0).
template <typename T>
void storePitchFunction(const T* acc, int frameSize, int pfLen, int method, T* out) {
  for (int j = 0; j < pfLen; ++j) {
    const int n = frameSize - j;
    out[j] = method != 2 ? acc[j] : (n > 0 ? static_cast<T>(acc[j] / static_cast<T>(n)) : T(0));
  }
}

template <typename T, bool acf>
void frame2pitchFunction(const int* frame, int frameSize, T* out, int pfLen, int method) {
  std::vector<T> xt(std::is_floating_point<T>::value ? std::max(frameSize, 0) : 0);
  std::vector<T> acc(std::max(pfLen, 0));
  pitchFunctionSums<T, acf>(frame, frameSize, pfLen, method, acc.data(), xt.data());
  storePitchFunction(acc.data(), frameSize, pfLen, method, out);
}

// The truncated mean of a frame, summed in 64 bits (frames with a large offset overflow an
// int sum), and the frame with it subtracted in place, saturating at the int range.
inline void removeMean(int* x, int n) {
  if (n <= 0) return;
  long long sum = 0;
  for (int i = 0; i < n; ++i) sum += x[i];
  const long long mean = sum / n;
  for (int i = 0; i < n; ++i)
    x[i] = static_cast<int>(std::min<long long>(std::max<long long>(x[i] - mean, INT_MIN), INT_MAX));
}

inline void unknownMethodExit(const char* function) {
  printf("Unknown method for %s()!\n", function);
  fflush(stdout);
  exit(1);
}

}  // namespace pitchDetail

// Average magnitude difference of one frame at lags 0 .. pfLen - 1: method 1 sums
// |x[i] - x[i + j]| over i < frameSize - j, method 2 divides that by frameSize - j, method 3
// sums over i < frameSize - pfLen, method 4 over i < pfLen (terms past the frame's end
// left out). Another method ends the process with status 1.
template <typename T>
void frame2amdf(const int* frame, int frameSize, T* out, int pfLen, int method) {
  if (method < 1 || method > 4) pitchDetail::unknownMethodExit("frame2amdf");
  pitchDetail::frame2pitchFunction<T, false>(frame, frameSize, out, pfLen, method);
}

// Autocorrelation of one frame, the same four methods over products x[i]·x[i + j]; with
// zeroMean the truncated integer mean is first subtracted from the frame in place
// (saturating at the int range).
template <typename T>
void frame2acf(int* frame, int frameSize, T* out, int pfLen, int method, int zeroMean) {
  if (method < 1 || method > 4) pitchDetail::unknownMethodExit("frame2acf");
  if (zeroMean) pitchDetail::removeMean(frame, frameSize);
  pitchDetail::frame2pitchFunction<T, true>(frame, frameSize, out, pfLen, method);
}

// The pitch function of every frame (audioClass::getFrameNum frames) into pf, row after
// row of pfLen values: pfType 0 AMDF, 1 ACF (zero-mean); methods other than 1 and 2 first
// flip the frame so that its stronger half comes first.
template <typename T>
void frame2pf(const int* wave, int waveLen, int frameSize, int overlap, int pfLen, int pfType, int method, T* pf) {
  if (pfType != 0 && pfType != 1) errorThrowf("Unknown pfType=%d (line %d of file %s)", pfType, __LINE__, "lib/audio");
  if (method < 1 || method > 4) pitchDetail::unknownMethodExit(pfType == 0 ? "frame2amdf" : "frame2acf");
  audioClass audio;
  const int frameNum = audio.getFrameNum(waveLen, frameSize, overlap);
  const int hop = frameSize - overlap;
  std::vector<int> copy(std::max(frameSize, 0));
  std::vector<T> xt(std::is_floating_point<T>::value ? copy.size() : 0);
  std::vector<T> acc(std::max(pfLen, 0));
  // frame2amdf or frame2acf (zero mean) of each frame, with their scratch made once.
  for (int i = 0; i < frameNum; ++i) {
    std::copy(wave + static_cast<long long>(i) * hop, wave + static_cast<long long>(i) * hop + frameSize, copy.begin());
    if (method != 1 && method != 2) audio.frameFlip(copy.data(), frameSize);
    T* row = pf + static_cast<long long>(i) * pfLen;
    if (pfType == 1) pitchDetail::removeMean(copy.data(), frameSize);
    if (pfType == 0)
      pitchDetail::pitchFunctionSums<T, false>(copy.data(), frameSize, pfLen, method, acc.data(), xt.data());
    else
      pitchDetail::pitchFunctionSums<T, true>(copy.data(), frameSize, pfLen, method, acc.data(), xt.data());
    pitchDetail::storePitchFunction(acc.data(), frameSize, pfLen, method, row);
  }
}

// The pitch of one frame from its pitch function (the deepest AMDF valley or the highest
// ACF peak in minLag .. maxLag, after the function first turns), and its clarity when
// clarity is not null. 0 and 0 when the function turns only beyond maxLag.
template <typename T>
T pf2pitch(const T* pf, int pfLen, const ptParam& p, T* clarity) {
  const T scale = pitchDetail::pitchScale<T>();
  if (p.pfType != 0 && p.pfType != 1)
    errorThrowf("Unknown ptParam.pfType=%d (line %d of file %s)", p.pfType, __LINE__, "lib/audio");
  const bool acf = p.pfType == 1;
  int start = p.minLag;
  {
    int j = std::max(p.minLag, 0);
    for (; j < pfLen - 1; ++j)
      if (acf ? pf[j + 1] > pf[j] : pf[j] > pf[j + 1]) break;
    if (j < pfLen - 1) start = j;
  }
  const int end = std::min(p.maxLag, pfLen - 1);
  if (start > p.maxLag || start < 0 || start > end) {
    if (clarity) *clarity = 0;
    return 0;
  }
  audioClass audio;
  int at = 0;
  T pitch = 0;
  if (!acf) {
    const T v = minValueIndex(pf + start, end - start + 1, &at);
    const int lag = start + at;
    int ignored = 0;
    const T w = maxValueIndex(pf + start, end - start + 1, &ignored);
    if (lag > 0)
      pitch = scale * static_cast<T>(audio.freq2semitone(static_cast<float>(p.fs) / static_cast<float>(lag)));
    if (clarity) *clarity = w == 0 ? T(0) : static_cast<T>(scale * (1 - v / w));
  } else {
    T v = maxValueIndex(pf + start, end - start + 1, &at);
    const int lag = start + at;
    if (lag > 0)
      pitch = scale * static_cast<T>(audio.freq2semitone(static_cast<float>(p.fs) / static_cast<float>(lag)));
    if (v < 0) v = 0;
    if (clarity) {
      *clarity = pf[0] == 0 ? T(0) : static_cast<T>(scale * v / pf[0]);
      if (*clarity > scale) *clarity = 0;
    }
  }
  return pitch;
}

// The candidate lags of one frame into indexes (replacing what it held): the local extrema
// of pf (minima for AMDF, maxima for ACF) or, unless dpUseLocalOptim is 1, every lag; only
// lags from 1 and within the lag range of minPitch .. maxPitch are kept, in ascending order.
template <typename T>
int pf2ppc(const T* pf, int pfLen, const ptParam& p, std::vector<int>& indexes) {
  indexes.clear();
  if (p.dpUseLocalOptim == 1) {
    if (p.pfType == 0)
      localMinIndex(pf, pfLen, indexes);
    else if (p.pfType == 1)
      localMaxIndex(pf, pfLen, indexes);
    else
      errorThrowf("Unknown ptParam.pfType=%d (line %d of file %s)", p.pfType, __LINE__, "lib/audio");
  } else {
    for (int j = 0; j < pfLen; ++j) indexes.push_back(j);
  }
  const int count = static_cast<int>(indexes.size());
  const int minLag = pitchDetail::pitch2lag(p.fs, p.maxPitch);
  const int maxLag = pitchDetail::pitch2lag(p.fs, p.minPitch);
  int kept = 0;
  for (int k = 0; k < count; ++k) {
    const int lag = indexes[k];
    if (lag != 0 && lag >= minLag && lag <= maxLag) indexes[kept++] = lag;
  }
  indexes.resize(kept);
  return kept;
}

namespace pitchDetail {

// The jump penalty for every distance 0 .. maxDist, exactly as the path score forms it
// (single precision).
inline void penaltyTable(const ptParam& p, int maxDist, std::vector<float>& pen) {
  pen.resize(static_cast<size_t>(maxDist) + 1);
  for (int d = 0; d <= maxDist; ++d) {
    if (p.dpPosDiffOrder == 1)
      pen[d] = p.indexDiffWeight * static_cast<float>(d);
    else
      pen[d] = p.indexDiffWeight * static_cast<float>(static_cast<long long>(d) * d);
  }
}

// Scratch of one path search, kept across the frames of a run.
struct pathScratch {
  std::vector<double> blockBest;       // best totalDist of each block of the previous frame
  std::vector<double> bound;           // the most a block's candidates can score for the current candidate
  std::vector<int> firstKey, lastKey;  // keys at the ends of each block
};

// Predecessors are searched in blocks of this many consecutive candidates.
constexpr int PATH_BLOCK = 16;

// For every candidate c of cur, the best predecessor q of prev: score = q.totalDist -
// pen(d) (ACF, largest wins) or + pen(d) (AMDF, smallest wins), the first q in list order
// on ties; then c.totalDist = score + pfWeight·c.pfValue.
//
// With ascending keys, the distance from c to any candidate of a block is at least the
// distance to the nearer end of the block, so no score in the block can beat the block's
// best totalDist combined with that penalty; a block whose bound falls short of the best
// score found (strictly) cannot win or tie and is skipped. Rounding is monotone, so the
// skip is exact. Lists whose keys are not ascending, a negative weight or values that are
// not finite take the full scan.
template <bool acf>
void pathStep(const ppcFrame& prev, ppcFrame& cur, const std::vector<int>& prevKey, const std::vector<int>& curKey,
              const std::vector<float>& pen, float pfWeight, bool pruned, pathScratch& s) {
  const int m = prev.ppcLen;
  auto better = [](double a, double b) { return acf ? a > b : a < b; };
  auto combine = [](double total, float penalty) {
    return acf ? total - static_cast<double>(penalty) : total + static_cast<double>(penalty);
  };
  if (!pruned) {
    for (int ci = 0; ci < cur.ppcLen; ++ci) {
      ppcCandidate& c = cur.ppc[ci];
      int keep = 0;
      double best = combine(prev.ppc[0].totalDist, pen[std::abs(prevKey[0] - curKey[ci])]);
      for (int q = 1; q < m; ++q) {
        const double score = combine(prev.ppc[q].totalDist, pen[std::abs(prevKey[q] - curKey[ci])]);
        if (better(score, best)) {
          best = score;
          keep = q;
        }
      }
      c.from = keep;
      c.totalDist = best + static_cast<double>(pfWeight) * c.pfValue;
    }
    return;
  }
  const int blocks = (m + PATH_BLOCK - 1) / PATH_BLOCK;
  s.blockBest.resize(blocks);
  s.bound.resize(blocks);
  s.firstKey.resize(blocks);
  s.lastKey.resize(blocks);
  for (int b = 0; b < blocks; ++b) {
    const int end = std::min(m, (b + 1) * PATH_BLOCK);
    s.firstKey[b] = prevKey[b * PATH_BLOCK];
    s.lastKey[b] = prevKey[end - 1];
    double v = prev.ppc[b * PATH_BLOCK].totalDist;
    for (int q = b * PATH_BLOCK + 1; q < end; ++q)
      if (better(prev.ppc[q].totalDist, v)) v = prev.ppc[q].totalDist;
    s.blockBest[b] = v;
  }
  int seed = 0;
  for (int ci = 0; ci < cur.ppcLen; ++ci) {
    ppcCandidate& c = cur.ppc[ci];
    const int key = curKey[ci];
    int keep = seed;
    double best = combine(prev.ppc[seed].totalDist, pen[std::abs(prevKey[seed] - key)]);
    // Each block's bound: its best totalDist with the penalty of its nearest end.
    int top = 0;
    double topBound = 0;
    for (int b = 0; b < blocks; ++b) {
      const int first = s.firstKey[b], last = s.lastKey[b];
      const int dMin = key < first ? first - key : (key > last ? key - last : 0);
      const double bound = combine(s.blockBest[b], pen[dMin]);
      s.bound[b] = bound;
      if (b == 0 || better(bound, topBound)) {
        topBound = bound;
        top = b;
      }
    }
    auto scanBlock = [&](int b) {
      if (better(best, s.bound[b])) return;
      const int end = std::min(m, (b + 1) * PATH_BLOCK);
      for (int q = b * PATH_BLOCK; q < end; ++q) {
        const double score = combine(prev.ppc[q].totalDist, pen[std::abs(prevKey[q] - key)]);
        if (better(score, best) || (score == best && q < keep)) {
          best = score;
          keep = q;
        }
      }
    };
    // The block of the best bound first: it usually holds the winner, and then most other
    // blocks fall short.
    scanBlock(top);
    for (int b = 0; b < blocks; ++b)
      if (b != top) scanBlock(b);
    c.from = keep;
    c.totalDist = best + static_cast<double>(pfWeight) * c.pfValue;
    seed = keep;
  }
}

}  // namespace pitchDetail

// The dynamic-programming path over a run of n frames that all have candidates: one pitch
// per frame into pitch, each frame's pathIndex set to the chosen lag.
template <typename T>
void ppc2pitchPath(ppcFrame* frames, int n, const ptParam& p, T* pitch) {
  if (n <= 0) return;
  if (p.pfType != 0 && p.pfType != 1)
    errorThrowf("Unknown ptParam.pfType=%d (line %d of file %s)", p.pfType, __LINE__, "lib/audio");
  const bool acf = p.pfType == 1;
  const T scale = pitchDetail::pitchScale<T>();
  audioClass audio;

  // Distance keys: the lag itself, or minus the lag's tenths of a semitone (which fall as
  // the lag grows), so that keys ascend with the lag either way.
  int maxIndex = std::max(p.pfLen - 1, 0);
  for (int t = 0; t < n; ++t) {
    if (frames[t].ppcLen < 1 || static_cast<size_t>(frames[t].ppcLen) > frames[t].ppc.size())
      errorThrowf("Frame %d of a pitch path holds %d candidates for ppcLen=%d (line %d of %s)", t,
                  static_cast<int>(frames[t].ppc.size()), frames[t].ppcLen, TULIM_HERE);
    for (int k = 0; k < frames[t].ppcLen; ++k) {
      maxIndex = std::max(maxIndex, frames[t].ppc[k].index);
      if (frames[t].ppc[k].index < 1)
        errorThrowf("Pitch candidate lag=%d is not positive (line %d of %s)", frames[t].ppc[k].index, TULIM_HERE);
    }
  }
  std::vector<int> st(static_cast<size_t>(maxIndex) + 1, 0);
  if (p.dpMethod == 2)
    for (int j = 1; j <= maxIndex; ++j)
      st[j] = -floatRound(10 * audio.freq2semitone(static_cast<float>(p.fs) / static_cast<float>(j)));
  auto keyOf = [&](int index) { return p.dpMethod == 1 ? index : st[index]; };

  std::vector<std::vector<int>> keys(2);
  int maxDist = 0;
  {
    int lo = INT_MAX, hi = INT_MIN;
    for (int t = 0; t < n; ++t)
      for (int k = 0; k < frames[t].ppcLen; ++k) {
        const int key = keyOf(frames[t].ppc[k].index);
        lo = std::min(lo, key);
        hi = std::max(hi, key);
      }
    if (lo <= hi) maxDist = static_cast<int>(std::min<long long>(static_cast<long long>(hi) - lo, INT_MAX - 1));
  }
  std::vector<float> pen;
  pitchDetail::penaltyTable(p, maxDist, pen);
  const bool weightOk = p.indexDiffWeight >= 0 && std::isfinite(p.indexDiffWeight) && std::isfinite(pen.back());

  auto fillKeys = [&](const ppcFrame& f, std::vector<int>& key) {
    key.resize(f.ppcLen);
    bool ascending = true;
    for (int k = 0; k < f.ppcLen; ++k) {
      key[k] = keyOf(f.ppc[k].index);
      if (k > 0 && key[k] < key[k - 1]) ascending = false;
    }
    return ascending;
  };

  for (int k = 0; k < frames[0].ppcLen; ++k) {
    frames[0].ppc[k].totalDist = static_cast<double>(p.pfWeight) * frames[0].ppc[k].pfValue;
    frames[0].ppc[k].from = -1;
  }
  pitchDetail::pathScratch scratch;
  bool prevAscending = fillKeys(frames[0], keys[0]);
  for (int t = 1; t < n; ++t) {
    std::vector<int>& prevKey = keys[(t - 1) % 2];
    std::vector<int>& curKey = keys[t % 2];
    const bool curAscending = fillKeys(frames[t], curKey);
    bool finite = true;
    for (int k = 0; k < frames[t - 1].ppcLen; ++k) finite = finite && std::isfinite(frames[t - 1].ppc[k].totalDist);
    const bool pruned = weightOk && finite && prevAscending;
    if (acf)
      pitchDetail::pathStep<true>(frames[t - 1], frames[t], prevKey, curKey, pen, p.pfWeight, pruned, scratch);
    else
      pitchDetail::pathStep<false>(frames[t - 1], frames[t], prevKey, curKey, pen, p.pfWeight, pruned, scratch);
    prevAscending = curAscending;
  }

  const ppcFrame& last = frames[n - 1];
  int chosen = 0;
  for (int k = 1; k < last.ppcLen; ++k) {
    const double v = last.ppc[k].totalDist;
    if (acf ? v > last.ppc[chosen].totalDist : v < last.ppc[chosen].totalDist) chosen = k;
  }
  for (int t = n - 1; t >= 0; --t) {
    const ppcCandidate& c = frames[t].ppc[chosen];
    frames[t].pathIndex = c.index;
    chosen = c.from;
  }
  for (int t = 0; t < n; ++t)
    pitch[t] = static_cast<T>(
        scale * (12 * std::log(static_cast<double>(p.fs) / frames[t].pathIndex / 440) / 0.69314718055995 + 69));
}

namespace pitchDetail {

// Frames voiced by the volume end points, as the tracker's own frames (0/1 into voiced).
// False when the detector finds no segment.
inline bool voicedByVolume(const int* wave, int waveLen, const ptParam& p, int frameNum, std::vector<char>& voiced) {
  audioClass audio;
  epdParam ep;
  audio.epdParamSet(p.fs, ep);
  int count = 0;
  segment* seg = audio.epdByVol(wave, waveLen, p.fs, ep, count);
  voiced.assign(std::max(frameNum, 0), 0);
  for (int k = 0; k < count; ++k) {
    const int beginSample = audio.frameIndex2sampleIndex(seg[k].begin, ep.frameSize, ep.overlap);
    const int endSample = audio.frameIndex2sampleIndex(seg[k].end, ep.frameSize, ep.overlap);
    int b = audio.sampleIndex2frameIndex(beginSample, p.frameSize, p.overlap);
    int e = audio.sampleIndex2frameIndex(endSample, p.frameSize, p.overlap);
    b = std::min(std::max(b, 0), frameNum - 1);
    e = std::min(std::max(e, 0), frameNum - 1);
    for (int i = b; i <= e; ++i) voiced[i] = 1;
  }
  free(seg);
  return count > 0;
}

}  // namespace pitchDetail

// One pass of the tracker: pitch (frameNum values) of the wave in semitones, 0 unvoiced;
// clarity (frameNum), pf (frameNum × pfLen) and dpPath (frameNum) are filled when not null.
// Sets p.minLag and p.maxLag. Returns frameNum, or with cutLeadingTrailingZero the length
// of the span from the first to the last voiced frame, moved to the front.
template <typename T>
int wave2pitchCore(const int* wave, int waveLen, ptParam& p, T* pitch, T* clarity, T* pf, int* dpPath) {
  audioClass audio;
  const T scale = pitchDetail::pitchScale<T>();
  const int frameNum = audio.getFrameNum(waveLen, p.frameSize, p.overlap);
  const int pfLen = p.pfLen;
  if (pfLen < 1) errorThrowf("ptParam.pfLen=%d must be at least 1 (line %d of %s)", pfLen, TULIM_HERE);
  for (int i = 0; i < frameNum; ++i) pitch[i] = 0;
  if (frameNum <= 0) {
    p.minLag = pitchDetail::pitch2lag(p.fs, p.maxPitch);
    p.maxLag = std::min(pitchDetail::pitch2lag(p.fs, p.minPitch), pfLen - 1);
    return p.cutLeadingTrailingZero ? 0 : std::max(frameNum, 0);
  }

  const int method = p.pfType == 0 ? 2 : (p.pfType == 1 ? 1 : 3);
  const size_t cells = static_cast<size_t>(frameNum) * static_cast<size_t>(std::max(pfLen, 0));
  std::vector<T> pfScratch;
  if (!pf) {
    pfScratch.assign(cells, T(0));
    pf = pfScratch.data();
  }
  frame2pf(wave, waveLen, p.frameSize, p.overlap, pfLen, p.pfType, method, pf);

  // A matrix of zeros (digital silence) has nothing to normalise by; it stays zero.
  T m = 0;
  for (size_t k = 0; k < cells; ++k) m = std::max(m, static_cast<T>(std::fabs(pf[k])));
  if (m > 0)
    for (size_t k = 0; k < cells; ++k) pf[k] = static_cast<T>(pf[k] * T(1048576) / m);

  p.minLag = pitchDetail::pitch2lag(p.fs, p.maxPitch);
  p.maxLag = pitchDetail::pitch2lag(p.fs, p.minPitch);
  if (p.maxLag >= pfLen - 1) p.maxLag = pfLen - 1;

  std::vector<T> clarityScratch;
  T* cl = clarity;
  if (!cl && (p.weightPfByClarity || p.useClarityThreshold)) {
    clarityScratch.assign(frameNum, T(0));
    cl = clarityScratch.data();
  }
  if (clarity || p.weightPfByClarity) {
    for (int i = 0; i < frameNum; ++i) {
      pf2pitch(pf + static_cast<size_t>(i) * pfLen, pfLen, p, &cl[i]);
      if (cl[i] > 1.0) printf("i=%d/%d: clarity=%g\n", i, frameNum, static_cast<double>(cl[i]));
    }
  }
  // Silence is told from the pitch function before the weighting, which also zeroes the
  // function of a sounding frame without clarity.
  std::vector<char> silent(frameNum, 1);
  for (int i = 0; i < frameNum; ++i) {
    const T* row = pf + static_cast<size_t>(i) * pfLen;
    for (int j = 0; j < pfLen && silent[i]; ++j) silent[i] = row[j] == 0;
  }
  if (p.weightPfByClarity)
    for (int i = 0; i < frameNum; ++i) {
      const T w = cl[i] / scale;
      T* row = pf + static_cast<size_t>(i) * pfLen;
      for (int j = 0; j < pfLen; ++j) row[j] *= w;
    }

  // Candidates; a silent frame has none.
  std::vector<ppcFrame> frames(frameNum);
  std::vector<int> lags;
  lags.reserve(std::max(pfLen, 0));
  for (int i = 0; i < frameNum; ++i) {
    const T* row = pf + static_cast<size_t>(i) * pfLen;
    const int count = silent[i] ? 0 : pf2ppc(row, pfLen, p, lags);
    ppcFrame& f = frames[i];
    f.ppcLen = count;
    f.pathIndex = -1;
    f.ppc.resize(count);
    for (int k = 0; k < count; ++k) f.ppc[k] = ppcCandidate{lags[k], static_cast<double>(row[lags[k]]), -1, 0.0};
  }

  int i = 0;
  while (i < frameNum - 1) {
    while (i < frameNum - 1 && frames[i].ppcLen == 0) ++i;
    const int start = i;
    while (i < frameNum && frames[i].ppcLen > 0) ++i;
    if (i == start) break;
    ppc2pitchPath(frames.data() + start, i - start, p, pitch + start);
  }
  if (dpPath)
    for (int k = 0; k < frameNum; ++k) dpPath[k] = frames[k].pathIndex;

  if (p.useVolThreshold) {
    std::vector<char> voiced;
    if (!pitchDetail::voicedByVolume(wave, waveLen, p, frameNum, voiced))
      printf("Warning: Cannot find any segment after epdByVol! (line %d of file %s)\n", __LINE__, "lib/audio");
    for (int k = 0; k < frameNum; ++k)
      if (!voiced[k]) pitch[k] = 0;
  }

  if (p.useClarityThreshold) {
    T maxClarity = 0;
    for (int k = 0; k < frameNum; ++k) {
      const T* row = pf + static_cast<size_t>(k) * pfLen;
      T c = 0;
      if (frames[k].pathIndex >= 0 && row[0] != 0) c = static_cast<T>(scale * row[frames[k].pathIndex] / row[0]);
      if (c < 0 || c > scale) c = 0;
      cl[k] = c;
      maxClarity = std::max(maxClarity, c);
    }
    const T clarityTh = static_cast<T>(p.clarityRatio * maxClarity);
    for (int k = 0; k < frameNum; ++k)
      if (cl[k] < clarityTh) pitch[k] = 0;
  }

  if (p.medianFilterOrder >= 3) medianFilter(pitch, frameNum, p.medianFilterOrder);

  int count = frameNum;
  if (p.cutLeadingTrailingZero) {
    int first = 0;
    while (first < frameNum && pitch[first] == 0) ++first;
    int last = frameNum - 1;
    while (last >= first && pitch[last] == 0) --last;
    count = first < frameNum ? last - first + 1 : 0;
    for (int k = 0; k < count; ++k) pitch[k] = pitch[first + k];
  }
  return count;
}

// Two passes: the second narrows the pitch range (in p) to pitchRangeMax around the median
// voiced pitch of the first. A first pass without a voiced frame is the result.
template <typename T>
int wave2pitchTwoPass(const int* wave, int waveLen, ptParam& p, T* pitch, T* clarity, T* pf, int* dpPath) {
  const int count = wave2pitchCore(wave, waveLen, p, pitch, clarity, pf, dpPath);
  bool voiced = false;
  for (int k = 0; k < count && !voiced; ++k) voiced = pitch[k] != 0;
  if (!voiced) return count;
  const float m = static_cast<float>(nonZeroMedian(pitch, count));
  p.minPitch = m - p.pitchRangeMax / 2;
  p.maxPitch = m + p.pitchRangeMax / 2;
  return wave2pitchCore(wave, waveLen, p, pitch, clarity, pf, dpPath);
}

// The pitch tracker's entry: pitch in semitones (69 = 440 Hz), 0 where unvoiced.
template <typename T>
int wave2pitch(const int* wave, int waveLen, ptParam& p, T* pitch, T* clarity, T* pf, int* dpPath) {
  return wave2pitchTwoPass(wave, waveLen, p, pitch, clarity, pf, dpPath);
}

}  // namespace tulim
