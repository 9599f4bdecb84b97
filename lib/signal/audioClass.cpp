#include "audioClass.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "arrayTemplate.h"
#include "numericUtil.h"
#include "signalTemplate.h"
#include "utility.h"

namespace tulim {

namespace {

// The level in dB given to a frame without energy.
const double SILENT_LEVEL = -2147483647.0;

// A malloc'ed segment block that holds no record but can still be freed; malloc(0) may
// give null, which callers could take for a failure.
segment* emptySegmentBlock() {
  segment* block = static_cast<segment*>(malloc(sizeof(segment)));
  if (!block) errorThrowf("Cannot allocate a segment block (line %d of %s)", TULIM_HERE);
  return block;
}

// Frames whose flag is 0 join a run of set flags while their value reaches lower: every
// run grows to the left from its rise and to the right from its fall.
void widenRuns(const int* value, int n, long long lower, int* flags) {
  std::vector<int> original(flags, flags + n);
  for (int i = 0; i + 1 < n; ++i) {
    if (!original[i] && original[i + 1])
      for (int j = i; j >= 0 && value[j] >= lower; --j) flags[j] = 1;
    if (original[i] && !original[i + 1])
      for (int j = i + 1; j < n && value[j] >= lower; ++j) flags[j] = 1;
  }
}

// The segments of the frames whose measure lies strictly above a threshold set at
// 1/ratio of the measure's range, the range taken without the outer 1/32 of the frames at
// either end; then the duration rules of the end-point parameters.
segment* segmentsAboveRange(const std::vector<int>& measure, int fs, const epdParam& param, int ratio,
                            const char* ratioName, int& segmentCount) {
  segmentCount = 0;
  const int frameNum = static_cast<int>(measure.size());
  if (ratio == 0) errorThrowf("epdParam.%s = 0 cannot divide the range (line %d of %s)", ratioName, TULIM_HERE);
  if (frameNum == 0) return emptySegmentBlock();

  const float hop = static_cast<float>(param.frameSize - param.overlap);
  const int minSegFrames = floatRound(static_cast<float>(fs) * param.minSegment / hop);
  const int maxSilFrames = floatRound(static_cast<float>(fs) * param.maxSilBetweenWord / hop);
  const int minLastFrames = floatRound(static_cast<float>(fs) * param.minLastWordDuration / hop);

  std::vector<int> sorted(frameNum), index(frameNum);
  sortWithIndex(measure.data(), frameNum, sorted.data(), index.data());
  int k = floatRound(static_cast<float>(frameNum / 32.0));
  if (k < 1) k = 1;
  const long long low = sorted[k - 1];
  const long long high = sorted[frameNum - k];
  const long long threshold = (high - low) / ratio + low;

  std::vector<int> voiced(frameNum);
  for (int i = 0; i < frameNum; ++i) voiced[i] = measure[i] > threshold ? 1 : 0;
  int count = 0;
  segment* block = binary2segments(voiced.data(), frameNum, &count);

  for (int i = 0; i < count; ++i)
    if (block[i].duration <= minSegFrames) block[i].valid = 0;

  int last = count - 1;
  while (last >= 0 && !block[last].valid) --last;
  int previous = last - 1;
  while (previous >= 0 && !block[previous].valid) --previous;
  if (last >= 0 && previous >= 0 && block[last].begin - block[previous].end > maxSilFrames &&
      block[last].duration <= minLastFrames)
    block[last].valid = 0;

  for (int i = 0; i < count; ++i)
    if (block[i].valid) block[segmentCount++] = block[i];
  return block;
}

}  // namespace

// ---- Frames, volume and end points ----------------------------------------------------------

void audioClass::epdParamSet(int fs, epdParam& param) {
  param.frameSize = static_cast<int>(fs / 62.5);
  param.overlap = 0;
  param.volRatio = 10;
  param.vhRatio = 10;
  param.diffOrder = 4;
  param.volWeight = 0.5f;
  param.extendNum = 1;
  param.minSegment = 0.05f;
  param.maxSilBetweenWord = 0.7f;
  param.minLastWordDuration = 0.1f;
}

void audioClass::epdParamPrint(const epdParam& param) {
  printf("epdParam.frameSize=%d\n", param.frameSize);
  printf("epdParam.overlap=%d\n", param.overlap);
  printf("epdParam.volRatio=%d\n", param.volRatio);
  printf("epdParam.vhRatio=%d\n", param.vhRatio);
  printf("epdParam.diffOrder=%d\n", param.diffOrder);
  printf("epdParam.volWeight=%f\n", param.volWeight);
  printf("epdParam.extendNum=%d\n", param.extendNum);
  printf("epdParam.minSegment=%f\n", param.minSegment);
  printf("epdParam.maxSilBetweenWord=%f\n", param.maxSilBetweenWord);
  printf("epdParam.minLastWordDuration=%f\n", param.minLastWordDuration);
}

int audioClass::getFrameNum(int waveLen, int frameSize, int overlap) {
  const long long hop = static_cast<long long>(frameSize) - overlap;
  if (hop < 1 || frameSize < 1)
    errorThrowf("frameSize = %d with overlap = %d leaves no hop between frames (line %d of %s)", frameSize, overlap,
                TULIM_HERE);
  if (waveLen < frameSize) return 0;
  return static_cast<int>((static_cast<long long>(waveLen) - overlap) / hop);
}

int audioClass::frameIndex2sampleIndex(int i, int frameSize, int overlap) {
  const long long hop = static_cast<long long>(frameSize) - overlap;
  return static_cast<int>(hop * i + frameSize / 2 - 1);
}

int audioClass::sampleIndex2frameIndex(int s, int frameSize, int overlap) {
  const float hop = static_cast<float>(frameSize - overlap);
  const int frame = floatRound((static_cast<float>(static_cast<long long>(s) + 1) - frameSize / 2.0f) / hop);
  return frame < 0 ? 0 : frame;
}

int audioClass::frameStartIndex(int waveLen, int frameSize, int overlap, int* out) {
  const int frameNum = getFrameNum(waveLen, frameSize, overlap);
  for (int i = 0; i < frameNum; ++i) out[i] = (frameSize - overlap) * i;
  return frameNum;
}

void audioClass::wave2hod(const int* wave, int waveLen, int frameSize, int overlap, int* out, int order) {
  const int frameNum = getFrameNum(waveLen, frameSize, overlap);
  const int hop = frameSize - overlap;
  for (int i = 0; i < frameNum; ++i) out[i] = frame2hod(wave + static_cast<long long>(i) * hop, frameSize, order);
}

void audioClass::wave2zcr(const int* wave, int waveLen, int frameSize, int overlap, int* out) {
  const int frameNum = getFrameNum(waveLen, frameSize, overlap);
  const int hop = frameSize - overlap;
  for (int i = 0; i < frameNum; ++i)
    out[i] = zeroCrossingCount(wave + static_cast<long long>(i) * hop, frameSize);
}

segment* audioClass::epdByVolHod(const int* wave, int waveLen, int fs, const epdParam& param, int& segmentCount) {
  const int frameNum = getFrameNum(waveLen, param.frameSize, param.overlap);
  std::vector<int> vol(frameNum), hod(frameNum), vh(frameNum);
  frame2volume(wave, waveLen, param.frameSize, param.overlap, vol.data(), 1);
  wave2hod(wave, waveLen, param.frameSize, param.overlap, hod.data(), param.diffOrder);
  for (int i = 0; i < frameNum; ++i) vh[i] = static_cast<int>((static_cast<long long>(vol[i]) + hod[i]) / 2);
  return segmentsAboveRange(vh, fs, param, param.vhRatio, "vhRatio", segmentCount);
}

segment* audioClass::epdByVol(const int* wave, int waveLen, int fs, const epdParam& param, int& segmentCount) {
  const int frameNum = getFrameNum(waveLen, param.frameSize, param.overlap);
  std::vector<int> vol(frameNum);
  frame2volume(wave, waveLen, param.frameSize, param.overlap, vol.data(), 1);
  return segmentsAboveRange(vol, fs, param, param.volRatio, "volRatio", segmentCount);
}

void audioClass::epdByVolZcr(const int* wave, int waveLen, int, int& begin, int& end) {
  const int frameSize = 320, overlap = 240;
  const int frameNum = getFrameNum(waveLen, frameSize, overlap);
  begin = end = -1;
  if (frameNum == 0) return;
  std::vector<int> vol(frameNum), zcr(frameNum);
  frame2volume(wave, waveLen, frameSize, overlap, vol.data(), 1);
  wave2zcr(wave, waveLen, frameSize, overlap, zcr.data());
  const int volMax = maxValue(vol.data(), frameNum);
  const double zcrTh = 0.4 * maxValue(zcr.data(), frameNum);

  // A silent (or flat) wave has no frame above volMax/8: no speech, not frame 0.
  if (volMax == 0) return;
  int first = 0, last = 0;
  for (int i = 0; i < frameNum; ++i)
    if (vol[i] > volMax / 8) {
      first = i;
      break;
    }
  for (int i = frameNum - 1; i >= 0; --i)
    if (vol[i] > volMax / 8) {
      last = i;
      break;
    }
  while (first > 0 && vol[first - 1] > volMax / 16) --first;
  while (first > 0 && zcr[first - 1] > zcrTh) --first;
  while (last < frameNum - 1 && vol[last + 1] > volMax / 16) ++last;
  while (last < frameNum - 1 && zcr[last + 1] > zcrTh) ++last;
  begin = frameIndex2sampleIndex(first, frameSize, overlap);
  end = frameIndex2sampleIndex(last, frameSize, overlap);
}

int audioClass::epdByVolTwoTh(const int* wave, int waveLen, int, std::vector<int>& boundaries) {
  const int frameSize = 512, overlap = 192;
  const int frameNum = getFrameNum(waveLen, frameSize, overlap);
  boundaries.clear();
  if (frameNum == 0) return 0;
  std::vector<int> vol(frameNum);
  frame2volume(wave, waveLen, frameSize, overlap, vol.data(), 1);
  const long long volMin = minValue(vol.data(), frameNum);
  const long long volMax = maxValue(vol.data(), frameNum);
  // Without any volume both thresholds are 0 and every frame would pass as speech.
  if (volMax == 0) return 0;
  long long lower = volMin * 10, upper = volMin * 20;
  if (upper > volMax / 4) {
    lower = volMax / 8;
    upper = 2 * lower;
  }
  if (volMax > 128 * upper) {
    lower = volMax / 128;
    upper = 2 * lower;
  }

  std::vector<int> voiced(frameNum);
  for (int i = 0; i < frameNum; ++i) voiced[i] = vol[i] >= upper ? 1 : 0;
  widenRuns(vol.data(), frameNum, lower, voiced.data());

  if (voiced[0]) boundaries.push_back(0);
  for (int i = 0; i + 1 < frameNum; ++i) {
    if (!voiced[i] && voiced[i + 1]) boundaries.push_back(i + 1);
    if (voiced[i] && !voiced[i + 1]) boundaries.push_back(i);
  }
  if (voiced[frameNum - 1]) boundaries.push_back(frameNum - 1);
  return static_cast<int>(boundaries.size());
}

int audioClass::vol2voicedFlags(const int* vol, int n, const voicedFlagParam& param, int* flags) {
  const int ratio1 = static_cast<int>(param.ratio1), ratio2 = static_cast<int>(param.ratio2);
  if (ratio1 == 0 || ratio2 == 0)
    errorThrowf("Volume ratios %g and %g must not truncate to 0 (line %d of %s)", param.ratio1, param.ratio2,
                TULIM_HERE);
  const long long maxVol = n > 0 ? maxValue(vol, n) : 0;
  const long long minVol = n > 0 ? minValue(vol, n) : 0;
  const int volTh1 = saturateToInt((maxVol - minVol) / ratio1 + minVol);
  const int volTh2 = saturateToInt((maxVol - minVol) / ratio2 + minVol);
  for (int i = 0; i < n; ++i) flags[i] = vol[i] >= volTh2 ? 1 : 0;
  widenRuns(vol, n, volTh1, flags);
  vec2file("volTh1.txt", &volTh1, 1);
  vec2file("volTh2.txt", &volTh2, 1);
  printf("volTh1=%d, volTh2=%d, maxVol=%d, minVol=%d\n", volTh1, volTh2, static_cast<int>(maxVol),
         static_cast<int>(minVol));
  return n - 1;
}

int audioClass::epdByDb(double* wave, int waveLen, int fs, double* begins, double* ends, int maxCount) {
  const int frameSize = 256, overlap = 86, hop = frameSize - overlap;
  for (int i = 0; i < maxCount; ++i) begins[i] = ends[i] = -1;
  if (waveLen > 0) {
    double mean = 0;
    for (int i = 0; i < waveLen; ++i) mean += wave[i];
    mean /= waveLen;
    for (int i = 0; i < waveLen; ++i) wave[i] -= mean;
  }
  const int frameNum = getFrameNum(waveLen, frameSize, overlap);
  if (frameNum == 0 || maxCount < 1) return 0;

  std::vector<double> level(frameNum);
  std::vector<int> zcr(frameNum);
  for (int i = 0; i < frameNum; ++i) {
    const double* frame = wave + static_cast<long long>(i) * hop;
    const double power = meanSquare(frame, frameSize);
    level[i] = power == 0 ? SILENT_LEVEL : 10 * log10(power);
    zcr[i] = zeroCrossingCount(frame, frameSize);
  }
  const double maxLevel = maxValue(level.data(), frameNum);
  // All frames silent: every one would be within 20 dB of the loudest.
  if (maxLevel == SILENT_LEVEL) return 0;
  const int maxZcr = maxValue(zcr.data(), frameNum);

  std::vector<int> loud;
  for (int i = 0; i < frameNum; ++i)
    if (level[i] >= maxLevel - 20) loud.push_back(i);
  const int loudNum = static_cast<int>(loud.size());

  std::vector<int> segBegin(1, loud[0]), segEnd;
  bool full = false;
  for (int j = 1; j + 1 < loudNum; ++j) {
    if (loud[j + 1] - loud[j] > 1) {
      segEnd.push_back(loud[j]);
      if (static_cast<int>(segEnd.size()) == maxCount) {
        // Every slot is taken and closed: the frames after this gap have nowhere to go.
        printf("Warning: some characters are not recorded due to limited length!\n");
        full = true;
        break;
      }
      segBegin.push_back(loud[j + 1]);
    }
  }
  if (!full) segEnd.push_back(loud[loudNum - 1]);

  std::vector<int> keptBegin, keptEnd;
  for (size_t j = 0; j < segBegin.size(); ++j)
    if (segEnd[j] - segBegin[j] >= fs / 1600) {
      keptBegin.push_back(segBegin[j]);
      keptEnd.push_back(segEnd[j]);
    }
  const int kept = static_cast<int>(keptBegin.size());
  for (int j = 0; j < kept; ++j) {
    int& b = keptBegin[j];
    int& e = keptEnd[j];
    while (b > 0 && level[b - 1] > maxLevel - 30) --b;
    while (e < frameNum - 1 && level[e + 1] > maxLevel - 30) ++e;
    while (b > 0 && zcr[b - 1] > maxZcr * 1.0) --b;
  }

  int count = 0;
  for (int j = 0; j < kept; ++j) {
    if (j + 1 < kept && keptBegin[j] == keptBegin[j + 1] && keptEnd[j] == keptEnd[j + 1]) continue;
    begins[count] = static_cast<double>(keptBegin[j]) * hop;
    ends[count] = (static_cast<double>(keptEnd[j]) + 1) * hop + overlap - 1;
    ++count;
  }
  return count;
}

void audioClass::epdByDbEnds(double* wave, int waveLen, int fs, int& begin, int& end) {
  const int maxCount = 100;
  std::vector<double> begins(maxCount), ends(maxCount);
  const int count = epdByDb(wave, waveLen, fs, begins.data(), ends.data(), maxCount);
  begin = end = -1;
  if (count == 0) return;
  begin = static_cast<int>(begins[0]);
  end = static_cast<int>(ends[count - 1]);
}

void audioClass::epdByAbsSumZcr(double* wave, int waveLen, int fs, int nbits, int ends[2]) {
  const int frameSize = 256, hop = 128;
  const double scale = std::ldexp(1.0, nbits) / 2;
  for (int i = 0; i < waveLen; ++i) wave[i] *= scale;
  ends[0] = ends[1] = -1;
  const int frameNum = getFrameNum(waveLen, frameSize, frameSize - hop);
  if (frameNum == 0) return;

  std::vector<double> level(frameNum), frame(frameSize);
  std::vector<int> zcr(frameNum);
  for (int i = 0; i < frameNum; ++i) {
    const double* start = wave + static_cast<long long>(i) * hop;
    double mean = 0;
    for (int j = 0; j < frameSize; ++j) mean += start[j];
    mean /= frameSize;
    for (int j = 0; j < frameSize; ++j) frame[j] = start[j] - mean;
    level[i] = absSum(frame.data(), frameSize);
    zcr[i] = zeroCrossingCount(frame.data(), frameSize);
  }
  const int s = static_cast<int>(std::floor((0.2 * fs - 128) / 128));
  for (int i = 0; i < frameNum && i < s - 1; ++i) {
    level[i] = 0;
    zcr[i] = 0;
  }
  const double levelTh = 0.15 * maxValue(level.data(), frameNum);
  const double zcrTh = 0.35 * maxValue(zcr.data(), frameNum);
  const int from = s < 0 ? 0 : s;
  std::vector<int> voiced(frameNum, 0);
  for (int i = from; i < frameNum; ++i) voiced[i] = level[i] > levelTh && zcr[i] < zcrTh ? 1 : 0;

  if (s >= 0)
    for (int i = s; i < frameNum && voiced[i]; ++i) voiced[i] = 0;
  const int scanEnd = fs / 128 - 1;
  for (int i = from; i <= scanEnd && i + 2 < frameNum; ++i)
    if (!voiced[i] && voiced[i + 1] && !voiced[i + 2]) {
      voiced[i + 1] = 0;
      break;
    }
  for (int i = from; i <= scanEnd && i + 3 < frameNum; ++i)
    if (!voiced[i] && voiced[i + 1] && voiced[i + 2] && !voiced[i + 3]) {
      voiced[i + 1] = voiced[i + 2] = 0;
      break;
    }

  int first = -1, last = -1;
  for (int i = from; i < frameNum; ++i)
    if (voiced[i]) {
      if (first < 0) first = i;
      last = i;
    }
  if (first < 0) return;
  const long long b = 128LL * first + 128 - 512;
  const long long e = 128LL * last + 128 + 512;
  ends[0] = static_cast<int>(b < 0 ? 0 : b);
  ends[1] = static_cast<int>(e > waveLen - 1 ? waveLen - 1 : e);
}

}  // namespace tulim
