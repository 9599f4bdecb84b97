#include "spectrum.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "arrayTemplate.h"
#include "audioClass.h"
#include "numericUtil.h"
#include "utility.h"

namespace tulim {

namespace {

constexpr int SPECTROGRAM_PADDED_SIZE = 512;

double hammingFactor(int i, int n) {
  // A one-point window has no span to shape; its angle is taken as 0.
  const double angle = n > 1 ? 2 * M_PI * i / (n - 1) : 0.0;
  return 0.54 - 0.46 * std::cos(angle);
}

int fftSize(int n) {
  int size = 2;
  while (size < n) size *= 2;
  return size;
}

}  // namespace

void audioClass::hammingWindow(float* x, int n) {
  for (int i = 0; i < n; ++i) x[i] = static_cast<float>(x[i] * hammingFactor(i, n));
}

int audioClass::wave2spectrogram(const int* wave, int waveLen, int frameSize, int overlap) {
  const int padded = SPECTROGRAM_PADDED_SIZE, bins = padded / 2 + 1;
  if (frameSize > padded)
    errorThrowf("Error: frameSize is larger than paddedSize (line %d of file %s)", __LINE__, "audio");
  const int frameNum = getFrameNum(waveLen, frameSize, overlap);
  const int hop = frameSize - overlap;
  std::vector<float> spectra(static_cast<size_t>(std::max(frameNum, 0)) * bins);
  std::vector<float> re(padded), im(padded);
  for (int i = 0; i < frameNum; ++i) {
    const int* frame = wave + static_cast<long long>(i) * hop;
    for (int k = 0; k < frameSize; ++k) re[k] = static_cast<float>(frame[k]);
    hammingWindow(re.data(), frameSize);
    std::fill(re.begin() + frameSize, re.end(), 0.0f);
    std::fill(im.begin(), im.end(), 0.0f);
    fft(re.data(), im.data(), padded);
    float* row = spectra.data() + static_cast<size_t>(i) * bins;
    for (int k = 0; k < bins; ++k) row[k] = re[k] * re[k] + im[k] * im[k];
  }
  if (frameNum < 3) return 0;
  std::vector<float> change(frameNum - 2);
  for (int i = 0; i + 2 < frameNum; ++i) {
    const float* a = spectra.data() + static_cast<size_t>(i) * bins;
    const float* b = a + 2 * bins;
    float sum = 0;
    for (int k = 0; k < bins; ++k) sum += std::fabs(a[k] - b[k]);
    change[i] = sum;
  }
  const int half = floatRound(static_cast<float>(frameNum - 2) / 2);
  int at = 0;
  maxValueIndex(change.data(), std::min(half, frameNum - 2), &at);
  return at;
}

void audioClass::frames2magSpectrum(const double* frames, int n, int frameNum, bool useHamming, double* out) {
  const int size = fftSize(n);
  std::vector<float> re(size), im(size);
  for (int row = 0; row < frameNum; ++row) {
    const double* frame = frames + static_cast<size_t>(row) * n;
    for (int k = 0; k < n; ++k) re[k] = static_cast<float>(frame[k]);
    std::fill(im.begin(), im.end(), 0.0f);
    if (useHamming) hammingWindow(re.data(), n);
    fft(re.data(), im.data(), n);
    double* o = out + static_cast<size_t>(row) * n;
    for (int k = 0; k < n; ++k) o[k] = std::sqrt(static_cast<double>(re[k] * re[k] + im[k] * im[k]));
  }
}

void audioClass::wave2magSpectrum(const double* wave, int waveLen, int frameSize, int overlap, int paddedSize,
                                  bool useHammingWin, double* out) {
  const int psLen = paddedSize / 2 + 1;
  if (frameSize > paddedSize)
    errorThrowf("Error: frameSize is larger than paddedSize (line %d of file %s)", __LINE__, "audio");
  const int frameNum = getFrameNum(waveLen, frameSize, overlap);
  const int hop = frameSize - overlap;
  const int size = fftSize(paddedSize);
  std::vector<double> re(size), im(size);
  for (int i = 0; i < frameNum; ++i) {
    const double* frame = wave + static_cast<long long>(i) * hop;
    for (int k = 0; k < frameSize; ++k) re[k] = useHammingWin ? frame[k] * hammingFactor(k, frameSize) : frame[k];
    std::fill(re.begin() + frameSize, re.end(), 0.0);
    std::fill(im.begin(), im.end(), 0.0);
    fft(re.data(), im.data(), paddedSize);
    double* o = out + static_cast<size_t>(i) * psLen;
    for (int k = 0; k < psLen; ++k) o[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]);
  }
}

}  // namespace tulim
