// The volume-check thresholds: built-in defaults or a key = value file whose keys are the
// field names. Read by audioClass::volCheckPrmRead for audioClass::volumeCheck, which wave
// preparation runs on every 16-bit, 16000 Hz utterance.
#pragma once

namespace tulim {

struct volCheckPrm {
  float maxVolTh;               // least acceptable loudest-frame volume, per sample of a frame
  float minVolTh;               // largest acceptable quietest-frame volume, per sample of a frame
  float satAmpRatio;            // saturated: magnitude above this fraction of 32768
  float satSampleCountRatioTh;  // limit of saturated samples per frame (an integer figure)
};

}  // namespace tulim
