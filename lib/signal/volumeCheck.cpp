#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "audioClass.h"
#include "lineFile.h"
#include "signalTemplate.h"
#include "utility.h"

namespace tulim {

namespace {

constexpr int VOL_FRAME_SIZE = audioClass::VOLUME_FRAME_SIZE;
constexpr int VOL_OVERLAP = audioClass::VOLUME_OVERLAP;

void volCheckPrmDefault(volCheckPrm& prm) {
  prm.maxVolTh = 140;
  prm.minVolTh = 30;
  prm.satAmpRatio = 0.95f;
  prm.satSampleCountRatioTh = 0.005f;
}

}  // namespace

void audioClass::volCheckPrmRead(const char* fileName, volCheckPrm& prm) {
  volCheckPrmDefault(prm);
  if (!fileName || !*fileName) return;
  strVec keys, values;
  keyValueFileRead(fileName, keys, values);
  for (size_t i = 0; i < keys.size(); ++i) {
    const float value = keyValueFloat(fileName, keys[i], values[i]);
    if (keys[i] == "maxVolTh")
      prm.maxVolTh = value;
    else if (keys[i] == "minVolTh")
      prm.minVolTh = value;
    else if (keys[i] == "satAmpRatio")
      prm.satAmpRatio = value;
    else if (keys[i] == "satSampleCountRatioTh")
      prm.satSampleCountRatioTh = value;
    else
      errorThrowf("Error in parsing %s, unknown key = %s (line %d in %s)", fileName, keys[i].c_str(), __LINE__,
                  "audio");
  }
}

void audioClass::volCheckPrmPrint(const volCheckPrm& prm) {
  printf("volCheckPrm->maxVolTh=%g (line=%d, file=audio)\n", prm.maxVolTh, __LINE__);
  printf("volCheckPrm->minVolTh=%g (line=%d, file=audio)\n", prm.minVolTh, __LINE__);
  printf("volCheckPrm->satAmpRatio=%g (line=%d, file=audio)\n", prm.satAmpRatio, __LINE__);
  printf("volCheckPrm->satSampleCountRatioTh=%g (line=%d, file=audio)\n", prm.satSampleCountRatioTh, __LINE__);
}

std::vector<int> audioClass::volumeCheckFrames(const int* wave, int waveLen) {
  std::vector<int> vol(static_cast<size_t>(std::max(getFrameNum(waveLen, VOL_FRAME_SIZE, VOL_OVERLAP), 0)), 0);
  if (!vol.empty()) frame2volume(wave, waveLen, VOL_FRAME_SIZE, VOL_OVERLAP, vol.data(), 1);
  return vol;
}

int audioClass::volumeCheck(const int* wave, int waveLen, const char* fileName) {
  return volumeCheck(wave, waveLen, volumeCheckFrames(wave, waveLen), fileName);
}

int audioClass::volumeCheck(const int* wave, int waveLen, const std::vector<int>& vol, const char* fileName) {
  volCheckPrm prm;
  volCheckPrmRead(fileName, prm);
  const int frameNum = getFrameNum(waveLen, VOL_FRAME_SIZE, VOL_OVERLAP);
  if (frameNum <= 0) {
    printf("Warning: volume check skipped, the wave has %d samples, less than one frame of %d\n", waveLen,
           VOL_FRAME_SIZE);
    return 0;
  }
  if (vol.size() != static_cast<size_t>(frameNum))
    errorThrowf("Error: %d frame volumes for a wave of %d frames (line %d in %s)", static_cast<int>(vol.size()),
                frameNum, __LINE__, "audio");

  const int maxVol = maxValue(vol.data(), frameNum);
  const int minVol = minValue(vol.data(), frameNum);

  int code = 0;
  if (VOL_FRAME_SIZE * prm.maxVolTh > static_cast<float>(maxVol)) code = 1;
  if (static_cast<float>(minVol) > VOL_FRAME_SIZE * prm.minVolTh) code = 2;

  const float satTh = static_cast<float>(prm.satAmpRatio * 32768.0);
  // Counted without a branch, so the loop runs in vector lanes; the count never passes waveLen.
  int satCount = 0;
  for (int i = 0; i < waveLen; ++i) {
    const float x = static_cast<float>(wave[i]);
    satCount += (x > satTh) | (x < -satTh);
  }
  const float figure = static_cast<float>(satCount / frameNum);
  if (figure > prm.satSampleCountRatioTh) code = 3;
  return code;
}

}  // namespace tulim
