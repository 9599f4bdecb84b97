// The pitch-tracking parameter record and the per-frame candidate lists of the tracker.
// Filled by audioClass::ptParamSet (defaults by rate, depth and method, then a key = value
// file), read and partly rewritten by wave2pitch and its helpers (pitchTemplate.h).
#pragma once

#include <vector>

namespace tulim {

struct ptParam {
  int fs;                      // sample rate
  int nbits;                   // bits per sample
  int pfType;                  // pitch function: 0 AMDF, 1 ACF
  int frameSize;               // samples per frame
  int overlap;                 // samples shared by neighbouring frames
  int pfLen;                   // lags per pitch function
  int ppcNum;                  // carried and printed only
  float minPitch;              // lowest pitch, semitones
  float maxPitch;              // highest pitch, semitones
  float pitchRangeMax;         // width of the second pass's range, semitones
  float pitchDiffMax;          // carried and printed only
  float maxMedianPitchDiff;    // carried and printed only
  int dpMethod;                // 1: lag distance; 2: distance in tenths of semitones
  int dpPosDiffOrder;          // 1: linear jump penalty; otherwise squared
  int dpUseLocalOptim;         // 1: candidates are local extrema; otherwise every lag
  float pfWeight;              // weight of the pitch-function value in the path score
  float indexDiffWeight;       // weight of the jump penalty
  int useVolThreshold;         // silence frames outside speech
  int useClarityThreshold;     // silence frames of low clarity
  float clarityRatio;          // clarity threshold as a fraction of the largest clarity
  int medianFilterOrder;       // median filter length; below 3 no filtering
  int cutLeadingTrailingZero;  // drop leading and trailing zero pitch
  float maxAmdfLocalMinCount;  // carried only
  float minAmdfRange;          // carried only
  bool halfOfFs;               // carried only
  bool halfOfNbits;            // carried only
  int frameRate;               // frames per second
  int weightPfByClarity;       // compute clarity and weight the pitch functions by it
  int minLag;                  // lag range of the candidates, set by the tracker on every run
  int maxLag;
};

// One pitch candidate of a frame: a lag and its place on the best partial path.
struct ppcCandidate {
  int index;         // lag in samples
  double pfValue;    // the frame's pitch function at that lag
  int from;          // position of the best predecessor in the previous frame's list, -1 in a run's first frame
  double totalDist;  // accumulated path score
};

// The candidates of one frame.
struct ppcFrame {
  int ppcLen = 0;                 // number of candidates
  int pathIndex = -1;             // the lag the path chose, -1 until chosen
  std::vector<ppcCandidate> ppc;  // the candidates, in ascending lag order
};

}  // namespace tulim
