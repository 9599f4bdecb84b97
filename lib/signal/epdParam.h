// The end-point detection parameters: frame blocking, thresholds and the duration limits
// of speech segments. Filled by audioClass::epdParamSet, read by the volume-based detectors
// (epdByVolHod, epdByVol) and passed on by the task pipeline and the pitch tracker.
#pragma once

namespace tulim {

struct epdParam {
  int frameSize;              // samples per frame
  int overlap;                // samples shared by neighbouring frames
  int volRatio;               // divisor of the volume range for the volume threshold
  int vhRatio;                // divisor of the range of the volume/difference mix
  int diffOrder;              // order of the high-order difference, 1 to 5
  float volWeight;            // carried and printed only
  int extendNum;              // carried and printed only
  float minSegment;           // seconds; a speech segment must be longer than this
  float maxSilBetweenWord;    // seconds; largest silence before a short last segment
  float minLastWordDuration;  // seconds; a far-off last segment must be longer than this
};

}  // namespace tulim
