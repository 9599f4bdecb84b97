// The audio routines: a class without data whose members frame a wave, measure it, find
// its end points, check its volume, condition it and set up pitch tracking. Callers build
// a local instance and call its members.
#pragma once

#include <cstdint>

namespace tulim {

class audioClass {
 public:
  // ---- Frames, volume and end points ----------------------------------------------------

  // ---- Volume check ----------------------------------------------------------------------

  // ---- Pitch-tracking parameters ---------------------------------------------------------

  // ---- Wave conditioning and small routines ----------------------------------------------

  // Linear-interpolation resampling without low-pass filtering. The caller allocates out with
  // outLen = floor((inLen - 1) * fsOut / fsIn) + 1 samples; a longer outLen, which would read
  // past the input, or a rate that is not positive is a fatal error.
  void resample(const int* in, int inLen, int fsIn, int fsOut, int* out, int outLen);

  // MIDI semitones (69 at 440 Hz) and back; 0 maps to 0 both ways (unvoiced).
  float freq2semitone(float f);
  float semitone2freq(float s);

  // Reverses the frame when its second half deviates more from the frame's mean than its
  // first half, so the stronger half comes first.
  void frameFlip(int* frame, int n);
  void frameFlip(float* frame, int n);
  void frameFlip(double* frame, int n);

  // In-place 1-2-1 smoothing of x[1 .. n-2]; returns n - 1 (0 for n < 3).
  int smooth3(int* x, int n);

  // The rounded mean sum/d when it lies within 128 .. 2560, else 512 (also for d = 0).
  int roundedMeanInRange(const int* x, int ignored, int n, int d);

  // Comb-filter echo y[j] = x[j] + gain * y[j - D], D = delaySec * fs samples (at least 1);
  // returns n. The integer form saturates at the int range.
  int addEcho(const int* x, int n, int fs, double delaySec, double gain, int* y);
  int addEcho(const double* x, int n, int fs, double delaySec, double gain, double* y);

  // ys at x by linear interpolation over the ascending xs (n >= 1); outside the table the end
  // values; a zero neighbour (unvoiced) is not interpolated: the nearer side is taken.
  double interpLookup(const double* xs, int n, const double* ys, double x);

  // Direct-form recursive filter with numerator b and denominator a (a[0] taken as 1), in place.
  void filter(const double* b, int nb, const double* a, int na, double* x, int n);

  // Frames of the hop frameSize - overlap that cover waveLen samples, the last one padded.
  int getFrameNumCeil(int waveLen, int frameSize, int overlap);
  // Cuts wave into getFrameNumCeil overlapping frames of frameSize samples, row after row,
  // into out (frameNum * frameSize values); samples before the start and past the end are 0.
  int buffer2frames(const int* wave, int waveLen, int frameSize, int overlap, int* out);

  // notes holds noteNum pairs (pitch, duration in seconds); out[i] is the pitch of the note
  // sounding at i * frameDur, and 0 after the last note has ended.
  void note2pitch(const double* notes, int noteNum, double frameDur, double* out, int frameNum);

  // Sine synthesis (amplitude 0.8) of a pitch contour in semitones into out, whole periods
  // only; 0 is silence. note2wave gives each value a duration in seconds, pitch2wave gives
  // the values frameRate per second. The last value lasts to the end of out.
  void note2wave(const double* pitch, int n, const double* dur, int fs, double* out, int outLen);
  void pitch2wave(const double* pitch, int n, double frameRate, int fs, double* out, int outLen);

  // Zeroes the non-zero values outside [low, high].
  void pitchRangeClip(double* pitch, int n, float low, float high);
  // first and last non-zero index; first = n and last = n - 1 when every value is 0.
  void nonZeroSpan(const double* pitch, int n, int& first, int& last);
};

}  // namespace tulim
