// The MFCC front end: reads an HTK-style configuration file, turns the integer samples of
// one utterance into a matrix of mel-frequency cepstral vectors (with log energy, deltas,
// accelerations and mean removal as the target kind asks) and writes them. The end-point
// and feature stage of the task pipeline makes one per utterance.
#pragma once

#include <cstdint>
#include <vector>

#include "CFeaBuf.h"
#include "CFloatVec.h"
#include "fftPlan.h"

namespace tulim {

// ---- Parameter kinds: low 6 bits the base kind, higher bits the qualifiers ----------------

enum parmBaseKind : int16_t {
  WAVEFORM, LPC, LPREFC, LPCEPSTRA, LPDELCEP, IREFC, MFCC, FBANK, MELSPEC, USER, DISCRETE, ANON
};

const int16_t BASEMASK = 0x3f;
const int16_t KIND_E = 0x40;    // log energy
const int16_t KIND_N = 0x80;    // absolute energy suppressed
const int16_t KIND_D = 0x100;   // deltas
const int16_t KIND_A = 0x200;   // accelerations
const int16_t KIND_C = 0x400;   // compressed
const int16_t KIND_Z = 0x800;   // cepstral mean removed
const int16_t KIND_K = 0x1000;  // checksum
const int16_t KIND_0 = 0x2000;  // C0
const int16_t KIND_V = 0x4000;  // VQ data

// The byte count of a frame is a 16-bit field of the feature files.
const int MAX_VEC_SIZE = 8191;
// The lower channel of every FFT bin is kept in 16 bits and reaches NUMCHANS + 1.
const int MAX_NUM_CHANS = 32766;

// ---- Records --------------------------------------------------------------------------------

// The front-end settings, each with the configuration key that sets it.
struct CMelConfig {
  float sourceRate = 625;         // SOURCERATE, read but unused: the period follows the rate
  bool zeroMeanSource = false;    // ZMEANSOURCE
  int16_t targetKind = 838;       // TARGETKIND, MFCC_E_D_A
  float targetRate = 100000;      // TARGETRATE, 100 ns units
  float windowSize = 200000;      // WINDOWSIZE, 100 ns units
  bool useHamming = true;         // USEHAMMING
  float preEmphCoef = 0.975f;     // PREEMCOEF
  bool usePower = false;          // USEPOWER
  int numChans = 26;              // NUMCHANS
  float loFreq = -1;              // LOFREQ, Hz; below 0: none
  float hiFreq = -1;              // HIFREQ, Hz; below 0: none
  int cepLifter = 22;             // CEPLIFTER
  int numCeps = 12;               // NUMCEPS
  bool eNormalise = true;         // ENORMALISE
  float eScale = 0.1f;            // ESCALE
  int deltaWindow = 2;            // DELTAWINDOW
  int accWindow = 2;              // ACCWINDOW
  float silFloor = 50;            // SILFLOOR, dB
  int16_t saveWithCrc = 1;        // writeHtk appends a checksum
  uint16_t crc = 0;               // the checksum writeHtk last wrote (0 .. 36896)
};

// The mel filterbank. Arrays indexed from 1 like the frame they apply to.
struct CFBankInfo {
  int frameSize = 0;
  int numChans = 0;
  int sampPeriod = 0;
  int fftN = 0;
  int klo = 0;                    // lowest FFT bin used
  int khi = 0;                    // highest FFT bin used
  bool usePower = false;
  bool takeLogs = true;
  float fres = 0;                 // bin width in units of 700 Hz
  std::vector<float> cf;          // centre frequencies (mel), 1..numChans + 1
  std::vector<int16_t> loChan;    // lower channel of every bin, 1..fftN / 2; -1 outside
  std::vector<float> loWt;        // weight of the lower channel, 1..fftN / 2
  CFloatVec x;                    // FFT work buffer, 1..fftN
  fftPlan fft;                    // the forward real FFT of fftN samples
};

// Frame size and shift in samples from a window size and a frame rate in 100 ns units, at a
// fixed sample period: 625 (16000 Hz) or, with the at8kHz tag, 1250 (8000 Hz).
struct frameGeometry {
  struct at8kHz {};
  frameGeometry(float windowSize, float rate);
  frameGeometry(float windowSize, float rate, at8kHz);

  int frameSize;
  int frameShift;
  int sampPeriod;
};

// ---- The front end --------------------------------------------------------------------------

class CMel {
 public:
  CMel() = default;
  CMel(const CMel&) = delete;
  CMel& operator=(const CMel&) = delete;

  // Reads cfgFile (a missing one is announced and the settings stay), then computes the
  // features of count samples at fs Hz: nbits 8 (unsigned) or 16 (signed). Settings that
  // cannot make frames are fatal; fewer samples than one frame give no frames.
  void computeMfcc(const int* samples, int fs, int nbits, int count, const char* cfgFile,
                   int* nFramesOut, int* vecSizeOut);
  // The same for samples in -1..1, each taken as the integer part of value x 32768.
  void computeMfccFloat(const float* samples, int fs, int nbits, int count, const char* cfgFile,
                        int* nFramesOut, int* vecSizeOut);

  // The key=value lines of an HTK-style configuration file; absent keys keep their values.
  void readConfig(const char* file);
  void setTargetKind(const char* text);
  // "MFCC_E_D_A" gives 838; an unknown base name gives ANON without qualifiers.
  static int16_t str2ParmKind(const char* text);
  // NUMCEPS + energy + C0, doubled with deltas, tripled with deltas and accelerations.
  int vecSizeOfKind(int16_t kind) const;

  // The steps of computeMfcc, exposed for callers that hold 16-bit samples already.
  void wave2feature(const int* samples, int fs, int count);
  void initFBank();
  // The mel value of FFT bin k (1 = DC).
  float mel(int k) const;
  // One frame of frameSize samples from samples[start] into row[0 .. vecSize - 1].
  void convertFrame(const int* samples, int start, float* row);
  // Floors the log energy of column col at SILFLOOR dB below its largest value, then maps
  // it to 1 - (max - value) x ESCALE.
  void normaliseLogEnergy(int col);
  // Regression over the utterance of columns fromCol.. into toCol.. (nCols each) of
  // features, with window W and the edge frames repeated.
  void addRegression(int fromCol, int toCol, int nCols, int window);
  // Removes from columns first .. first + count - 1 of features their mean over all frames.
  void zeroMeanColumns(int first, int count);
  // Deltas and accelerations with the window fixed at 2, over blocks of vecSize / 3 columns.
  void deltaFixedWindow();
  void accFixedWindow();
  // Mean removal over the cepstra, and C0 with it when the kind has _0.
  void zeroMeanByKind();

  // ---- Writers ----------------------------------------------------------------------------

  // Little-endian: nFrames, TARGETRATE (4 bytes each), vecSize x 4, kind (2 each), features.
  // Throws std::runtime_error "[ERRMSG] CFeaBuf::write2bin => ..." as CFeaBuf::write2bin.
  void write2bin(const char* file);
  // One line a frame, every value followed by a blank; the same checks as write2bin.
  void write2txt(const char* file);
  // An HTK parameter file: big-endian header and values, the kind without _N and _V, with
  // _K and a trailing checksum when saveWithCrc is set and without _K otherwise.
  void writeHtk(const char* file);
  // The HTK checksum of the features: their 16-bit halves, high half first, as digits in
  // base 65536 modulo 36897.
  uint16_t calcCrc() const;

  int frameSize = 0;          // samples a window
  int frameShift = 0;         // samples
  int sampPeriod = 0;         // 100 ns units
  int vecSize = 0;            // values a frame
  int nFrames = 0;
  std::vector<float> features;  // nFrames x vecSize, row-major
  CFeaBuf feaBuf;             // working matrix of the static values
  CFBankInfo fbInfo;
  CFloatVec hamWin;           // 1..frameSize
  CFloatVec cepLiftWin;       // 1..NUMCEPS
  CMelConfig config;

 private:
  // Checks the settings wave2feature relies on; each failure is fatal.
  void checkSettings(int fs) const;
  int staticSize() const;

  CFloatVec m_frame;          // 1..frameSize
  CFloatVec m_chans;          // 1..numChans, and numChans + 1 for the bins above the last
  std::vector<float> m_dct;   // cos(pi j (k - 0.5) / numChans), row k - 1, column j - 1
  std::vector<float> m_ceps;  // the cepstral sums of a frame, 0..NUMCEPS - 1
};

}  // namespace tulim
