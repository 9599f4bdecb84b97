// Radix-2 FFTs. The complex-array family (forward exp(-i...), inverse exp(+i...)) serves
// spectrum subtraction; fftInPlace and realFft on 1-based interleaved float arrays (forward
// exp(+i...)) serve the MFCC front end. Each keeps its own sign convention.
#pragma once

#include "complex.h"

namespace tulim {

// ---- Complex-array FFT ------------------------------------------------------------------
// Each returns false and does nothing when an array is null, n is 0 or n is not a power of
// two; true otherwise.

bool fftForward(complex* data, int n);
// With scale each result is divided by n.
bool fftInverse(complex* data, int n, bool scale);
// in is left unchanged; in and out must not overlap.
bool fftForwardCopy(const complex* in, complex* out, int n);
bool fftInverseCopy(const complex* in, complex* out, int n, bool scale);

// The steps of the transforms, for n a power of two: bit-reversal permutation (in place or
// into out), the butterflies and the 1/n scaling.
void fftBitReverse(complex* data, int n);
void fftBitReverseCopy(const complex* in, complex* out, int n);
void fftButterflies(complex* data, int n, bool inverse);
void fftScale(complex* data, int n);

// ---- Interleaved 1-based FFT ------------------------------------------------------------
// n must be a power of two of at least 2; anything else is a fatal error.

// s[1..n] holds n/2 complex values as (re, im) pairs. The inverse divides by n/2.
void fftInPlace(float* s, int n, bool invert);

// Real FFT of the n real samples s[1..n] in place: afterwards s[2k-1], s[2k] are the real
// and imaginary parts of bin k-1 for k = 2..n/2, s[1] holds bin 0 (the real sum of the
// samples) and s[2] is 0 (the Nyquist bin is dropped).
void realFft(float* s, int n);

}  // namespace tulim
