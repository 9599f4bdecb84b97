// Signal templates over the sample or value type: frame measures and the pitch tracker.
// They live beside the generic array templates of lib/base (arrayTemplate.h).
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
#include "numericUtil.h"
#include "pitchTemplate.h"
#include "utility.h"

namespace tulim {

// ---- Frame measures --------------------------------------------------------------------------

namespace frameMeasure {

// Integer measures saturate at INT_MAX: sums of non-negative terms are formed in 64 bits
// and held at CAP once past the int range, so waves of any sample width overflow nothing.
const long long CAP = 1LL << 31;
inline long long capAdd(long long sum, long long term) { return term >= CAP - sum ? CAP : sum + term; }

// Natural logarithm of an energy, truncated for integer output; an empty frame has no
// finite logarithm and takes the most negative value of the type.
inline void storeLog(int& v) { v = v > 0 ? static_cast<int>(logf(static_cast<float>(v))) : INT_MIN; }
inline void storeLog(float& v) { v = v > 0 ? logf(v) : -1e10f; }

// The sum of |a[i] - mid| over a frame that medianOfScratch has just reordered and whose
// median is mid: it leaves no element above the median before rank (n - 1) / 2 and none
// below it after, so the sum is two plain sums. Exact in 64 bits for any int frame.
inline long long absDeviationSum(const int* a, int n, int mid) {
  const int k = (n - 1) / 2;
  long long below = 0, above = 0;
  for (int i = 0; i <= k; ++i) below += a[i];
  for (int i = k + 1; i < n; ++i) above += a[i];
  return (static_cast<long long>(k + 1) * mid - below) + (above - static_cast<long long>(n - 1 - k) * mid);
}

}  // namespace frameMeasure

// One volume per frame (audioClass::getFrameNum values into out), T int or float:
// method 1 the sum of absolute deviations from the frame median (what every caller uses),
// method 2 the energy about the truncated integer mean, method 3 its natural logarithm.
// An integer sum is exact; a float sum is accumulated in single precision.
template <typename T>
void frame2volume(const int* wave, int waveLen, int frameSize, int overlap, T* out, int method) {
  if (method < 1 || method > 3)
    errorThrowf("Unknown volume method=%d (line %d of file %s)", method, __LINE__, "lib/audio");
  audioClass audio;
  const int frameNum = audio.getFrameNum(waveLen, frameSize, overlap);
  const int hop = frameSize - overlap;
  constexpr bool integer = std::is_integral<T>::value;
  // One scratch frame for the whole wave: the median's selection reorders it.
  std::vector<int> scratch(method == 1 && frameNum > 0 ? frameSize : 0);
  for (int i = 0; i < frameNum; ++i) {
    const int* frame = wave + static_cast<long long>(i) * hop;
    long long intSum = 0;
    float floatSum = 0;
    if (method == 1) {
      std::copy(frame, frame + frameSize, scratch.begin());
      const int mid = arrayDetail::medianOfScratch(scratch.data(), frameSize);
      if constexpr (integer) {
        // Every term is non-negative, so adding them saturated gives the capped total.
        intSum = std::min(frameMeasure::absDeviationSum(scratch.data(), frameSize, mid), frameMeasure::CAP);
      } else {
        for (int j = 0; j < frameSize; ++j) floatSum += fabsf(static_cast<float>(frame[j]) - static_cast<float>(mid));
      }
    } else {
      const int mean = meanValue(frame, frameSize);
      for (int j = 0; j < frameSize; ++j) {
        if (integer) {
          const long long d = std::llabs(static_cast<long long>(frame[j]) - mean);
          intSum = frameMeasure::capAdd(intSum, d >= frameMeasure::CAP ? frameMeasure::CAP : d * d);
        } else {
          const float d = static_cast<float>(frame[j]) - static_cast<float>(mean);
          floatSum += d * d;
        }
      }
    }
    if constexpr (integer)
      out[i] = saturateToInt(intSum);
    else
      out[i] = floatSum;
  }
  if (method == 3)
    for (int i = 0; i < frameNum; ++i) frameMeasure::storeLog(out[i]);
}

// High-order difference of one frame: the sum of |d| over the dot products d of each run of
// order + 1 samples with the binomial row of alternating sign for that order (1 to 5).
// Another order prints "Unsupported order!" and ends the process with status 1.
template <typename T>
int frame2hod(const T* frame, int frameSize, int order) {
  static const int rows[5][6] = {
      {-1, 1}, {-1, 2, -1}, {-1, 3, -3, 1}, {-1, 4, -6, 4, -1}, {-1, 5, -10, 10, -5, 1}};
  if (order < 1 || order > 5) {
    printf("Unsupported order!\n");
    fflush(stdout);
    exit(1);
  }
  const int* row = rows[order - 1];
  long long sum = 0;
  for (int j = 0; j + order < frameSize; ++j) {
    long long d = 0;
    for (int k = 0; k <= order; ++k) d += static_cast<long long>(row[k]) * frame[j + k];
    sum = frameMeasure::capAdd(sum, std::llabs(d));
  }
  return saturateToInt(sum);
}

// ---- Pitch tracking ---------------------------------------------------------------------------
// In a header of its own for size: pitchTemplate.h, included above.

}  // namespace tulim
