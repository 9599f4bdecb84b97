#include "mixtureSum.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace tulim {

namespace {

// expKernel on each lane of a vector of doubles D, with U the vector of uint64_t of its size:
// every lane takes the same steps.
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

// expKernelFloat on each lane of a vector of floats F, with U the vector of uint32_t of its size.
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

// The error budget. R is the exact log of the sum of the n scores e^(t + d) (t the top, d
// each score's difference from it, n <= 32, |t| < 1e9 where the passes run), C what the
// chain of logAdd calls returns, r what a pass computes. A pass returns its float only when
// every value within bound of r rounds to it, so the bound must cover |r - C| <= |r - R| +
// |R - C|. Each constant below is a margin over the worst case of the error it covers
// (u = 2^-53, the rounding of one double operation; std::exp and std::log are within 1 ulp).
//
// - The chain drops a score y when y - x < LOG_ADD_CUTOFF for its running sum x. The running
//   sum only grows (each step adds a log of at least 1) and ends at C, so a dropped score lies
//   below R + LOG_ADD_CUTOFF + (C - R), and any score at or above chainCut's line is kept.
//   The 1e-3 in the line covers what moves it: C above R by its rounding (the next item:
//   below 32 * 4u * (1e9 + 40) = 1.5e-5), r off R (below 1e-5, the bounds of the passes),
//   the rounding of the differences (a float difference near the line, |d| < 24, is off by
//   at most 2^-24 * 24 = 1.5e-6; a double one by 24u) and of the line itself as a float
//   (1.2e-6). Together below 3e-5: the margin is more than 30 times that.
// - Each logAdd rounds y - x (|y - x| <= 23.03, through a slope of at most 1/2: 11.6u), the
//   exp (u, through the log's slope), 1 + e^(y-x) (u), the log (u) and x + log(...) (u times
//   |x| + 1): below u * (|x| + 15). A step's error reaches C damped by about e^(x - C), and
//   x <= C, so with |C| <= |t| + log 32 every step adds at most u * (|t| + 19). The term
//   2n(|t| + 40) * 2^-52 allows n steps 4u(|t| + 40) each: four times the |t| part and eight
//   times the rest.
// - The pass's own r = t + log(total) rounds the addition (u|r|), the log (below 2^-51: the
//   log of a total in [1, 32] is below 4) and the total, a sum of positive values at most 11
//   additions deep (relative 11u, which moves the log as much): together below 2^-52 *
//   (|r| / 2 + 7.5), which 4|r| + 8 covers (eight times the |r| part).
// - Scores below the line may be missing from C (unsure holds their total, as a share of the
//   total, which is at least 1 because the top counts e^0). Losing a share m moves the log by
//   -log(1 - m) <= m / (1 - m); each such lane is below e^(log 32 - 23.0249) = 3.2e-9, so m <
//   1e-7 and m / (1 - m) < 1.0000001 m. The factor 1.01 covers that, the kernels' relative
//   error in the unsure values (1.2e-7 at most) and the float rounding of the first pass's
//   error sums (a few 2^-24): about 1e-4 of 1.01 is used.
[[gnu::always_inline]] inline double chainCut(double t, double r) { return (r - t) + LOG_ADD_CUTOFF + 1e-3; }
[[gnu::always_inline]] inline double chainSlack(int n, double t, double r, double unsure) {
  return 1.01 * unsure + 0x1p-52 * (2.0 * n * (std::fabs(t) + 40.0) + 4.0 * std::fabs(r) + 8.0);
}

// The first pass of the mixture sum, in single precision: differences from the top t and
// their exps in floats, the total and its log in doubles. Every lane's error is bounded by
// the kernel's and its difference's rounding, except at the top itself (exactly 1). Lanes
// that the chain may have dropped are found before the sum is known, against the line for
// the largest sum n scores can have (the top plus log n): they count whole.
//
// Its budget: a lane's exp is off by at most EXPF_KERNEL_ERROR (the kernel) plus |d| * 2^-24
// (the rounding of its float difference, through the exp's slope) of itself, which is the
// lane error below; summed, they are a share u of the total of at most 1.2e-7 + 87 * 2^-24
// = 5.3e-6, and log(1 + u) and -log(1 - u) lie within 1.01 u. A difference below -87 counts
// as -87 (e^-87 = 1.6e-38 keeps the float kernel clear of subnormals); such a lane is below
// the line and counts whole, and what the clamp adds to the total, below 1.7e-38 a lane and
// the total at least 1, is what n * 1e-37 covers, with the rounding of the lane errors'
// products near the bottom of the float range (below 2^-149 each).
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

// The second pass, in double precision throughout. Its total is off by at most
// EXP_KERNEL_ERROR of itself (the kernel; the double differences, near the line below |d| <
// 24, add 24u), which moves the log by at most EXP_KERNEL_ERROR / (1 - EXP_KERNEL_ERROR):
// twice the kernel's bound leaves a margin of as much again.
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
// of logAdd calls gives too, and the chain itself decides what neither can. SINGLE is the
// first pass, in the vectors the caller is built for.
using singlePass = bool (*)(const float* score, int n, int rows, float top, float& f);
template <singlePass SINGLE>
[[gnu::always_inline]] inline float mixtureSumWith(const float* score, int n, int pad) {
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
  if (SINGLE(score, n, rows, top, f)) return f;
  if (mixtureSumDouble(score, n, rows, top, f)) return f;
  return static_cast<float>(logAddChain(score, n));
}

[[gnu::always_inline]] inline float mixtureSum(const float* score, int n, int pad) {
  return mixtureSumWith<mixtureSumSingle>(score, n, pad);
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

[[gnu::always_inline]] inline void stateScoreBody(const float* x, const gaussBlock* block, const int* offset,
                                                  const int* width, int streamNum, float* sum) {
  for (int s = 0; s < streamNum; s++) {
    float score[MAX_MIXTURE_NUM];
    mixtureScores(x + offset[s], block[s], width[s], score);
    sum[s] = mixtureSum(score, block[s].mixtureNum, block[s].pad);
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
// Two rows side by side, for processors with vectors of 16 floats: every lane still takes the
// plain code's operations, so a mixture's score is the same; the first pass of the sum adds
// its lanes in another order, which its bound covers (its totals stay at most 6 additions
// deep), and its result, like the narrow pass's, is only returned when certain.
typedef float floatPair __attribute__((vector_size(2 * LANES * sizeof(float))));
typedef uint32_t bitsPair __attribute__((vector_size(2 * LANES * sizeof(uint32_t))));
typedef double doubleRow __attribute__((vector_size(LANES * sizeof(double))));

template <int ROWS>
[[gnu::always_inline]] inline void mixtureRowsPaired(const float* x, const gaussBlock& block, int width, float* out) {
  constexpr size_t pad = ROWS * LANES;
  constexpr int PAIRS = ROWS / 2;
  constexpr bool TAIL = ROWS % 2 != 0;
  const float* logWeight = block.data;
  const float* gconst = logWeight + pad;
  const float* mean = gconst + pad;
  const float* invVar = mean + static_cast<size_t>(width) * pad;
  floatPair acc[PAIRS > 0 ? PAIRS : 1] = {};
  floatRow tail = {};
  for (int k = 0; k < width; k++) {
    const float xk = x[k];
    const float* meanK = mean + static_cast<size_t>(k) * pad;
    const float* invVarK = invVar + static_cast<size_t>(k) * pad;
    for (int p = 0; p < PAIRS; p++) {
      floatPair mk, vk;
      std::memcpy(&mk, meanK + p * 2 * LANES, sizeof mk);
      std::memcpy(&vk, invVarK + p * 2 * LANES, sizeof vk);
      const floatPair diff = xk - mk;
      acc[p] += diff * diff * vk;
    }
    if (TAIL) {
      floatRow mk, vk;
      std::memcpy(&mk, meanK + (ROWS - 1) * LANES, sizeof mk);
      std::memcpy(&vk, invVarK + (ROWS - 1) * LANES, sizeof vk);
      const floatRow diff = xk - mk;
      tail += diff * diff * vk;
    }
  }
  for (int p = 0; p < PAIRS; p++) {
    floatPair g, w;
    std::memcpy(&g, gconst + p * 2 * LANES, sizeof g);
    std::memcpy(&w, logWeight + p * 2 * LANES, sizeof w);
    const floatPair o = -(acc[p] + g) / 2.0f + w;
    std::memcpy(out + p * 2 * LANES, &o, sizeof o);
  }
  if (TAIL) {
    floatRow g, w;
    std::memcpy(&g, gconst + (ROWS - 1) * LANES, sizeof g);
    std::memcpy(&w, logWeight + (ROWS - 1) * LANES, sizeof w);
    const floatRow o = -(tail + g) / 2.0f + w;
    std::memcpy(out + (ROWS - 1) * LANES, &o, sizeof o);
  }
}

[[gnu::always_inline]] inline void mixtureScoresPaired(const float* x, const gaussBlock& block, int width,
                                                       float* out) {
  switch (block.pad / LANES) {
    case 1:
      mixtureRows<1>(x, block, width, out);
      break;
    case 2:
      mixtureRowsPaired<2>(x, block, width, out);
      break;
    case 3:
      mixtureRowsPaired<3>(x, block, width, out);
      break;
    case 4:
      mixtureRowsPaired<4>(x, block, width, out);
      break;
    default:
      break;
  }
}

// One row of the first pass (F a row of floats, D the doubles of its size, U its bits): the
// lane errors into errors, the exps into totals.
template <typename F, typename U>
[[gnu::always_inline]] inline void singleRow(const F& v, float top, float cut, F& errors, F& e) {
  const F d = v - top;
  const F low = F{} - 87.0f;
  const F zero = {};
  const F arg = d < low ? low : d;
  expKernelFloatOf<F, U>(arg, e);
  const F laneError = e * (static_cast<float>(EXPF_KERNEL_ERROR) - arg * 0x1p-24f);
  errors += d == zero ? zero : d < cut ? e : laneError;
}

[[gnu::always_inline]] inline bool mixtureSumSinglePaired(const float* score, int n, int rows, float top,
                                                          float& f) {
  const float cut = static_cast<float>(chainCut(0.0, 3.4658));  // log 32 = 3.46574
  doubleRow totals = {};
  floatPair errors = {};
  floatRow tailErrors = {};
  int b = 0;
  for (; b + 1 < rows; b += 2) {
    floatPair v, e;
    std::memcpy(&v, score + b * LANES, sizeof v);
    singleRow<floatPair, bitsPair>(v, top, cut, errors, e);
    floatRow part[2];
    std::memcpy(part, &e, sizeof part);
    totals += __builtin_convertvector(part[0], doubleRow) + __builtin_convertvector(part[1], doubleRow);
  }
  if (b < rows) {
    floatRow v, e;
    std::memcpy(&v, score + b * LANES, sizeof v);
    singleRow<floatRow, bitsRow>(v, top, cut, tailErrors, e);
    totals += __builtin_convertvector(e, doubleRow);
  }
  const double total = ((totals[0] + totals[1]) + (totals[2] + totals[3])) +
                       ((totals[4] + totals[5]) + (totals[6] + totals[7]));
  double error = 0.0;
  for (int j = 0; j < 2 * LANES; j++) error += errors[j];
  for (int j = 0; j < LANES; j++) error += tailErrors[j];
  const double t = top;
  const double r = t + std::log(total);
  const double bound = chainSlack(n, t, r, 0.0) + 1.01 * error / total + n * 1e-37;
  return certainFloat(r, bound, f);
}

[[gnu::always_inline]] inline float mixtureSumPaired(const float* score, int n, int pad) {
  return mixtureSumWith<mixtureSumSinglePaired>(score, n, pad);
}
#endif

}  // namespace

void stateScorePlain(const float* x, const gaussBlock* block, const int* offset, const int* width, int streamNum,
                     float* sum) {
  stateScoreBody(x, block, offset, width, streamNum, sum);
}

namespace {

#if defined(__x86_64__) && defined(__GNUC__)
// The same code in wider vectors, for processors that have them. No fused multiply-add is
// enabled, so every operation and its rounding stay those of stateScorePlain.
__attribute__((target("avx2"))) void stateScoreWide(const float* x, const gaussBlock* block, const int* offset,
                                                    const int* width, int streamNum, float* sum) {
  stateScoreBody(x, block, offset, width, streamNum, sum);
}

// Two rows to a vector of 16 floats, on processors that have them (still no fused
// multiply-add: the build turns contraction off).
__attribute__((target("avx512f"))) void stateScorePaired(const float* x, const gaussBlock* block, const int* offset,
                                                         const int* width, int streamNum, float* sum) {
  for (int s = 0; s < streamNum; s++) {
    float score[MAX_MIXTURE_NUM];
    mixtureScoresPaired(x + offset[s], block[s], width[s], score);
    sum[s] = mixtureSumPaired(score, block[s].mixtureNum, block[s].pad);
  }
}

stateKernel kernelPick() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return stateScorePaired;
  return __builtin_cpu_supports("avx2") ? stateScoreWide : stateScorePlain;
}
#else
stateKernel kernelPick() { return stateScorePlain; }
#endif


const stateKernel fastestKernel = kernelPick();

}  // namespace

stateKernel stateKernelFastest() { return fastestKernel; }

double expKernel(double d) {
  double out;
  expKernelOf<double, uint64_t>(d, out);
  return out;
}

float expKernelFloat(float d) {
  float out;
  expKernelFloatOf<float, uint32_t>(d, out);
  return out;
}

float mixtureLogSum(const float* score, int n) {
  if (n > MAX_MIXTURE_NUM) return static_cast<float>(logAddChain(score, n));
  float padded[MAX_MIXTURE_NUM];
  std::fill(padded, padded + MAX_MIXTURE_NUM, -HUGE_VALF);
  std::copy(score, score + std::max(n, 0), padded);
  return mixtureSum(padded, n, (std::max(n, 0) + LANES - 1) / LANES * LANES);
}

}  // namespace tulim
