#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "arrayTemplate.h"
#include "audioClass.h"
#include "epdParam.h"
#include "signalTemplate.h"

namespace tulim {

namespace {

constexpr int CONTOUR_FS = 8000;

// Zeroes the pitch of frames that the volume/difference end points leave out.
void keepVoicedFrames(const std::vector<int>& wave, const ptParam& p, std::vector<double>& pitch) {
  audioClass audio;
  epdParam ep;
  audio.epdParamSet(CONTOUR_FS, ep);
  int count = 0;
  segment* seg = audio.epdByVolHod(wave.data(), static_cast<int>(wave.size()), CONTOUR_FS, ep, count);
  const int frameNum = static_cast<int>(pitch.size());
  std::vector<char> voiced(frameNum, 0);
  for (int k = 0; k < count; ++k)
    for (int f = seg[k].begin; f <= seg[k].end; ++f) {
      const int centre = audio.frameIndex2sampleIndex(f, ep.frameSize, ep.overlap);
      const int i = audio.sampleIndex2frameIndex(centre, p.frameSize, p.overlap);
      if (i >= 0 && i < frameNum) voiced[i] = 1;
    }
  free(seg);
  for (int i = 0; i < frameNum; ++i)
    if (!voiced[i]) pitch[i] = 0;
}

// Whole semitones times ten over the span from the first to the last non-zero value after
// the range clip, into a malloc'ed array.
void tenthsOfSpan(std::vector<double>& pitch, float low, float high, int*& out, int& outCount) {
  audioClass audio;
  const int n = static_cast<int>(pitch.size());
  audio.pitchRangeClip(pitch.data(), n, low, high);
  int first = 0, last = -1;
  audio.nonZeroSpan(pitch.data(), n, first, last);
  outCount = std::max(last - first + 1, 0);
  out = static_cast<int*>(malloc(sizeof(int) * static_cast<size_t>(std::max(outCount, 1))));
  if (!out) errorThrowf("Out of memory for %d pitch values (line %d of %s)", outCount, TULIM_HERE);
  for (int i = 0; i < outCount; ++i) out[i] = 10 * static_cast<int>(std::trunc(pitch[first + i]));
}

}  // namespace

bool audioClass::wave2pitchTenths(const std::vector<int16_t>& samples, int*& out, int& outCount, int fs, int nbits) {
  if (fs <= 0) errorThrowf("Sample rate fs=%d must be positive (line %d of %s)", fs, TULIM_HERE);
  std::vector<int> wave(samples.begin(), samples.end());
  if (fs != CONTOUR_FS) {
    printf("fs=%d ===> Resample to have fs=%d\n", fs, CONTOUR_FS);
    std::vector<int> resampled;
    if (!wave.empty()) {
      const int len = static_cast<int>(std::floor(static_cast<double>(wave.size() - 1) * CONTOUR_FS / fs)) + 1;
      resampled.resize(len);
      resample(wave.data(), static_cast<int>(wave.size()), fs, CONTOUR_FS, resampled.data(), len);
    }
    wave.swap(resampled);
  }
  if (nbits == 16) {
    printf("nbits=%d ===> Convert from nbits=16 to 8!\n", nbits);
    for (int& v : wave) v /= 256;
    nbits = 8;
  }
  ptParam p;
  ptParamSet(p, CONTOUR_FS, nbits, 1, nullptr);
  p.pfWeight = 1;
  p.indexDiffWeight = 200;

  const int waveLen = static_cast<int>(wave.size());
  const int frameNum = getFrameNum(waveLen, p.frameSize, p.overlap);
  std::vector<double> pitch(std::max(frameNum, 0), 0.0);
  wave2pitch<double>(wave.data(), waveLen, p, pitch.data(), nullptr, nullptr, nullptr);
  keepVoicedFrames(wave, p, pitch);

  std::vector<double> voiced(pitch);
  const int count = nonZeroCompact(voiced.data(), frameNum);
  // Without a voiced frame there is no median to narrow the range around: nothing is voiced.
  if (count > 0) {
    const double m = median(voiced.data(), count);
    p.minPitch = static_cast<float>(m - p.pitchRangeMax / 2);
    p.maxPitch = static_cast<float>(m + p.pitchRangeMax / 2);
    std::fill(pitch.begin(), pitch.end(), 0.0);
    wave2pitch<double>(wave.data(), waveLen, p, pitch.data(), nullptr, nullptr, nullptr);
    keepVoicedFrames(wave, p, pitch);
  }
  tenthsOfSpan(pitch, 34, 90, out, outCount);
  return true;
}

bool audioClass::pitch2tenths(const std::vector<double>& pitch, int*& out, int& outCount) {
  std::vector<double> copy(pitch);
  tenthsOfSpan(copy, 34, 80, out, outCount);
  return true;
}

bool audioClass::isTooQuiet(const std::vector<int16_t>& samples, int fs, int nbits, int level) {
  std::vector<int> wave(samples.begin(), samples.end());
  if (fs == 8000 && nbits == 16) {
    for (int& v : wave) v /= 256;
    nbits = 8;
  }
  ptParam p;
  ptParamSet(p, fs, nbits, 1, nullptr);
  long long limit = static_cast<long long>(level) * p.frameSize / 256;
  if (nbits == 16) limit *= 256;
  const int frameNum = getFrameNum(static_cast<int>(wave.size()), p.frameSize, p.overlap);
  std::vector<int> volume(std::max(frameNum, 0), 0);
  frame2volume(wave.data(), static_cast<int>(wave.size()), p.frameSize, p.overlap, volume.data(), 1);
  long long loudest = 0;
  for (int v : volume) loudest = std::max<long long>(loudest, v);
  return limit > loudest;
}

}  // namespace tulim
