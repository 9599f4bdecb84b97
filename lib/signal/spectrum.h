// The split-radix FFT of the spectra and the spectral-change measure (audioClass's
// wave2spectrogram, frames2magSpectrum, wave2magSpectrum). The MFCC front end and spectrum
// subtraction use the radix-2 transforms of fft.h instead.
#pragma once

#include <cmath>
#include <cstdio>

namespace tulim {

// In-place forward FFT (kernel e^(-j 2 pi k n / N), no scaling) of n points, result in
// natural order, by split-radix decimation in frequency. N is the smallest power of two
// not below n (and at least 2); when N > n both arrays must hold N entries, entries n .. N-1
// are zeroed and "\nuse N point fft" is printed. T is float (twiddles in single precision)
// or double.
template <typename T>
void fft(T* re, T* im, int n) {
  int N = 2, m = 1;
  while (N < n) {
    N *= 2;
    ++m;
  }
  if (N > n) {
    for (int i = n; i < N; ++i) re[i] = im[i] = 0;
    printf("\nuse %d point fft", N);
  }
  // 1-based views, as the index arithmetic of the split-radix pattern is written.
  T* x = re - 1;
  T* y = im - 1;
  const T twoPi = static_cast<T>(6.283185307179586);

  int n2 = 2 * N;
  for (int k = 1; k < m; ++k) {
    n2 /= 2;
    const int n4 = n2 / 4;
    const T e = twoPi / static_cast<T>(n2);
    T a = 0;
    for (int j = 1; j <= n4; ++j) {
      const T a3 = 3 * a;
      const T cc1 = std::cos(a), ss1 = std::sin(a);
      const T cc3 = std::cos(a3), ss3 = std::sin(a3);
      a = static_cast<T>(j) * e;
      int is = j, id = 2 * n2;
      while (is < N) {
        for (int i0 = is; i0 <= N - 1; i0 += id) {
          const int i1 = i0 + n4, i2 = i1 + n4, i3 = i2 + n4;
          T r1 = x[i0] - x[i2];
          x[i0] += x[i2];
          T r2 = x[i1] - x[i3];
          x[i1] += x[i3];
          T s1 = y[i0] - y[i2];
          y[i0] += y[i2];
          T s2 = y[i1] - y[i3];
          y[i1] += y[i3];
          const T s3 = r1 - s2;
          r1 += s2;
          s2 = r2 - s1;
          r2 += s1;
          x[i2] = r1 * cc1 - s2 * ss1;
          y[i2] = -s2 * cc1 - r1 * ss1;
          x[i3] = s3 * cc3 + r2 * ss3;
          y[i3] = r2 * cc3 - s3 * ss3;
        }
        is = 2 * id - n2 + j;
        id *= 4;
      }
    }
  }

  // The length-two butterflies left over.
  for (int is = 1, id = 4; is < N; is = 2 * id - 1, id *= 4) {
    for (int i0 = is; i0 <= N; i0 += id) {
      const int i1 = i0 + 1;
      const T r1 = x[i0];
      x[i0] = r1 + x[i1];
      x[i1] = r1 - x[i1];
      const T s1 = y[i0];
      y[i0] = s1 + y[i1];
      y[i1] = s1 - y[i1];
    }
  }

  for (int i = 1, j = 1; i < N; ++i) {
    if (i < j) {
      const T xt = x[j], yt = y[j];
      x[j] = x[i];
      y[j] = y[i];
      x[i] = xt;
      y[i] = yt;
    }
    int k = N / 2;
    while (k < j) {
      j -= k;
      k /= 2;
    }
    j += k;
  }
}

}  // namespace tulim
