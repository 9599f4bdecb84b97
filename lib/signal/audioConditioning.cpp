// Wave conditioning and the small unit conversions of audioClass.
#include "audioClass.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <vector>

#include "arrayTemplate.h"
#include "numericUtil.h"
#include "utility.h"

namespace tulim {

namespace {

const double PI = 3.14159265358979323846;

// A double made an int without undefined behaviour: truncated toward zero, then clamped.
int clampToInt(double v) {
  if (!(v > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  if (!(v < std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  return static_cast<int>(v);
}

// The frame's mean in the frame's own arithmetic: integers use the rounded mean.
double frameMean(const int* frame, int n) {
  int64_t sum = 0;
  for (int i = 0; i < n; ++i) sum += frame[i];
  return floatRound(static_cast<float>(static_cast<double>(sum) / n));
}
template <class T>
double frameMean(const T* frame, int n) {
  double sum = 0;
  for (int i = 0; i < n; ++i) sum += frame[i];
  return sum / n;
}

template <class T>
void flipWhenSecondHalfStronger(T* frame, int n) {
  if (n < 2) return;
  const double mean = frameMean(frame, n);
  double first = 0, second = 0;
  for (int i = 0; i < n / 2; ++i) first += std::fabs(frame[i] - mean);
  for (int i = n / 2; i < n; ++i) second += std::fabs(frame[i] - mean);
  if (first < second) std::reverse(frame, frame + n);
}

int echoDelay(int n, int fs, double delaySec) {
  const int delay = floatRound(static_cast<float>(fs * delaySec));
  if (delay < 1)
    errorThrowf("addEcho: delay of %d samples (%f sec at %d Hz) is below 1 (line %d of %s)", delay,
                delaySec, fs, TULIM_HERE);
  return std::min(delay, n);
}

// Writes whole sine periods of the value sounding at each position (starts[i] is the first
// sample of pitch[i]); silent values leave their samples 0 up to the next start.
void synthesise(const std::vector<int>& starts, const double* pitch, int fs, double* out,
                int outLen) {
  std::fill(out, out + std::max(outLen, 0), 0.0);
  const int n = static_cast<int>(starts.size());
  if (n == 0) return;
  int pos = 0;
  while (pos < outLen) {
    const int index = std::max(binarySearch(starts.data(), n, pos) - 1, 0);
    const double s = pitch[index];
    const int period =
        s > 0 ? floatRound(static_cast<float>(fs / (440 * std::pow(2.0, (s - 69) / 12)))) : 0;
    if (period < 1) {
      // A value too high to give a whole sample per period is silent too, so the walk
      // always moves on.
      int next = outLen;
      for (int k = index + 1; k < n; ++k) {
        if (starts[k] > pos) {
          next = std::min(starts[k], outLen);
          break;
        }
      }
      pos = next;
      continue;
    }
    if (period > outLen - pos) return;
    for (int k = 0; k < period; ++k) out[pos + k] = 0.8 * std::sin(2 * PI * k / period);
    pos += period;
  }
}

}  // namespace

void audioClass::resample(const int* in, int inLen, int fsIn, int fsOut, int* out, int outLen) {
  if (fsIn <= 0 || fsOut <= 0)
    errorThrowf("resample: sampling rates %d -> %d Hz must be positive (line %d of %s)", fsIn,
                fsOut, TULIM_HERE);
  const double maxLen =
      inLen > 0 ? std::floor(static_cast<double>(inLen - 1) * fsOut / fsIn) + 1 : 0;
  if (outLen > maxLen)
    errorThrowf(
        "resample: outLen = %d is more than the %.0f samples that %d input samples give "
        "at %d -> %d Hz (line %d of %s)",
        outLen, maxLen, inLen, fsIn, fsOut, TULIM_HERE);
  if (outLen <= 0) return;
  out[0] = in[0];
  out[outLen - 1] = in[inLen - 1];
  for (int i = 1; i <= outLen - 2; ++i) {
    const double t = static_cast<double>(i) * fsIn / fsOut;
    const int k = std::min(static_cast<int>(std::floor(t)), inLen - 2);
    const double a = t - k;
    out[i] = floatRound(static_cast<float>(in[k] * (1 - a) + in[k + 1] * a));
  }
}

float audioClass::freq2semitone(float f) {
  if (f <= 0) return 0;
  return static_cast<float>(12 * std::log(f / 440.0) / 0.69314718055995 + 69);
}

float audioClass::semitone2freq(float s) {
  if (s <= 0) return 0;
  return static_cast<float>(440 * std::pow(2.0, (s - 69.0) / 12));
}

void audioClass::frameFlip(int* frame, int n) { flipWhenSecondHalfStronger(frame, n); }
void audioClass::frameFlip(float* frame, int n) { flipWhenSecondHalfStronger(frame, n); }
void audioClass::frameFlip(double* frame, int n) { flipWhenSecondHalfStronger(frame, n); }

int audioClass::smooth3(int* x, int n) {
  if (n < 3) return 0;
  int prev = x[0];
  for (int j = 1; j <= n - 2; ++j) {
    const int current = x[j];
    x[j] = saturateToInt(static_cast<int64_t>(intDivRound(prev, 4)) + intDivRound(current, 2) +
                         intDivRound(x[j + 1], 4));
    prev = current;
  }
  return n - 1;
}

int audioClass::roundedMeanInRange(const int* x, int, int n, int d) {
  if (d == 0) return 512;
  int64_t sum = 0;
  for (int i = 0; i < n; ++i) sum += x[i];
  const int64_t mean = (sum + d / 2) / d;
  return mean >= 128 && mean <= 2560 ? static_cast<int>(mean) : 512;
}

int audioClass::addEcho(const int* x, int n, int fs, double delaySec, double gain, int* y) {
  const int delay = echoDelay(n, fs, delaySec);
  for (int j = 0; j < delay; ++j) y[j] = x[j];
  for (int j = delay; j < n; ++j)
    y[j] = saturateToInt(static_cast<int64_t>(x[j]) +
                         floatRound(static_cast<float>(gain * y[j - delay])));
  return n;
}

int audioClass::addEcho(const double* x, int n, int fs, double delaySec, double gain, double* y) {
  const int delay = echoDelay(n, fs, delaySec);
  for (int j = 0; j < delay; ++j) y[j] = x[j];
  for (int j = delay; j < n; ++j) y[j] = x[j] + gain * y[j - delay];
  return n;
}

double audioClass::interpLookup(const double* xs, int n, const double* ys, double x) {
  if (n < 1) errorThrowf("interpLookup: empty table (line %d of %s)", TULIM_HERE);
  const int k = binarySearch(xs, n, x);
  if (k <= 0) return ys[0];
  if (k >= n) return ys[n - 1];
  const double dl = x - xs[k - 1];
  const double dr = xs[k] - x;
  // x on an abscissa listed twice leaves no interval to weigh (0/0): the entry the search
  // matched is the value there.
  if (dl + dr == 0) return ys[k - 1];
  if (ys[k - 1] != 0 && ys[k] != 0) return (dl * ys[k] + dr * ys[k - 1]) / (dl + dr);
  return dr > dl ? ys[k - 1] : ys[k];
}

void audioClass::filter(const double* b, int nb, const double* a, int na, double* x, int n) {
  if (n <= 0) return;
  std::vector<double> y(n);
  for (int j = 0; j < n; ++j) {
    double v = 0;
    for (int i = 0; i < std::min(j + 1, nb); ++i) v += b[i] * x[j - i];
    for (int i = 1; i < std::min(j + 1, na); ++i) v -= a[i] * y[j - i];
    y[j] = v;
  }
  std::copy(y.begin(), y.end(), x);
}

int audioClass::getFrameNumCeil(int waveLen, int frameSize, int overlap) {
  const int64_t hop = static_cast<int64_t>(frameSize) - overlap;
  if (overlap < 0 || hop <= 0)
    errorThrowf("getFrameNumCeil: overlap %d does not fit a frame of %d samples (line %d of %s)",
                overlap, frameSize, TULIM_HERE);
  if (waveLen <= 0) return 0;
  return clampToInt(std::ceil(static_cast<double>(waveLen) / hop));
}

int audioClass::buffer2frames(const int* wave, int waveLen, int frameSize, int overlap, int* out) {
  const int frameNum = getFrameNumCeil(waveLen, frameSize, overlap);
  const int64_t hop = frameSize - overlap;
  for (int64_t i = 0; i < frameNum; ++i) {
    int* row = out + i * frameSize;
    const int64_t start = i * hop - overlap;
    for (int64_t j = 0; j < frameSize; ++j) {
      const int64_t at = start + j;
      row[j] = at >= 0 && at < waveLen ? wave[at] : 0;
    }
  }
  return frameNum;
}

void audioClass::note2pitch(const double* notes, int noteNum, double frameDur, double* out,
                            int frameNum) {
  double endTime = 0;
  int note = -1;
  for (int i = 0; i < frameNum; ++i) {
    while (note < noteNum && i * frameDur >= endTime) {
      ++note;
      if (note == noteNum) break;
      endTime += notes[2 * note + 1];
      printf("noteCumulatedTime=%f\n", endTime);
    }
    out[i] = note < noteNum ? notes[2 * note] : 0;
  }
}

void audioClass::note2wave(const double* pitch, int n, const double* dur, int fs, double* out,
                           int outLen) {
  std::vector<int> starts;
  double before = 0;
  for (int i = 0; i < n; ++i) {
    starts.push_back(clampToInt(std::floor(fs * before)));
    before += dur[i];
  }
  synthesise(starts, pitch, fs, out, outLen);
}

void audioClass::pitch2wave(const double* pitch, int n, double frameRate, int fs, double* out,
                            int outLen) {
  if (!(frameRate > 0))
    errorThrowf("pitch2wave: frame rate %f must be positive (line %d of %s)", frameRate,
                TULIM_HERE);
  std::vector<int> starts;
  for (int i = 0; i < n; ++i)
    starts.push_back(floatRound(static_cast<float>(static_cast<double>(i) * fs / frameRate)));
  synthesise(starts, pitch, fs, out, outLen);
}

void audioClass::pitchRangeClip(double* pitch, int n, float low, float high) {
  for (int i = 0; i < n; ++i)
    if (pitch[i] != 0 && (pitch[i] < low || pitch[i] > high)) pitch[i] = 0;
}

void audioClass::nonZeroSpan(const double* pitch, int n, int& first, int& last) {
  first = 0;
  while (first < n && pitch[first] == 0) ++first;
  last = n - 1;
  while (last > first && pitch[last] == 0) --last;
}

}  // namespace tulim
