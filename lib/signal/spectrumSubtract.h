// Spectrum subtraction: removes stationary background noise, estimated from the first
// quarter second, from an utterance. Used by wave preparation.
#pragma once

namespace tulim {

// Returns a calloc'ed array of *outCount samples (the caller frees it); x is not changed.
// Frames of fs * 0.032 samples (512 at 16000 Hz) overlapping by 60 % are Hamming-windowed,
// their mean noise power is subtracted bin by bin keeping the phase, and they are added
// back; the tail that fills no whole hop is dropped (16000 samples give 15887).
// A frame length that is not a power of two is a fatal error. Input shorter than the noise
// estimate reads comes back as an unchanged copy of n samples, after a "Warning" line.
int* spectrumSubtract(const int* x, int n, int fs, int* outCount);

}  // namespace tulim
