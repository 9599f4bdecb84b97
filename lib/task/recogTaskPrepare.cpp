#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "CMel.h"
#include "arrayTemplate.h"
#include "audioFile.h"
#include "audioClass.h"
#include "mlfClass.h"
#include "numericUtil.h"
#include "outputDeferral.h"
#include "platform/platformClock.h"
#include "recogTask.h"
#include "signalTemplate.h"
#include "spectrumSubtract.h"
#include "utility.h"

namespace tulim {

namespace {

constexpr int TARGET_NBITS = 16;
constexpr int TARGET_FS = 16000;
constexpr double LOW_DYNAMIC_RANGE = 2.35456;

struct freeDeleter {
  void operator()(void* p) const { free(p); }
};

// The volume-check finding as the warning the result carries; empty for a usable wave.
std::string volumeCheckMessage(int code) {
  switch (code) {
    case 1:
      return strFormat("Volume check: Max volume too small. Please increase the microphone's gain. (line %d in %s)",
                       322, "recogTask");
    case 2:
      return strFormat(
          "Volume check: Min volume too big. Please use a uni-directional microphone. Do not use builtin "
          "microphones of notebooks. (line %d in %s)",
          325, "recogTask");
    case 3:
      return strFormat(
          "Volume check: Too many saturated wave samples. Please decrease the microphone's gain. Please do not "
          "turn on gain boost. (line %d in %s)",
          328, "recogTask");
    default:
      return "";
  }
}

// Whether the ratio of an upper-tenth to a lower-tenth frame volume is below the threshold.
// A wave of fewer than two volume frames has no range to measure and counts as wide.
bool lowDynamicRange(const std::vector<int>& volume) {
  const int f = static_cast<int>(volume.size());
  if (f < 2) return false;
  std::vector<int> sorted(static_cast<size_t>(f)), index(static_cast<size_t>(f));
  sortWithIndex(volume.data(), f, sorted.data(), index.data());
  const int k = std::max(f / 10, 1);
  int low = sorted[static_cast<size_t>(k - 1)];
  if (low == 0) low = 1;
  const int high = sorted[static_cast<size_t>(f - k - 1)];
  const float ratio = static_cast<float>(high) / static_cast<float>(low);
  return ratio < LOW_DYNAMIC_RANGE;
}

}  // namespace

int* recogTask::wavePrepare(int* samples, int& sampleCount, int& fs, int& nbits, recogParam& param, mlfClass& mlf,
                             std::vector<int>* frameVolumes) {
  if (frameVolumes) frameVolumes->clear();
  // The wave is ours from here on: every way out by a fatal error frees it.
  std::unique_ptr<int, freeDeleter> wave(samples);
  int count = sampleCount;

  if (nbits != TARGET_NBITS) {
    // 2^(16 - nbits) is 0 above 16 bits and leaves the int range far below 1 bit.
    if (nbits < 1 || nbits > TARGET_NBITS)
      errorThrowf("Error: nbits=%d is not supported; a wave must have 1 to %d bits per sample. (line %d of %s)", nbits,
                  TARGET_NBITS, TULIM_HERE);
    printf("nbits=%d ===> Amplify to have nbits=%d\n", nbits, TARGET_NBITS);
    // 8-bit samples come unsigned, silence at 128: amplified as they are, every 8-bit wave
    // would sit at the top of the 16-bit range and be taken for saturated.
    samplesTo16Bits(wave.get(), count, nbits);
    nbits = TARGET_NBITS;
  }

  if (fs != TARGET_FS) {
    if (fs <= 0) errorThrowf("Error: fs=%d is not a sampling rate. (line %d of %s)", fs, TULIM_HERE);
    printf("fs=%d ===> Resample to have fs=%d\n", fs, TARGET_FS);
    int newCount = 0;
    if (count > 0) {
      const double n = floor((count - 1.0) * TARGET_FS / fs) + 1;
      if (n > INT_MAX)
        errorThrowf("Error: %d samples at fs=%d give more than %d samples at fs=%d. (line %d of %s)", count, fs,
                    INT_MAX, TARGET_FS, TULIM_HERE);
      newCount = static_cast<int>(n);
    }
    std::unique_ptr<int, freeDeleter> resampled(
        static_cast<int*>(malloc(sizeof(int) * static_cast<size_t>(std::max(newCount, 1)))));
    if (!resampled) errorThrowf("Error: out of memory for %d samples. (line %d of %s)", newCount, TULIM_HERE);
    if (newCount > 0) audioClass().resample(wave.get(), count, fs, TARGET_FS, resampled.get(), newCount);
    wave = std::move(resampled);
    count = newCount;
    fs = TARGET_FS;
  }
  sampleCount = count;

  // The same frame volumes serve the volume check and the dynamic range.
  audioClass audio;
  std::vector<int> volume = audio.volumeCheckFrames(wave.get(), count);
  const int code = audio.volumeCheck(wave.get(), count, volume, param.volCheckPrmFile.c_str());
  const std::string message = volumeCheckMessage(code);
  if (!message.empty()) {
    mlf.m_warning.push_back(message);
    if (param.useWaveReject) errorThrow(message.c_str());
  }

  bool volumesKept = true;
  if (param.useSpecSubtraction && lowDynamicRange(volume)) {
    volumesKept = false;
    printf("Perform spectrum subtraction...\n");
    param.useDescCandidateNum = 0;
    int newCount = 0;
    std::unique_ptr<int, freeDeleter> cleaned(spectrumSubtract(wave.get(), count, fs, &newCount));
    wave = std::move(cleaned);
    count = newCount;
    sampleCount = count;
  }

  if (count > 0) {
    int* x = wave.get();
    long long sum = 0;
    int low = x[0], high = x[0];
    for (int i = 0; i < count; ++i) {
      sum += x[i];
      low = std::min(low, x[i]);
      high = std::max(high, x[i]);
    }
    const long long mean = sum / count;
    for (int i = 0; i < count; ++i) x[i] = saturateToInt(x[i] - mean);
    // The mean lies between the lowest and the highest sample: no sample clips unless they
    // are further apart than an int holds.
    if (static_cast<long long>(high) - low > INT_MAX) volumesKept = false;
  }
  if (frameVolumes && volumesKept) *frameVolumes = std::move(volume);
  return wave.release();
}

float* recogTask::epdAndMfcc(const recogParam& param, const int* samples, int sampleCount, int fs, int nbits,
                             int frameSize, int overlap, int& frameNum, int& vecSize, int& firstFrame) {
  const int hop = frameSize - overlap;
  if (hop < 1)
    errorThrowf("Error: frameSize=%d and overlap=%d leave no frame shift. (line %d of %s)", frameSize, overlap,
                TULIM_HERE);
  double start = monotonicSeconds();
  int begin = 0;
  int end = sampleCount - 1;

  if (param.useEpd) {
    audioClass audio;
    epdParam epd;
    audio.epdParamSet(fs, epd);
    int segmentCount = 0;
    std::unique_ptr<segment, freeDeleter> segments(audio.epdByVolHod(samples, sampleCount, fs, epd, segmentCount));
    // A wave no longer than the shortest speech segment cannot hold one, however loud it is.
    const double seconds = fs > 0 ? static_cast<double>(sampleCount) / fs : 0.0;
    if (segmentCount <= 0 && seconds <= epd.minSegment)
      errorThrowf("Error: the wave %s is too short for end-point detection: %.0f ms (sampleCount=%d at fs=%d); "
                  "speech must last longer than %.0f ms. (line %d of %s)",
                  param.wavFile.empty() ? "(samples in memory)" : param.wavFile.c_str(), seconds * 1000, sampleCount,
                  fs, epd.minSegment * 1000.0, TULIM_HERE);
    // Features of a wave without speech would only let the search force silence into words.
    if (segmentCount <= 0)
      errorThrowf("Error: End-point detection found no speech in the wave (sampleCount=%d). (line %d of %s)",
                  sampleCount, TULIM_HERE);
    const segment* seg = segments.get();
    begin = audio.frameIndex2sampleIndex(seg[0].begin, epd.frameSize, epd.overlap);
    end = audio.frameIndex2sampleIndex(seg[segmentCount - 1].end, epd.frameSize, epd.overlap);
  }

  const int first = doubleRound(static_cast<double>(begin) / hop);
  begin = hop * first;
  const int last = doubleRound(static_cast<double>(end) / hop);
  end = static_cast<int>(
      std::min(static_cast<long long>(hop) * last + frameSize - 1, static_cast<long long>(sampleCount) - 1));

  outPrintf("%4.3f sec: EPD\n", monotonicSeconds() - start);
  outPrintf("\twaveBeginIndex=%d, waveEndIndex=%d\n", begin, end);
  outPrintf("\twaveBeginFrameId=%d, waveEndFrameId=%d\n", first, last);

  start = monotonicSeconds();
  // A span that rounding moved past the end of the wave keeps nothing.
  const int keptLen = begin < sampleCount ? std::max(end - begin + 1, 0) : 0;
  CMel mel;
  int nFrames = 0, size = 0;
  mel.computeMfcc(keptLen > 0 ? samples + begin : samples, fs, nbits, keptLen, param.featureConfigFile.c_str(),
                  &nFrames, &size);
  if (nFrames > MAX_FRAME_NUM) errorThrowf("frameNum = %d > %d, frameNum too big!", nFrames, MAX_FRAME_NUM);
  // Caught here, where the wave is known, rather than by the search, which knows only frames.
  if (nFrames < 1)
    errorThrowf("Error: the wave %s is too short for one feature frame: %d samples kept of %d (line %d of %s)",
                param.wavFile.empty() ? "(samples in memory)" : param.wavFile.c_str(), keptLen, sampleCount,
                TULIM_HERE);

  const size_t values = static_cast<size_t>(nFrames) * static_cast<size_t>(size);
  float* features = static_cast<float*>(malloc(sizeof(float) * std::max<size_t>(values, 1)));
  if (!features) errorThrowf("Error: out of memory for %d feature frames. (line %d of %s)", nFrames, TULIM_HERE);
  if (values > 0) memcpy(features, mel.features.data(), sizeof(float) * values);

  outPrintf("%4.3f sec: Compute MFCC (cfgFile=%s)\n", monotonicSeconds() - start, param.featureConfigFile.c_str());
  frameNum = nFrames;
  vecSize = size;
  firstFrame = first;
  return features;
}

}  // namespace tulim
