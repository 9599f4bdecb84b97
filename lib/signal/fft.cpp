#include "fft.h"

#include <cmath>
#include <utility>

#include "fftPlan.h"
#include "utility.h"

namespace tulim {

namespace {

const double PI = 3.14159265358979323846;

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Walks j through the bit-reversed sequence 0, n/2, n/4, 3n/4, ... one step per call.
void bitReverseStep(int& j, int n) {
  int mask = n / 2;
  while (j & mask) {
    j &= ~mask;
    mask >>= 1;
  }
  j |= mask;
}

void requirePowerOfTwo(const char* function, int n) {
  if (n < 2 || !isPowerOfTwo(n))
    errorThrowf("%s: n = %d is not a power of two of at least 2 (line %d of %s)", function, n,
                TULIM_HERE);
}

}  // namespace

void fftBitReverse(complex* data, int n) {
  int j = 0;
  for (int i = 0; i < n; ++i) {
    if (i < j) std::swap(data[i], data[j]);
    bitReverseStep(j, n);
  }
}

void fftBitReverseCopy(const complex* in, complex* out, int n) {
  int j = 0;
  for (int i = 0; i < n; ++i) {
    out[j] = in[i];
    bitReverseStep(j, n);
  }
}

void fftButterflies(complex* data, int n, bool inverse) {
  const double pi = inverse ? PI : -PI;
  for (int step = 1; step < n; step <<= 1) {
    const int jump = step << 1;
    const double delta = pi / step;
    const double s = std::sin(delta / 2);
    const complex multiplier(static_cast<float>(-2 * s * s), static_cast<float>(std::sin(delta)));
    complex factor(1, 0);
    for (int group = 0; group < step; ++group) {
      for (int pair = group; pair < n; pair += jump) {
        const int match = pair + step;
        const complex product = factor * data[match];
        data[match] = data[pair] - product;
        data[pair] += product;
      }
      factor = multiplier * factor + factor;
    }
  }
}

void fftScale(complex* data, int n) {
  const float factor = static_cast<float>(1.0 / n);
  for (int i = 0; i < n; ++i) data[i] *= factor;
}

bool fftForward(complex* data, int n) {
  if (!data || !isPowerOfTwo(n)) return false;
  fftBitReverse(data, n);
  fftButterflies(data, n, false);
  return true;
}

bool fftInverse(complex* data, int n, bool scale) {
  if (!data || !isPowerOfTwo(n)) return false;
  fftBitReverse(data, n);
  fftButterflies(data, n, true);
  if (scale) fftScale(data, n);
  return true;
}

bool fftForwardCopy(const complex* in, complex* out, int n) {
  if (!in || !out || !isPowerOfTwo(n)) return false;
  fftBitReverseCopy(in, out, n);
  fftButterflies(out, n, false);
  return true;
}

bool fftInverseCopy(const complex* in, complex* out, int n, bool scale) {
  if (!in || !out || !isPowerOfTwo(n)) return false;
  fftBitReverseCopy(in, out, n);
  fftButterflies(out, n, true);
  if (scale) fftScale(out, n);
  return true;
}

void fftInPlace(float* s, int n, bool invert) {
  requirePowerOfTwo("fftInPlace", n);
  fftPlan(n, invert).transform(s);
}

void realFft(float* s, int n) {
  requirePowerOfTwo("realFft", n);
  fftPlan(n, false).realTransform(s);
}

}  // namespace tulim
