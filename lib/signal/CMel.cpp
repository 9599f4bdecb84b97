#include "CMel.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <locale>
#include <stdexcept>
#include <string>

#include "bofstream.h"
#include "outputDeferral.h"
#include "platform/cLocaleScope.h"
#include "stringUtil.h"
#include "utility.h"

namespace tulim {

namespace {

const double PI = 3.14159265358979323846;
// Below this an energy has no logarithm worth keeping: the log energy is then LZERO.
const double MIN_LOG_ENERGY_ARG = 2.45e-308;
const float LZERO = -1e10f;

// Float-to-int conversion that saturates instead of overflowing (NaN gives 0).
int truncToInt(double x) {
  if (std::isnan(x)) return 0;
  if (x >= double(INT_MAX)) return INT_MAX;
  if (x <= double(INT_MIN)) return INT_MIN;
  return int(x);
}

// A setting's number kept inside the range of a float.
float toFloat(double value) {
  if (value > FLT_MAX) return FLT_MAX;
  if (value < -FLT_MAX) return -FLT_MAX;
  return float(value);
}

struct kindName {
  const char* name;
  int16_t code;
};
const kindName BASE_KINDS[] = {
    {"WAVEFORM", WAVEFORM}, {"LPC", LPC},         {"LPREFC", LPREFC}, {"LPCEPSTRA", LPCEPSTRA},
    {"LPDELCEP", LPDELCEP}, {"IREFC", IREFC},     {"MFCC", MFCC},     {"FBANK", FBANK},
    {"MELSPEC", MELSPEC},   {"USER", USER},       {"DISCRETE", DISCRETE}, {"ANON", ANON},
};

int16_t qualifierOfLetter(char letter);

// True when text is a base kind name followed only by known qualifiers ("MFCC_E_D_A").
bool parmKindKnown(std::string name) {
  while (name.size() > 2 && name[name.size() - 2] == '_') {
    if (qualifierOfLetter(name.back()) == 0) return false;
    name.resize(name.size() - 2);
  }
  for (const kindName& base : BASE_KINDS)
    if (name == base.name) return true;
  return false;
}

int16_t qualifierOfLetter(char letter) {
  switch (letter) {
    case 'E': return KIND_E;
    case 'N': return KIND_N;
    case 'D': return KIND_D;
    case 'A': return KIND_A;
    case 'C': return KIND_C;
    case 'Z': return KIND_Z;
    case 'K': return KIND_K;
    case '0': return KIND_0;
    case 'V': return KIND_V;
    default: return 0;
  }
}

// The keys whose values set the front end.
const char* const FRONT_END_KEYS[] = {
    "ZMEANSOURCE", "ENORMALISE", "USEHAMMING", "USEPOWER", "SOURCERATE", "TARGETKIND",
    "TARGETRATE",  "WINDOWSIZE", "PREEMCOEF",  "DELTAWINDOW", "ACCWINDOW", "NUMCHANS",
    "CEPLIFTER",   "NUMCEPS",    "LOFREQ",     "HIFREQ",   "ESCALE",    "SILFLOOR",
};

// Keys that say how files are stored or read by other tools and change no feature value:
// the samples arrive already decoded and the features are handed on in memory.
const char* const STORAGE_ONLY_KEYS[] = {
    "SOURCEKIND",   "SOURCEFORMAT",      "TARGETFORMAT", "SAVECOMPRESSED",
    "SAVEWITHCRC",  "NATURALREADORDER", "NATURALWRITEORDER", "BYTEORDER",
};

bool keyIn(const std::string& key, const char* const* keys, size_t n) {
  return std::any_of(keys, keys + n, [&](const char* k) { return key == k; });
}
bool frontEndKey(const std::string& key) { return keyIn(key, FRONT_END_KEYS, std::size(FRONT_END_KEYS)); }
bool storageOnlyKey(const std::string& key) { return keyIn(key, STORAGE_ONLY_KEYS, std::size(STORAGE_ONLY_KEYS)); }

void appendBigEndian16(std::string& out, uint16_t v) {
  out += char(v >> 8);
  out += char(v & 0xff);
}
void appendBigEndian32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += char((v >> shift) & 0xff);
}
uint32_t floatBits(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Writes bytes and pushes them out, so a full disk shows here and not at fclose.
bool writeAll(FILE* fp, const std::string& bytes) {
  return fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size() && fflush(fp) == 0;
}

}  // namespace

// ---- Frame geometry ---------------------------------------------------------------------------

frameGeometry::frameGeometry(float windowSize, float rate)
    : frameSize(truncToInt(double(windowSize) / 625)),
      frameShift(truncToInt(double(rate) / 625)),
      sampPeriod(625) {}

frameGeometry::frameGeometry(float windowSize, float rate, at8kHz)
    : frameSize(truncToInt(double(windowSize) / 1250)),
      frameShift(truncToInt(double(rate) / 1250)),
      sampPeriod(1250) {}

// ---- Configuration --------------------------------------------------------------------------

void CMel::readConfig(const char* file) {
  FILE* raw = file ? fopen(file, "r") : nullptr;
  if (!raw) {
    outPrintf("Can't open config file %s \n", file ? file : "");
    return;
  }
  filePtr fp(raw);
  cLocaleScope cLocale;
  std::string line;
  strVec pieces;
  int lineNo = 0;
  // A line that cannot be read as a setting is fatal: ignored, it would leave a default in
  // place that the models were not trained with.
  auto fault = [&](const std::string& what) {
    errorThrowf("CMel: %s, line %d: %s (line %d of %s)", file, lineNo, what.c_str(), TULIM_HERE);
  };
  while (fileReadLine(fp.get(), line)) {
    ++lineNo;
    // Blanks and TABs go wherever they are ("TARGET KIND = X" is the key TARGETKIND, and keys
    // may be aligned with TABs).
    line.erase(std::remove_if(line.begin(), line.end(), [](char ch) { return ch == ' ' || ch == '\t'; }),
               line.end());
    if (std::all_of(line.begin(), line.end(), isWhiteSpace) || line[0] == '#') continue;  // '#': a comment
    if (line.find('=') == std::string::npos) fault("no '=' between a key and its value");
    // strtok semantics: runs of '=' separate, leading ones are skipped.
    strSplit(line, '=', pieces);
    strVecRemoveEmpty(pieces);
    if (pieces.empty()) fault("no key");
    // "HPARM: TARGETKIND = X": the module a setting is meant for comes before the key; the
    // setting is the same whatever tool reads it.
    std::string key = pieces[0];
    const size_t colon = key.find(':');
    if (colon != std::string::npos) key.erase(0, colon + 1);
    if (key.empty()) fault("no key after the module name \"" + pieces[0] + "\"");
    if (storageOnlyKey(key)) continue;
    if (!frontEndKey(key)) {
      // A configuration is shared between tools: another tool's key is no error here.
      outPrintf("Warning: CMel: %s, line %d: the key \"%s\" is not used by this front end; ignored\n", file, lineNo,
             key.c_str());
      continue;
    }
    if (pieces.size() < 2) fault("the key \"" + key + "\" has no value");
    const std::string& value = pieces[1];
    auto number = [&]() {
      double v = 0;
      if (!strToDoubleExact(value, v)) fault(key + " = " + value + " is not a number");
      return v;
    };
    auto real = [&]() { return toFloat(number()); };
    // Truncated from the double itself: a float would round 12.99999999 up to 13.
    auto integer = [&]() { return truncToInt(number()); };
    auto flag = [&]() {
      if (value == "TRUE" || value == "T") return true;
      if (value == "FALSE" || value == "F") return false;
      fault(key + " = " + value + " is not T, TRUE, F or FALSE");
      return false;
    };
    CMelConfig& c = config;
    if (key == "ZMEANSOURCE") {
      if (flag()) c.zeroMeanSource = true;
    } else if (key == "ENORMALISE") {
      if (!flag()) c.eNormalise = false;
    } else if (key == "USEHAMMING") {
      if (!flag()) c.useHamming = false;
    } else if (key == "USEPOWER") {
      if (flag()) c.usePower = true;
    } else if (key == "SOURCERATE") {
      c.sourceRate = real();
    } else if (key == "TARGETKIND") {
      if (!parmKindKnown(value)) fault("TARGETKIND = " + value + " is not a parameter kind");
      setTargetKind(value.c_str());
    } else if (key == "TARGETRATE") {
      c.targetRate = real();
    } else if (key == "WINDOWSIZE") {
      c.windowSize = real();
    } else if (key == "PREEMCOEF") {
      c.preEmphCoef = real();
    } else if (key == "DELTAWINDOW") {
      c.deltaWindow = integer();
    } else if (key == "ACCWINDOW") {
      c.accWindow = integer();
    } else if (key == "NUMCHANS") {
      c.numChans = integer();
    } else if (key == "CEPLIFTER") {
      c.cepLifter = integer();
    } else if (key == "NUMCEPS") {
      c.numCeps = integer();
    } else if (key == "LOFREQ") {
      c.loFreq = real();
    } else if (key == "HIFREQ") {
      c.hiFreq = real();
    } else if (key == "ESCALE") {
      c.eScale = real();
    } else if (key == "SILFLOOR") {
      c.silFloor = real();
    }
  }
}

void CMel::setTargetKind(const char* text) {
  config.targetKind = str2ParmKind(text);
  vecSize = vecSizeOfKind(config.targetKind);
}

int16_t CMel::str2ParmKind(const char* text) {
  std::string name = text ? text : "";
  int qualifiers = 0;
  while (name.size() > 2 && name[name.size() - 2] == '_') {
    qualifiers |= qualifierOfLetter(name.back());
    name.resize(name.size() - 2);
  }
  for (const kindName& base : BASE_KINDS) {
    if (name != base.name) continue;
    if (base.code == LPDELCEP) return int16_t(LPCEPSTRA | KIND_D | qualifiers);
    return int16_t(base.code | qualifiers);
  }
  return ANON;
}

int CMel::vecSizeOfKind(int16_t kind) const {
  int64_t size = int64_t(config.numCeps) + ((kind & KIND_E) ? 1 : 0) + ((kind & KIND_0) ? 1 : 0);
  if (kind & KIND_D) size *= (kind & KIND_A) ? 3 : 2;
  return int(std::max<int64_t>(INT_MIN, std::min<int64_t>(INT_MAX, size)));
}

int CMel::staticSize() const {
  const int16_t kind = config.targetKind;
  return config.numCeps + ((kind & KIND_E) ? 1 : 0) + ((kind & KIND_0) ? 1 : 0);
}

// ---- Features ---------------------------------------------------------------------------------

void CMel::computeMfcc(const int* samples, int fs, int nbits, int count, const char* cfgFile,
                       int* nFramesOut, int* vecSizeOut) {
  const char* name = cfgFile ? cfgFile : "";
  if (FILE* probe = fopen(name, "r"))
    fclose(probe);
  else
    outPrintf("Cannot open %s (line %d, file %s)\n", name, 129, "CMel");

  if (nbits != 8 && nbits != 16)
    errorThrowf("CMel::computeMfcc: %d bits a sample, only 8 and 16 are read (line %d of %s)", nbits,
                TULIM_HERE);
  if (count > 0 && !samples) errorThrowf("CMel::computeMfcc: no samples (line %d of %s)", TULIM_HERE);

  std::vector<int> unsigned8;
  if (nbits == 8 && count > 0) {
    // 8-bit data are unsigned around 128; scaled to the 16-bit range the settings assume.
    unsigned8.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
      int64_t v = (int64_t(samples[i]) - 128) * 256;
      unsigned8[size_t(i)] = int(std::max<int64_t>(INT_MIN, std::min<int64_t>(INT_MAX, v)));
    }
    samples = unsigned8.data();
  }

  readConfig(cfgFile);
  wave2feature(samples, fs, count);
  if (nFramesOut) *nFramesOut = nFrames;
  if (vecSizeOut) *vecSizeOut = vecSize;
}

void CMel::computeMfccFloat(const float* samples, int fs, int nbits, int count, const char* cfgFile,
                            int* nFramesOut, int* vecSizeOut) {
  if (count > 0 && !samples) errorThrowf("CMel::computeMfccFloat: no samples (line %d of %s)", TULIM_HERE);
  std::vector<int> ints(size_t(std::max(count, 0)));
  for (size_t i = 0; i < ints.size(); ++i) ints[i] = truncToInt(double(samples[i]) * 32768);
  computeMfcc(ints.data(), fs, nbits, count, cfgFile, nFramesOut, vecSizeOut);
}

void CMel::checkSettings(int fs) const {
  const CMelConfig& c = config;
  const int16_t kind = c.targetKind;
  if (c.numChans < 1 || c.numChans > MAX_NUM_CHANS)
    errorThrowf("CMel: NUMCHANS = %d, must be 1 to MAX_NUM_CHANS = %d (line %d of %s)", c.numChans,
                MAX_NUM_CHANS, TULIM_HERE);
  if (c.numCeps < 0) errorThrowf("CMel: NUMCEPS = %d is negative (line %d of %s)", c.numCeps, TULIM_HERE);
  if (vecSize > MAX_VEC_SIZE)
    errorThrowf("CMel: vecSize = %d > MAX_VEC_SIZE = %d (line %d of %s)", vecSize, MAX_VEC_SIZE, TULIM_HERE);
  if ((kind & KIND_D) && c.deltaWindow < 1)
    errorThrowf("CMel: DELTAWINDOW = %d, must be at least 1 (line %d of %s)", c.deltaWindow, TULIM_HERE);
  if ((kind & KIND_D) && (kind & KIND_A) && c.accWindow < 1)
    errorThrowf("CMel: ACCWINDOW = %d, must be at least 1 (line %d of %s)", c.accWindow, TULIM_HERE);
  if (c.useHamming && frameSize < 2)
    errorThrowf("CMel: WINDOWSIZE = %g gives %d samples a frame at %d Hz, too few for a Hamming window "
                "(line %d of %s)",
                double(c.windowSize), frameSize, fs, TULIM_HERE);
}

void CMel::wave2feature(const int* samples, int fs, int count) {
  if (fs <= 0) errorThrowf("CMel: sampling rate %d Hz, must be positive (line %d of %s)", fs, TULIM_HERE);
  sampPeriod = truncToInt(1e7 / fs);
  if (sampPeriod < 1)
    errorThrowf("CMel: sampling rate %d Hz gives a sample period below 100 ns (line %d of %s)", fs,
                TULIM_HERE);
  frameSize = truncToInt(double(config.windowSize) / sampPeriod);
  frameShift = truncToInt(double(config.targetRate) / sampPeriod);
  if (frameSize < 1)
    errorThrowf("CMel: WINDOWSIZE = %g is below the sample period %d (line %d of %s)",
                double(config.windowSize), sampPeriod, TULIM_HERE);
  if (frameShift < 1)
    errorThrowf("CMel: TARGETRATE = %g is below the sample period %d (line %d of %s)",
                double(config.targetRate), sampPeriod, TULIM_HERE);
  vecSize = vecSizeOfKind(config.targetKind);
  checkSettings(fs);
  nFrames = count < frameSize ? 0 : (count - frameSize) / frameShift + 1;

  const int16_t kind = config.targetKind;
  feaBuf.resize(nFrames, vecSize);
  feaBuf.sampPeriod = truncToInt(config.targetRate);
  feaBuf.sampSize = int16_t(vecSize * 4);
  feaBuf.parmKind = kind;
  features.clear();
  if (nFrames == 0) return;

  if (config.useHamming) {
    hamWin.resize(frameSize, 1);
    const double a = 2 * PI / (frameSize - 1);
    for (int i = 1; i <= frameSize; ++i) hamWin[i] = float(0.54 - 0.46 * std::cos(a * (i - 1)));
  }
  const int numCeps = config.numCeps;
  cepLiftWin.resize(numCeps, 1);
  if (config.cepLifter > 0) {
    const double L = config.cepLifter;
    for (int i = 1; i <= numCeps; ++i) cepLiftWin[i] = float(1.0 + L / 2.0 * std::sin(i * PI / L));
  }
  initFBank();
  const int numChans = config.numChans;
  m_frame.resize(frameSize, 1);
  m_chans.resize(numChans + 1, 1);
  m_dct.resize(size_t(numCeps) * size_t(numChans));
  for (int j = 1; j <= numCeps; ++j)
    for (int k = 1; k <= numChans; ++k)
      m_dct[size_t(k - 1) * numCeps + (j - 1)] = float(std::cos(PI * j * (k - 0.5) / numChans));
  m_ceps.resize(size_t(numCeps));

  for (int t = 0; t < nFrames; ++t) convertFrame(samples, t * frameShift, feaBuf.row(t));

  const int S = staticSize();
  if ((kind & KIND_E) && config.eNormalise) normaliseLogEnergy(numCeps + ((kind & KIND_0) ? 1 : 0));

  features.assign(&feaBuf.rows[0], &feaBuf.rows[0] + size_t(nFrames) * vecSize);
  if (kind & KIND_D) {
    addRegression(0, S, S, config.deltaWindow);
    if (kind & KIND_A) addRegression(S, 2 * S, S, config.accWindow);
  }
  if (kind & KIND_Z) zeroMeanColumns(0, numCeps);
}

float CMel::mel(int k) const { return float(1127 * std::log(1 + (k - 1) * double(fbInfo.fres))); }

void CMel::initFBank() {
  CFBankInfo& fb = fbInfo;
  fb.frameSize = frameSize;
  fb.numChans = config.numChans;
  fb.sampPeriod = sampPeriod;
  fb.usePower = config.usePower;
  fb.takeLogs = true;
  if (frameSize > (1 << 30))
    errorThrowf("CMel: frames of %d samples are too long for the FFT (line %d of %s)", frameSize, TULIM_HERE);
  int N = 2;
  while (N < frameSize) N *= 2;
  fb.fftN = N;
  const int half = N / 2;
  fb.fres = float(1e7 / (double(sampPeriod) * N * 700));
  fb.klo = 2;
  fb.khi = half;
  float mlo = 0;
  float mhi = mel(half + 1);
  if (config.loFreq >= 0) {
    mlo = float(1127 * std::log(1 + config.loFreq / 700.0));
    fb.klo = std::max(2, truncToInt(sampPeriod * double(config.loFreq) * 1e-7 * N + 2.5));
  }
  if (config.hiFreq >= 0) {
    mhi = float(1127 * std::log(1 + config.hiFreq / 700.0));
    fb.khi = std::min(half, truncToInt(sampPeriod * double(config.hiFreq) * 1e-7 * N + 0.5));
  }

  const int numChans = fb.numChans;
  const int maxChan = numChans + 1;
  const float ms = mhi - mlo;
  fb.cf.assign(size_t(maxChan) + 1, 0.0f);
  for (int c = 1; c <= maxChan; ++c) fb.cf[c] = float(c) / float(maxChan) * ms + mlo;

  fb.loChan.assign(size_t(half) + 1, -1);
  fb.loWt.assign(size_t(half) + 1, 0.0f);
  int chan = 1;
  for (int k = 1; k <= half; ++k) {
    if (k < fb.klo || k > fb.khi) continue;
    const float melk = mel(k);
    // The bound is tested first: a bin above the top edge must not read past the centres.
    while (chan <= maxChan && melk > fb.cf[chan]) ++chan;
    const int lower = chan - 1;
    if (lower > numChans) {
      // Above the last triangle: the bin feeds no channel.
      fb.loChan[k] = int16_t(numChans);
      fb.loWt[k] = 0;
    } else if (lower > 0) {
      fb.loChan[k] = int16_t(lower);
      fb.loWt[k] = (fb.cf[lower + 1] - melk) / (fb.cf[lower + 1] - fb.cf[lower]);
    } else {
      fb.loChan[k] = 0;
      fb.loWt[k] = (fb.cf[1] - melk) / (fb.cf[1] - mlo);
    }
  }
  fb.x.resize(N, 1);
  if (fb.fft.size() != N) fb.fft = fftPlan(N, false);
}

void CMel::convertFrame(const int* samples, int start, float* row) {
  const CMelConfig& c = config;
  const int16_t kind = c.targetKind;
  float* s = m_frame.data.get();
  const int* in = samples + start;
  for (int i = 1; i <= frameSize; ++i) s[i] = float(in[i - 1]);

  if (c.zeroMeanSource) {
    double sum = 0;
    for (int i = 1; i <= frameSize; ++i) sum += s[i];
    const float mean = float(sum / frameSize);
    for (int i = 1; i <= frameSize; ++i) s[i] -= mean;
  }

  double energy = 0;
  for (int n = 1; n <= frameSize; ++n) energy += double(s[n]) * s[n];

  // Pre-emphasis (each sample less k times the one before it) and the window, straight
  // into the FFT buffer.
  CFBankInfo& fb = fbInfo;
  float* x = fb.x.data.get();
  const float k = c.preEmphCoef;
  if (k > 0) {
    x[1] = s[1] * (1 - k);
    for (int i = 2; i <= frameSize; ++i) x[i] = s[i] - k * s[i - 1];
  } else {
    std::copy(s + 1, s + 1 + frameSize, x + 1);
  }
  if (c.useHamming) {
    const float* w = hamWin.data.get();
    for (int i = 1; i <= frameSize; ++i) x[i] *= w[i];
  }
  std::fill(x + 1 + frameSize, x + 1 + fb.fftN, 0.0f);
  fb.fft.realTransform(x);

  // Every bin adds to its lower and upper channel; channel 0 and numChans + 1 take the
  // shares of the bins below the first and above the last triangle and are never read.
  const int numChans = c.numChans;
  float* fbank = m_chans.data.get();
  std::fill(fbank, fbank + numChans + 2, 0.0f);
  const int16_t* loChan = fb.loChan.data();
  const float* loWt = fb.loWt.data();
  for (int bin = fb.klo; bin <= fb.khi; ++bin) {
    const float re = x[2 * bin - 1];
    const float im = x[2 * bin];
    float ek = re * re + im * im;
    if (!fb.usePower) ek = std::sqrt(ek);
    const int lower = loChan[bin];
    const float w = loWt[bin];
    fbank[lower] += w * ek;
    fbank[lower + 1] += (1 - w) * ek;
  }
  for (int ch = 1; ch <= numChans; ++ch) fbank[ch] = float(std::log(std::max(fbank[ch], 1.0f)));

  // The cepstra side by side, each summed over the channels in order.
  const int numCeps = c.numCeps;
  const float norm = float(std::sqrt(2.0 / numChans));
  float* sums = m_ceps.data();
  std::fill(sums, sums + numCeps, 0.0f);
  for (int ch = 1; ch <= numChans; ++ch) {
    const float* cosines = m_dct.data() + size_t(ch - 1) * numCeps;
    const float value = fbank[ch];
    for (int j = 0; j < numCeps; ++j) sums[j] += value * cosines[j];
  }
  for (int j = 1; j <= numCeps; ++j) {
    float cep = norm * sums[j - 1];
    if (c.cepLifter > 0) cep *= cepLiftWin[j];
    row[j - 1] = cep;
  }
  int next = numCeps;
  if (kind & KIND_0) {
    float sum = 0;
    for (int ch = 1; ch <= numChans; ++ch) sum += fbank[ch];
    row[next++] = norm * sum;
  }
  if (kind & KIND_E) row[next] = energy < MIN_LOG_ENERGY_ARG ? LZERO : float(std::log(energy));
}

void CMel::normaliseLogEnergy(int col) {
  const int T = feaBuf.rowCount();
  if (T == 0) return;
  float maxE = feaBuf.row(0)[col];
  for (int t = 1; t < T; ++t) maxE = std::max(maxE, feaBuf.row(t)[col]);
  const float minE = float(maxE - config.silFloor * std::log(10.0) / 10.0);
  for (int t = 0; t < T; ++t) {
    float& e = feaBuf.row(t)[col];
    if (e < minE) e = minE;
    e = 1 - (maxE - e) * config.eScale;
  }
}

void CMel::addRegression(int fromCol, int toCol, int nCols, int window) {
  const int T = nFrames;
  if (T == 0 || window < 1 || nCols < 1) return;
  // From d = T - 1 on both ends are the edge frames for every t, so the rest of a window
  // longer than the utterance adds the sum of its d times (last - first) in one step: a
  // window of any size a configuration gives ends, and its counter never overflows.
  const int direct = std::min(window, T - 1);
  const double W = window;
  const float denominator = float(W * (W + 1) * (2 * W + 1) / 3);
  const float tailWeight = float((W * (W + 1) - double(direct) * (direct + 1)) / 2);
  float* f = features.data();
  const float* first = f + fromCol;
  const float* last = f + size_t(T - 1) * vecSize + fromCol;
  for (int t = 0; t < T; ++t) {
    float* to = f + size_t(t) * vecSize + toCol;
    std::fill(to, to + nCols, 0.0f);
    for (int d = 1; d <= direct; ++d) {
      const int later = d >= T - 1 - t ? T - 1 : t + d;
      const int earlier = d >= t ? 0 : t - d;
      const float* hi = f + size_t(later) * vecSize + fromCol;
      const float* lo = f + size_t(earlier) * vecSize + fromCol;
      const float weight = float(d);
      for (int j = 0; j < nCols; ++j) to[j] += weight * (hi[j] - lo[j]);
    }
    if (window > direct)
      for (int j = 0; j < nCols; ++j) to[j] += tailWeight * (last[j] - first[j]);
    for (int j = 0; j < nCols; ++j) to[j] /= denominator;
  }
}

void CMel::zeroMeanColumns(int first, int count) {
  if (nFrames == 0 || first < 0) return;
  count = std::min(count, vecSize - first);
  for (int j = first; j < first + count; ++j) {
    double sum = 0;
    for (int t = 0; t < nFrames; ++t) sum += features[size_t(t) * vecSize + j];
    const float mean = float(sum / nFrames);
    for (int t = 0; t < nFrames; ++t) features[size_t(t) * vecSize + j] -= mean;
  }
}

void CMel::deltaFixedWindow() {
  const int block = vecSize / 3;
  addRegression(0, block, block, 2);
}

void CMel::accFixedWindow() {
  const int block = vecSize / 3;
  addRegression(block, 2 * block, block, 2);
}

void CMel::zeroMeanByKind() {
  zeroMeanColumns(0, config.numCeps + ((config.targetKind & KIND_0) ? 1 : 0));
}

// ---- Writers ----------------------------------------------------------------------------------

namespace {

// The checks both feature writers make before writing, with the messages of CFeaBuf.
void checkFeatureHeader(bool opened, int nFrames, size_t values, int vecSize, int period) {
  if (!opened) throw std::runtime_error("[ERRMSG] CFeaBuf::write2bin => Can't write to file ");
  if (nFrames < 1 || values != size_t(nFrames) * size_t(std::max(vecSize, 0)))
    throw std::runtime_error("[ERRMSG] CFeaBuf::write2bin => Write frame number error! ");
  if (period < 1) throw std::runtime_error("[ERRMSG] CFeaBuf::write2bin => Write frame period error! ");
  if (vecSize < 1 || vecSize > MAX_VEC_SIZE)
    throw std::runtime_error("[ERRMSG] CFeaBuf::write2bin => Write bytes_per_frame error! ");
}

}  // namespace

void CMel::write2bin(const char* file) {
  bofstream out(file);
  const int period = truncToInt(config.targetRate);
  checkFeatureHeader(out.is_open(), nFrames, features.size(), vecSize, period);
  out.write4(int32_t(nFrames));
  out.write4(int32_t(period));
  out.write2(vecSize * 4);
  out.write2(config.targetKind);
  for (float v : features) out.write4(v);
  out.close();
  if (out.fail()) throw std::runtime_error("[ERRMSG] CFeaBuf::write2bin => Can't write to file ");
}

void CMel::write2txt(const char* file) {
  std::ofstream out(file);
  out.imbue(std::locale::classic());
  checkFeatureHeader(out.is_open(), nFrames, features.size(), vecSize, truncToInt(config.targetRate));
  for (int t = 0; t < nFrames; ++t) {
    for (int j = 0; j < vecSize; ++j) out << features[size_t(t) * vecSize + j] << ' ';
    out << '\n';
  }
  out.close();
  if (out.fail()) throw std::runtime_error("[ERRMSG] CFeaBuf::write2bin => Can't write to file ");
}

uint16_t CMel::calcCrc() const {
  uint64_t crc = 0;
  for (float v : features) {
    const uint32_t bits = floatBits(v);
    crc = ((crc * 65536 + (bits >> 16)) % 36897) * 65536 + (bits & 0xffff);
    crc %= 36897;
  }
  return uint16_t(crc);
}

void CMel::writeHtk(const char* file) {
  filePtr fp = openFilePtr(file ? file : "", "wb");
  // _K says a checksum follows the values, so it is set exactly when one is written.
  int kind = config.targetKind & ~(KIND_N | KIND_V | KIND_K);
  if (config.saveWithCrc) kind |= KIND_K;

  std::string header;
  appendBigEndian32(header, uint32_t(nFrames));
  appendBigEndian32(header, uint32_t(truncToInt(config.targetRate)));
  appendBigEndian16(header, uint16_t(vecSize * 4));
  appendBigEndian16(header, uint16_t(kind));
  // A failure the writes have reported already is not reported again at the close.
  bool reported = false;
  if (!writeAll(fp.get(), header)) {
    printf("WriteHTKHeader: Cannot write HTK format header\n");
    reported = true;
  }

  std::string values;
  values.reserve(features.size() * 4);
  for (float v : features) appendBigEndian32(values, floatBits(v));
  if (!writeAll(fp.get(), values)) {
    printf("WriteFloat: cant write to file\n");
    reported = true;
  }

  if (config.saveWithCrc) {
    config.crc = calcCrc();
    std::string crc;
    appendBigEndian16(crc, config.crc);
    if (!writeAll(fp.get(), crc)) {
      printf("WriteShort: cant write to file\n");
      reported = true;
    }
  }
  if (!closeWrittenFileChecked(fp) && !reported) printf("Cannot write file %s: %s\n", file ? file : "", strerror(errno));
}

}  // namespace tulim
