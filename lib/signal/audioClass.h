// The audio routines: a class without data whose members frame a wave, measure it, find
// its end points, check its volume, condition it and set up pitch tracking. Callers build
// a local instance and call its members.
#pragma once

#include <cstdint>
#include <vector>

#include "ptParam.h"

namespace tulim {

class audioClass {
 public:
  // ---- Frames, volume and end points ----------------------------------------------------

  // ---- Volume check ----------------------------------------------------------------------

  // ---- Pitch-tracking parameters ---------------------------------------------------------
  // A parameter file holds the 22 keys that ptParamRead accepts; ptParamPrint writes a file
  // that reads back.

  // Defaults for the rate, depth and method (0 AMDF, 1 ACF; another is fatal), the tuned
  // rows, then the keys of fileName when it names a file that can be opened (an unreadable
  // name is ignored); warns about frames shorter than 32 ms and sets frameRate. A frame
  // that is not longer than its overlap is fatal.
  void ptParamSet(ptParam& p, int fs, int nbits, int pfType, const char* fileName);
  // The keys of a key = value file into p; an unknown key is fatal.
  void ptParamRead(const char* fileName, ptParam& p);
  // ptParamSet without a file, then 32 ms frames at the given frame rate; returns the hop.
  int ptParamSetByFrameRate(ptParam& p, float frameRate, int fs, int nbits, int pfType);
  // Writes p as a key = value file (one "key=value" line per readable key).
  void ptParamPrint(const ptParam& p, const char* fileName);
  // One "ptParam-><field>=<value> (line=N, file=audio)" line per field on standard output.
  void ptParamDump(const ptParam& p);
  // Every candidate list on standard output, values truncated to integers.
  void ppcFramePrint(const ppcFrame* frames, int n);

  // ---- Spectra and the 8 kHz pitch contour -----------------------------------------------
  // Spectra use the split-radix fft of spectrum.h. Arrays returned through out& are
  // malloc'ed and freed by the caller.

  // x[i] *= 0.54 - 0.46 cos(2 pi i / (n - 1)).
  void hammingWindow(float* x, int n);
  // The frame (within the first half of the span) where the power spectrum changes most
  // between frames two apart; 512-point spectra, so a frame longer than 512 is fatal. A
  // span of fewer than 3 frames has no change to measure and gives 0.
  int wave2spectrogram(const int* wave, int waveLen, int frameSize, int overlap);
  // Magnitude spectra (n bins) of frameNum rows of n samples, single-precision fft.
  void frames2magSpectrum(const double* frames, int n, int frameNum, bool useHamming, double* out);
  // Magnitude spectra of the frames of a wave: paddedSize/2 + 1 bins per frame into out.
  void wave2magSpectrum(const double* wave, int waveLen, int frameSize, int overlap, int paddedSize,
                        bool useHammingWin, double* out);
  // The pitch contour at 8000 Hz and 8 bits in whole semitones times ten, over the span from
  // the first to the last voiced frame (pitch 34 to 90 semitones kept).
  bool wave2pitchTenths(const std::vector<int16_t>& samples, int*& out, int& outCount, int fs, int nbits);
  // The same contour from a pitch track in semitones (34 to 80 kept).
  bool pitch2tenths(const std::vector<double>& pitch, int*& out, int& outCount);
  // True when the loudest frame stays below a level given for 256-sample 8-bit frames.
  bool isTooQuiet(const std::vector<int16_t>& samples, int fs, int nbits, int level);

  // ---- Wave conditioning and small routines ----------------------------------------------
};

}  // namespace tulim
