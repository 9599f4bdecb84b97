// The audio routines: a class without data whose members frame a wave, measure it, find
// its end points, check its volume, condition it and set up pitch tracking. Callers build
// a local instance and call its members.
#pragma once

#include <cstdint>
#include <vector>

#include "arrayTemplate.h"
#include "epdParam.h"
#include "ptParam.h"
#include "volCheckPrm.h"
#include "voicedFlagParam.h"

namespace tulim {

class audioClass {
 public:
  // ---- Frames, volume and end points ----------------------------------------------------
  // Frame i covers samples i*hop .. i*hop + frameSize - 1, hop = frameSize - overlap; a tail
  // shorter than a hop is dropped. Waves are i32 samples; no routine here changes an int wave.

  // The defaults for sampling rate fs: 16 ms frames without overlap.
  void epdParamSet(int fs, epdParam& param);
  // One "epdParam.<field>=<value>" line per field, in field order.
  void epdParamPrint(const epdParam& param);

  // (waveLen - overlap) / hop, truncated; 0 for a wave shorter than one frame. A hop below
  // 1 is fatal.
  int getFrameNum(int waveLen, int frameSize, int overlap);
  // The sample that stands for frame i: hop*i + frameSize/2 - 1.
  int frameIndex2sampleIndex(int i, int frameSize, int overlap);
  // The frame whose centre is nearest to sample s (never below 0).
  int sampleIndex2frameIndex(int s, int frameSize, int overlap);
  // Writes the first sample of every frame into out; returns the frame count.
  int frameStartIndex(int waveLen, int frameSize, int overlap, int* out);

  // frame2hod / zeroCrossingCount of every frame into out (getFrameNum values).
  void wave2hod(const int* wave, int waveLen, int frameSize, int overlap, int* out, int order);
  void wave2zcr(const int* wave, int waveLen, int frameSize, int overlap, int* out);

  // The speech segments found from the mix of frame volume and high-order difference
  // (epdByVolHod) or from the volume alone (epdByVol): a malloc'ed block that the caller
  // frees, its valid records first, segmentCount of them (frame indices, inclusive). No
  // speech (a silent or constant wave, or one shorter than a frame) gives a count of 0.
  segment* epdByVolHod(const int* wave, int waveLen, int fs, const epdParam& param, int& segmentCount);
  segment* epdByVol(const int* wave, int waveLen, int fs, const epdParam& param, int& segmentCount);

  // The other detectors; nothing in the task pipeline calls them.
  // Begin and end as sample indices from volume and zero crossings (320-sample frames, hop
  // 80); both -1 for a silent wave or one shorter than a frame.
  void epdByVolZcr(const int* wave, int waveLen, int fs, int& begin, int& end);
  // Frame indices where speech begins and ends, from two volume thresholds (512-sample
  // frames, hop 320), in boundaries (cleared first; none for a silent wave); returns their
  // number.
  int epdByVolTwoTh(const int* wave, int waveLen, int fs, std::vector<int>& boundaries);
  // Voiced flags (0/1) of n frame volumes into flags; writes "volTh1.txt" and "volTh2.txt"
  // into the working directory and returns n - 1.
  int vol2voicedFlags(const int* vol, int n, const voicedFlagParam& param, int* flags);
  // Segments from frame levels in dB; removes the mean of the wave in place. begins and
  // ends (maxCount entries each, -1 where unused) get sample indices; returns the count
  // (0 for a silent wave).
  int epdByDb(double* wave, int waveLen, int fs, double* begins, double* ends, int maxCount);
  // The first begin and the last end of epdByDb (up to 100 segments); -1 and -1 when no
  // segment is found.
  void epdByDbEnds(double* wave, int waveLen, int fs, int& begin, int& end);
  // Begin and end samples (ends[0], ends[1]) from absolute sums and zero crossings of
  // 256-sample frames; scales the wave by 2^nbits/2 in place. -1 and -1 without speech.
  void epdByAbsSumZcr(double* wave, int waveLen, int fs, int nbits, int ends[2]);

  // ---- Volume check ----------------------------------------------------------------------
  // The defaults, then the keys of the file when fileName is neither null nor empty; an
  // unknown key is fatal.
  void volCheckPrmRead(const char* fileName, volCheckPrm& prm);
  // One "volCheckPrm-><field>=<value> (line=N, file=audio)" line per field.
  void volCheckPrmPrint(const volCheckPrm& prm);
  // The level of a 16-bit, 16000 Hz wave: 0 usable, 1 loudest frame too quiet, 2 quietest
  // frame too loud, 3 too many saturated samples (the last finding wins). A wave shorter
  // than one 320-sample frame cannot be measured: a "Warning" line and 0.
  int volumeCheck(const int* wave, int waveLen, const char* fileName);
  // The same with the wave's frame volumes already at hand: frame2volume method 1 of frames
  // of 320 samples overlapping by 160, one per frame of getFrameNum(waveLen, 320, 160).
  int volumeCheck(const int* wave, int waveLen, const std::vector<int>& volume, const char* fileName);
  // The frame volumes the volume check measures (frames of VOLUME_FRAME_SIZE samples, every
  // VOLUME_FRAME_SIZE - VOLUME_OVERLAP).
  std::vector<int> volumeCheckFrames(const int* wave, int waveLen);
  static constexpr int VOLUME_FRAME_SIZE = 320;  // 20 ms at 16000 Hz
  static constexpr int VOLUME_OVERLAP = 160;

  // ---- Pitch-tracking parameters ---------------------------------------------------------
  // A parameter file holds the 22 keys that ptParamRead accepts; ptParamPrint writes a file
  // that reads back.

  // Defaults for the rate, depth and method (0 AMDF, 1 ACF; another is fatal), the tuned
  // rows, then the keys of fileName when it names a file that can be opened (an unreadable
  // name is ignored); warns about frames shorter than 32 ms and sets frameRate. A frame
  // that is not longer than its overlap is fatal.
  void ptParamSet(ptParam& p, int fs, int nbits, int pfType, const char* fileName);
  // The keys of a key = value file into p; an unknown key is fatal.
  void ptParamRead(const char* fileName, ptParam& p);
  // ptParamSet without a file, then 32 ms frames at the given frame rate; returns the hop.
  int ptParamSetByFrameRate(ptParam& p, float frameRate, int fs, int nbits, int pfType);
  // Writes p as a key = value file (one "key=value" line per readable key).
  void ptParamPrint(const ptParam& p, const char* fileName);
  // One "ptParam-><field>=<value> (line=N, file=audio)" line per field on standard output.
  void ptParamDump(const ptParam& p);
  // Every candidate list on standard output, values truncated to integers.
  void ppcFramePrint(const ppcFrame* frames, int n);

  // ---- Spectra and the 8 kHz pitch contour -----------------------------------------------
  // Spectra use the split-radix fft of spectrum.h. Arrays returned through out& are
  // malloc'ed and freed by the caller.

  // x[i] *= 0.54 - 0.46 cos(2 pi i / (n - 1)).
  void hammingWindow(float* x, int n);
  // The frame (within the first half of the span) where the power spectrum changes most
  // between frames two apart; 512-point spectra, so a frame longer than 512 is fatal. A
  // span of fewer than 3 frames has no change to measure and gives 0.
  int wave2spectrogram(const int* wave, int waveLen, int frameSize, int overlap);
  // Magnitude spectra (n bins) of frameNum rows of n samples, single-precision fft.
  void frames2magSpectrum(const double* frames, int n, int frameNum, bool useHamming, double* out);
  // Magnitude spectra of the frames of a wave: paddedSize/2 + 1 bins per frame into out.
  void wave2magSpectrum(const double* wave, int waveLen, int frameSize, int overlap, int paddedSize,
                        bool useHammingWin, double* out);
  // The pitch contour at 8000 Hz and 8 bits in whole semitones times ten, over the span from
  // the first to the last voiced frame (pitch 34 to 90 semitones kept).
  bool wave2pitchTenths(const std::vector<int16_t>& samples, int*& out, int& outCount, int fs, int nbits);
  // The same contour from a pitch track in semitones (34 to 80 kept).
  bool pitch2tenths(const std::vector<double>& pitch, int*& out, int& outCount);
  // True when the loudest frame stays below a level given for 256-sample 8-bit frames.
  bool isTooQuiet(const std::vector<int16_t>& samples, int fs, int nbits, int level);

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
