#include "fft.h"

#include <cmath>
#include <utility>

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
  int j = 1;
  for (int ii = 1; ii <= n / 2; ++ii) {
    const int i = 2 * ii - 1;
    if (j > i) {
      std::swap(s[j], s[i]);
      std::swap(s[j + 1], s[i + 1]);
    }
    int m = n / 2;
    while (m >= 2 && j > m) {
      j -= m;
      m /= 2;
    }
    j += m;
  }
  for (int limit = 2; limit < n;) {
    const int inc = 2 * limit;
    const double theta = (invert ? -2 * PI : 2 * PI) / limit;
    const double x = std::sin(theta / 2);
    const double wpr = -2 * x * x;
    const double wpi = std::sin(theta);
    double wr = 1;
    double wi = 0;
    for (int ii = 1; ii <= limit / 2; ++ii) {
      const int m = 2 * ii - 1;
      for (int jj = 0; jj <= (n - m) / inc; ++jj) {
        const int i = m + jj * inc;
        const int k = i + limit;
        const float xre = static_cast<float>(wr * s[k] - wi * s[k + 1]);
        const float xri = static_cast<float>(wr * s[k + 1] + wi * s[k]);
        s[k] = s[i] - xre;
        s[k + 1] = s[i + 1] - xri;
        s[i] += xre;
        s[i + 1] += xri;
      }
      const double wx = wr;
      wr = wr * wpr - wi * wpi + wr;
      wi = wi * wpr + wx * wpi + wi;
    }
    limit = inc;
  }
  if (invert) {
    const float half = static_cast<float>(n / 2);
    for (int i = 1; i <= n; ++i) s[i] /= half;
  }
}

void realFft(float* s, int n) {
  requirePowerOfTwo("realFft", n);
  const int h = n / 2;
  const double theta = PI / h;
  fftInPlace(s, n, false);
  const double x = std::sin(theta / 2);
  const double yr2 = -2 * x * x;
  const double yi2 = std::sin(theta);
  double yr = 1 + yr2;
  double yi = yi2;
  for (int i = 2; i <= h / 2; ++i) {
    const int i1 = 2 * i - 1;
    const int i2 = i1 + 1;
    const int i3 = 2 * h + 3 - i2;
    const int i4 = i3 + 1;
    const float xr1 = (s[i1] + s[i3]) / 2;
    const float xi1 = (s[i2] - s[i4]) / 2;
    const float xr2 = (s[i2] + s[i4]) / 2;
    const float xi2 = (s[i3] - s[i1]) / 2;
    s[i1] = static_cast<float>(xr1 + yr * xr2 - yi * xi2);
    s[i2] = static_cast<float>(xi1 + yr * xi2 + yi * xr2);
    s[i3] = static_cast<float>(xr1 - yr * xr2 + yi * xi2);
    s[i4] = static_cast<float>(-xi1 + yr * xi2 + yi * xr2);
    const double yr0 = yr;
    yr = yr * yr2 - yi * yi2 + yr;
    yi = yi * yr2 + yr0 * yi2 + yi;
  }
  s[1] = s[1] + s[2];
  s[2] = 0;
}

}  // namespace tulim
