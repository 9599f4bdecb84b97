// The interleaved 1-based FFTs of fft.h (fftInPlace, realFft) for one size, with their
// twiddle factors and bit-reversal swaps worked out once. The MFCC front end keeps one for
// all the frames of an utterance; the free functions make one a call.
#pragma once

#include <vector>

namespace tulim {

class fftPlan {
 public:
  // An empty plan, to be replaced before use.
  fftPlan() = default;
  // n must be a power of two of at least 2; anything else is a fatal error.
  fftPlan(int n, bool invert);

  int size() const { return m_n; }
  bool inverse() const { return m_invert; }

  // fftInPlace(s, size(), inverse()).
  void transform(float* s) const;
  // realFft(s, size()); a forward plan only.
  void realTransform(float* s) const;

 private:
  int m_n = 0;
  bool m_invert = false;
  // Complex positions (1-based float index of the real part) swapped by the bit reversal.
  std::vector<int> m_swapFrom, m_swapTo;
  // The twiddle factors of every stage, the stage of span limit from index limit / 2 - 1 on:
  // the values the recurrence of the butterfly loop takes, so every butterfly multiplies by
  // the very same doubles.
  std::vector<double> m_wr, m_wi;
  // The factors of the real-FFT untangling for i = 2 .. n / 4, from index i - 2 on.
  std::vector<double> m_yr, m_yi;
};

}  // namespace tulim
