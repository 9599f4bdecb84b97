#include "spectrumSubtract.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "complex.h"
#include "fft.h"
#include "numericUtil.h"
#include "utility.h"

namespace tulim {

namespace {

const double PI = 3.14159265358979323846;

int* allocSamples(int count) {
  int* out = static_cast<int*>(calloc(std::max(count, 1), sizeof(int)));
  if (!out)
    errorThrowf("spectrumSubtract: cannot allocate %d samples (line %d of %s)", count, TULIM_HERE);
  return out;
}

// The frame at x[start] times the window, transformed.
void windowedSpectrum(const int* x, int start, const std::vector<float>& window,
                      std::vector<complex>& frame) {
  const int len = static_cast<int>(window.size());
  for (int i = 0; i < len; ++i) frame[i] = complex(static_cast<float>(x[start + i]) * window[i], 0);
  fftForward(frame.data(), len);
}

}  // namespace

int* spectrumSubtract(const int* x, int n, int fs, int* outCount) {
  const int frameLen = static_cast<int>(fs * 0.032);
  if (frameLen < 1 || (frameLen & (frameLen - 1)) != 0)
    errorThrowf("spectrumSubtract: frame length %d at %d Hz is not a power of two (line %d of %s)",
                frameLen, fs, TULIM_HERE);
  const int overlap = static_cast<int>(frameLen * 0.6);
  const int hop = frameLen - overlap;
  const int noiseFrames = static_cast<int>((fs * 0.25f - overlap) / static_cast<float>(hop));

  // The noise estimate reads its frames whatever the input's length; shorter input is
  // handed back untouched rather than read past its end.
  const int64_t needed = static_cast<int64_t>(noiseFrames - 1) * hop + frameLen;
  if (n < needed) {
    printf(
        "Warning: spectrumSubtract: %d samples are fewer than the %lld that the noise "
        "estimate needs at %d Hz; the wave is left unchanged\n",
        n, static_cast<long long>(needed), fs);
    const int count = std::max(n, 0);
    int* copy = allocSamples(count);
    if (count > 0) memcpy(copy, x, sizeof(int) * count);
    *outCount = count;
    return copy;
  }

  const int frameNum = (n - overlap) / hop;
  *outCount = hop * frameNum + overlap;
  int* out = allocSamples(*outCount);

  std::vector<float> window(frameLen);
  for (int i = 0; i < frameLen; ++i)
    window[i] = frameLen > 1
                    ? static_cast<float>(0.54 - 0.46 * std::cos(2 * PI * i / (frameLen - 1)))
                    : 1.0f;

  std::vector<complex> frame(frameLen);
  std::vector<float> noise(frameLen, 0.0f);
  for (int k = 0; k < noiseFrames; ++k) {
    windowedSpectrum(x, k * hop, window, frame);
    for (int bin = 0; bin < frameLen; ++bin) noise[bin] += frame[bin].norm();
  }
  for (float& v : noise) v /= noiseFrames;

  for (int f = 0; f < frameNum; ++f) {
    const int start = f * hop;
    windowedSpectrum(x, start, window, frame);
    for (int bin = 0; bin < frameLen; ++bin) {
      const float phase = std::atan2(frame[bin].im, frame[bin].re);
      const float power = std::max(frame[bin].norm() - noise[bin], 0.0f);
      const float magnitude = std::sqrt(power);
      frame[bin] = complex(magnitude * std::cos(phase), magnitude * std::sin(phase));
    }
    fftInverse(frame.data(), frameLen, true);
    for (int i = 0; i < frameLen; ++i) {
      const int64_t sum = static_cast<int64_t>(out[start + i]) + floatRound(frame[i].re);
      out[start + i] = static_cast<int>(
          std::min<int64_t>(std::max<int64_t>(sum, std::numeric_limits<int>::min()),
                            std::numeric_limits<int>::max()));
    }
  }
  return out;
}

}  // namespace tulim
