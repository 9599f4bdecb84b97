// The frame blocking and the two threshold ratios with which audioClass::vol2voicedFlags
// turns frame volumes into voiced flags (the third ratio is carried, never read).
#pragma once

namespace tulim {

struct voicedFlagParam {
  int frameSize;
  int overlap;
  double ratio1;  // divisor of the volume range for the widening threshold volTh1
  double ratio2;  // divisor of the volume range for the voicing threshold volTh2
  double ratio3;
};

}  // namespace tulim
