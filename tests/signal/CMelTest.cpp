#include "CMel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <complex>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fatalCatch.h"
#include "fft.h"
#include "testFiles.h"
#include "toneFixture.h"
#include "waveFileFixture.h"
#include "waveFixtures.h"

using namespace tulim;
using testing::MatchesRegex;
using tulim::test::alternatingBlocks;
using tulim::test::readFile;
using tulim::test::scratchDir;
using tulim::test::noiseWave;
using tulim::test::sineWave;
using tulim::test::expectFatal;
using tulim::test::le16;
using tulim::test::le32;

namespace {

const double PI = 3.14159265358979323846;

// Runs the front end on samples with a configuration file of the given text.
std::unique_ptr<CMel> run(const std::string& cfgText, const std::vector<int>& samples, int fs = 16000,
                          int nbits = 16) {
  scratchDir dir;
  const std::string cfg = dir.write("mfcc.cfg", cfgText);
  auto mel = std::make_unique<CMel>();
  int frames = -1, size = -1;
  mel->computeMfcc(samples.data(), fs, nbits, int(samples.size()), cfg.c_str(), &frames, &size);
  EXPECT_EQ(frames, mel->nFrames);
  EXPECT_EQ(size, mel->vecSize);
  EXPECT_EQ(mel->features.size(), size_t(frames) * size_t(size));
  return mel;
}

float at(const CMel& mel, int t, int j) { return mel.features[size_t(t) * mel.vecSize + j]; }

// A two-tone signal with a little deterministic noise, so that every channel gets energy.
std::vector<int> twoTones(int count, int fs, int offset = 0) {
  std::vector<int> s = sineWave(count, 440, fs, 3000);
  const std::vector<int> high = sineWave(count, 1800, fs, 2000, 0.3);
  const std::vector<int> noise = noiseWave(count, 32, 12345);
  for (int i = 0; i < count; ++i) s[i] += high[i] + noise[i] + offset;
  return s;
}

// ---- The reference front end: the definitions, in double precision, nothing shared ----------

struct refSettings {
  int fs = 16000;
  double windowSize = 200000, targetRate = 100000;
  int numChans = 26, numCeps = 12, cepLifter = 22;
  double preEmph = 0.975;
  bool hamming = true, power = false, zeroMean = false;
  double loFreq = -1, hiFreq = -1;
};

struct refFrame {
  std::vector<double> ceps;  // c1 .. cN after liftering
  double c0;
  double logEnergy;
};

double melOfHz(double f) { return 1127 * std::log(1 + f / 700); }

refFrame referenceFrame(const std::vector<int>& samples, int start, const refSettings& r) {
  const int period = int(1e7 / r.fs);
  const int n = int(r.windowSize / period);
  std::vector<double> s(samples.begin() + start, samples.begin() + start + n);
  if (r.zeroMean) {
    double mean = 0;
    for (double v : s) mean += v / n;
    for (double& v : s) v -= mean;
  }
  refFrame out;
  double energy = 0;
  for (double v : s) energy += v * v;
  out.logEnergy = energy > 0 ? std::log(energy) : -1e10;
  for (int i = n - 1; i >= 1; --i) s[i] -= r.preEmph * s[i - 1];
  s[0] *= 1 - r.preEmph;
  if (r.hamming)
    for (int i = 0; i < n; ++i) s[i] *= 0.54 - 0.46 * std::cos(2 * PI * i / (n - 1));

  int N = 2;
  while (N < n) N *= 2;
  // Bins f = 1 .. N/2 - 1 at f fs / N Hz; LOFREQ and HIFREQ narrow them to whole bins.
  int fLo = 1, fHi = N / 2 - 1;
  if (r.loFreq >= 0) fLo = std::max(1, int(r.loFreq * N / r.fs + 2.5) - 1);
  if (r.hiFreq >= 0) fHi = std::min(N / 2 - 1, int(r.hiFreq * N / r.fs + 0.5) - 1);
  const double mlo = r.loFreq >= 0 ? melOfHz(r.loFreq) : 0;
  const double mhi = r.hiFreq >= 0 ? melOfHz(r.hiFreq) : melOfHz(r.fs / 2.0);
  const int M = r.numChans;
  std::vector<double> centre(M + 2);
  for (int m = 0; m <= M + 1; ++m) centre[m] = mlo + m * (mhi - mlo) / (M + 1);

  std::vector<double> fbank(M + 1, 0.0);
  for (int f = fLo; f <= fHi; ++f) {
    std::complex<double> X = 0;
    for (int i = 0; i < n; ++i) X += s[i] * std::polar(1.0, -2 * PI * f * i / N);
    const double value = r.power ? std::norm(X) : std::abs(X);
    const double m = melOfHz(double(f) * r.fs / N);
    for (int ch = 1; ch <= M; ++ch) {
      double w = 0;
      if (m > centre[ch - 1] && m <= centre[ch]) w = (m - centre[ch - 1]) / (centre[ch] - centre[ch - 1]);
      if (m > centre[ch] && m < centre[ch + 1]) w = (centre[ch + 1] - m) / (centre[ch + 1] - centre[ch]);
      fbank[ch] += w * value;
    }
  }
  for (int ch = 1; ch <= M; ++ch) fbank[ch] = std::log(std::max(fbank[ch], 1.0));
  out.c0 = 0;
  for (int ch = 1; ch <= M; ++ch) out.c0 += fbank[ch];
  out.c0 *= std::sqrt(2.0 / M);
  for (int j = 1; j <= r.numCeps; ++j) {
    double c = 0;
    for (int ch = 1; ch <= M; ++ch) c += fbank[ch] * std::cos(PI * j * (ch - 0.5) / M);
    c *= std::sqrt(2.0 / M);
    if (r.cepLifter > 0) c *= 1 + r.cepLifter / 2.0 * std::sin(PI * j / r.cepLifter);
    out.ceps.push_back(c);
  }
  return out;
}

}  // namespace

// ---- Parameter kinds ----------------------------------------------------------------------------

TEST(CMelKinds, NamesGiveCodesAndVectorSizes) {
  struct Case {
    const char* text;
    int code;
    int size;  // with NUMCEPS 12
  } cases[] = {
      {"MFCC_E_D_A", 838, 39},
      {"MFCC_E_D_A_Z", 0xB46, 39},
      {"MFCC_E", 0x46, 13},
      {"MFCC_E_D", 0x146, 26},
      {"MFCC_D_A_E", 838, 39},
      {"MFCC_0_D_A", 0x2306, 39},
      {"MFCC_E_0", 0x2046, 14},
      {"MFCC_A", 0x206, 12},  // accelerations without deltas add nothing
      {"MFCC", 6, 12},
      {"MFCC_X_E", 0x46, 13},  // unknown letters are skipped
      {"WAVEFORM", 0, 12},
      {"FBANK_N_C_K_V", 7 | 0x80 | 0x400 | 0x1000 | 0x4000, 12},
      {"LPDELCEP", 259, 24},
      {"LPDELCEP_E", 259 | 0x40, 26},
      {"ANON", 11, 12},
      {"NOSUCH_E_D", 11, 12},  // no base kind: ANON without qualifiers
      {"mfcc_E", 11, 12},
      {"", 11, 12},
      {"_E", 11, 12},
  };
  CMel mel;
  for (const Case& c : cases) {
    EXPECT_EQ(CMel::str2ParmKind(c.text), c.code) << c.text;
    EXPECT_EQ(mel.vecSizeOfKind(CMel::str2ParmKind(c.text)), c.size) << c.text;
  }
  mel.setTargetKind("MFCC_E_D");
  EXPECT_EQ(mel.config.targetKind, 0x146);
  EXPECT_EQ(mel.vecSize, 26);
  mel.config.numCeps = 8;
  EXPECT_EQ(mel.vecSizeOfKind(838), 27);
}

TEST(CMelKinds, FrameGeometryAtTheTwoFixedPeriods) {
  frameGeometry wide(200000, 100000);
  EXPECT_EQ(wide.frameSize, 320);
  EXPECT_EQ(wide.frameShift, 160);
  EXPECT_EQ(wide.sampPeriod, 625);
  frameGeometry narrow(200000, 100000, frameGeometry::at8kHz{});
  EXPECT_EQ(narrow.frameSize, 160);
  EXPECT_EQ(narrow.frameShift, 80);
  EXPECT_EQ(narrow.sampPeriod, 1250);
}

// ---- Configuration file ---------------------------------------------------------------------------

TEST(CMelConfigRead, DropsBlanksAndLineEndsAndMatchesKeysExactly) {
  scratchDir dir;
  const std::string cfg = dir.write(
      "a.cfg",
      "SOURCEFORMAT = WAV\r\n"
      "TARGET KIND = MFCC_E_D_A_Z\r\n"
      "USEHAMMING = T\r\n"
      "ZMEANSOURCE = F\r\n"
      "ENORMALISE = F\r\n"
      "NUMCHANS = 24.9\r\n"
      "LOFREQ==64\r\n"
      "# a comment line, even one with = in it\r\n"
      "\r\n"
      "\t \r\n"
      "=DELTAWINDOW=3\r\n"
      "PREEMCOEF =                                                          0.97\r\n"
      "WINDOWSIZE = 250000.0   \r\n"
      "HIFREQ = 7000");
  CMel mel;
  mel.readConfig(cfg.c_str());
  const CMelConfig& c = mel.config;
  EXPECT_EQ(c.targetKind, 0xB46);
  EXPECT_EQ(mel.vecSize, 39);
  EXPECT_TRUE(c.useHamming);
  EXPECT_FALSE(c.zeroMeanSource);
  EXPECT_FALSE(c.eNormalise);
  EXPECT_FALSE(c.usePower);
  EXPECT_EQ(c.numChans, 24);
  EXPECT_EQ(c.loFreq, 64.0f);
  EXPECT_EQ(c.hiFreq, 7000.0f);
  EXPECT_EQ(c.numCeps, 12);
  EXPECT_EQ(c.cepLifter, 22);
  EXPECT_EQ(c.deltaWindow, 3) << "leading '=' are skipped like strtok";
  EXPECT_EQ(c.preEmphCoef, 0.97f);
  EXPECT_EQ(c.windowSize, 250000.0f);
  EXPECT_EQ(c.targetRate, 100000.0f);
  EXPECT_EQ(c.accWindow, 2);
  EXPECT_EQ(c.silFloor, 50.0f);
  EXPECT_EQ(c.eScale, 0.1f);
}

// The integer settings are the decimal reading truncated: rounding it to a float first
// would turn 12.99999999 into 13 and lose the last digits of a large window.
TEST(CMelConfigRead, IntegerKeysTruncateTheDecimalReading) {
  struct Case {
    const char* text;
    int CMelConfig::*field;
    int value;
  } cases[] = {
      {"NUMCEPS = 12.99999999", &CMelConfig::numCeps, 12},
      {"NUMCHANS = 26.7", &CMelConfig::numChans, 26},
      {"CEPLIFTER = -3.9", &CMelConfig::cepLifter, -3},
      {"DELTAWINDOW = 16777217", &CMelConfig::deltaWindow, 16777217},
      {"ACCWINDOW = 2147483647", &CMelConfig::accWindow, 2147483647},
      {"ACCWINDOW = 1e30", &CMelConfig::accWindow, 2147483647},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    CMel mel;
    mel.readConfig(dir.write("i.cfg", c.text).c_str());
    EXPECT_EQ(mel.config.*c.field, c.value) << c.text;
  }
}

TEST(CMelConfigRead, SwitchesMoveOnlyAwayFromTheirDefaults) {
  struct Case {
    const char* text;
    bool zeroMean, eNormalise, hamming, power;
  } cases[] = {
      {"ZMEANSOURCE=TRUE\nENORMALISE=FALSE\nUSEHAMMING=FALSE\nUSEPOWER=TRUE\n", true, false, false, true},
      {"ZMEANSOURCE=T\nENORMALISE=F\nUSEHAMMING=F\nUSEPOWER=T\n", true, false, false, true},
      {"ZMEANSOURCE=F\nENORMALISE=T\nUSEHAMMING=T\nUSEPOWER=F\n", false, true, true, false},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    CMel mel;
    mel.readConfig(dir.write("s.cfg", c.text).c_str());
    EXPECT_EQ(mel.config.zeroMeanSource, c.zeroMean) << c.text;
    EXPECT_EQ(mel.config.eNormalise, c.eNormalise) << c.text;
    EXPECT_EQ(mel.config.useHamming, c.hamming) << c.text;
    EXPECT_EQ(mel.config.usePower, c.power) << c.text;
  }
}

TEST(CMelConfigRead, RefusesLinesItCannotReadNamingFileAndLine) {
  struct Case {
    const char* line;
    const char* says;
  } cases[] = {
      {"NUMCEPS 12", "no '=' between a key and its value"},
      {"HPARM: = 12", "no key after the module name \"HPARM:\""},
      {"HPARM:NUMCEPS =", "the key \"NUMCEPS\" has no value"},
      {"\tNUMCEPS\t=\tabc", "NUMCEPS = abc is not a number"},
      {"HPARM: TARGETKIND = MFCC_X", "TARGETKIND = MFCC_X is not a parameter kind"},
      {"CEPLIFTER = ", "the key \"CEPLIFTER\" has no value"},
      {"==", "no key"},
      {"NUMCEPS = abc", "NUMCEPS = abc is not a number"},
      {"NUMCEPS = 12 # twelve", "NUMCEPS = 12#twelve is not a number"},
      {"PREEMCOEF = 0.97 and a remark", "PREEMCOEF = 0.97andaremark is not a number"},
      {"SILFLOOR = nan", "SILFLOOR = nan is not a number"},
      {"ESCALE = inf", "ESCALE = inf is not a number"},
      {"LOFREQ = 0x40", "LOFREQ = 0x40 is not a number"},
      {"HIFREQ = 1e999", "HIFREQ = 1e999 is not a number"},
      {"TARGETKIND = MFCC_E_D_X", "TARGETKIND = MFCC_E_D_X is not a parameter kind"},
      {"TARGETKIND = PLP_E", "TARGETKIND = PLP_E is not a parameter kind"},
      {"TARGETKIND = mfcc_e", "TARGETKIND = mfcc_e is not a parameter kind"},
      {"ZMEANSOURCE = true", "ZMEANSOURCE = true is not T, TRUE, F or FALSE"},
      {"USEPOWER = 1", "USEPOWER = 1 is not T, TRUE, F or FALSE"},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    const std::string cfg = dir.write("bad.cfg", std::string("# settings\nTARGETKIND = MFCC_E_D_A\n\n") + c.line + "\n");
    CMel mel;
    const std::string msg = expectFatal([&] { mel.readConfig(cfg.c_str()); });
    EXPECT_THAT(msg, testing::HasSubstr("CMel: " + cfg + ", line 4: " + c.says)) << c.line;
    EXPECT_THAT(msg, MatchesRegex(".* \\(line [0-9]+ of CMel\\)")) << c.line;
  }
}

// The coding configuration HTK-trained model sets ship with, written the ways HTK's syntax
// allows: the features are those of the same settings written plainly.
TEST(CMelConfigRead, HtkCodingConfigurationGivesTheFeaturesOfItsCleanedCopy) {
  const std::string htk =
      "\xEF\xBB\xBF# coding configuration\n"
      "SOURCEKIND = WAVEFORM\n"
      "SOURCEFORMAT = WAV\n"
      "HPARM: TARGETKIND = MFCC_E_D_A_Z\n"
      "TARGETRATE\t= 100000.0\n"
      "SAVECOMPRESSED = T\n"
      "SAVEWITHCRC = T\n"
      "NATURALREADORDER = F\n"
      "NATURALWRITEORDER = F\n"
      "BYTEORDER = VAX\n"
      "TARGETFORMAT = HTK\n"
      "WINDOWSIZE\t\t= 250000.0\r\n"
      "USEHAMMING = T\n"
      "HPARM:PREEMCOEF = 0.97\n"
      "\n"
      "NUMCHANS\t=\t26\n"
      "CEPLIFTER = 22\n"
      "HLIST: NUMCEPS = 12\n"
      "ENORMALISE = T\n";
  const std::string clean =
      "TARGETKIND = MFCC_E_D_A_Z\nTARGETRATE = 100000.0\nWINDOWSIZE = 250000.0\nUSEHAMMING = T\n"
      "PREEMCOEF = 0.97\nNUMCHANS = 26\nCEPLIFTER = 22\nNUMCEPS = 12\nENORMALISE = T\n";
  const std::vector<int> samples = twoTones(16000, 16000);
  testing::internal::CaptureStdout();
  auto fromHtk = run(htk, samples);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "nothing in it is unused";
  auto fromClean = run(clean, samples);
  EXPECT_EQ(fromHtk->config.targetKind, 0xB46);
  EXPECT_EQ(fromHtk->config.windowSize, 250000.0f);
  EXPECT_EQ(fromHtk->config.preEmphCoef, 0.97f);
  EXPECT_EQ(fromHtk->nFrames, fromClean->nFrames);
  EXPECT_EQ(fromHtk->vecSize, fromClean->vecSize);
  EXPECT_EQ(fromHtk->features, fromClean->features);
}

// A configuration is shared between tools: a key this front end has no use for is named in
// a warning, and the lines after it are read as usual.
TEST(CMelConfigRead, KeysOfOtherToolsAreWarnedAboutAndSkipped) {
  struct Case {
    const char* line;
    const char* warned;  // the key named, or nullptr for a key ignored without a word
  } cases[] = {
      {"TRACE = 1", "TRACE"},
      {"HCOPY: TRACE = 1", "TRACE"},
      {"usepower = T", "usepower"},
      {"NUMCEPSTRA = 13", "NUMCEPSTRA"},
      {"VQTABLE = vq.tab", "VQTABLE"},
      {"USESILDET =", "USESILDET"},
      {"SAVECOMPRESSED = T", nullptr},
      {"SAVEWITHCRC = F", nullptr},
      {"BYTEORDER = NONVAX", nullptr},
      {"HPARM: SOURCEFORMAT = NIST", nullptr},
      {"SOURCEKIND = WAVEFORM", nullptr},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    const std::string cfg = dir.write("shared.cfg", std::string("NUMCHANS = 20\n") + c.line + "\nNUMCEPS = 10\n");
    CMel mel;
    testing::internal::CaptureStdout();
    mel.readConfig(cfg.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    if (c.warned)
      EXPECT_EQ(out, "Warning: CMel: " + cfg + ", line 2: the key \"" + c.warned +
                         "\" is not used by this front end; ignored\n")
          << c.line;
    else
      EXPECT_EQ(out, "") << c.line;
    EXPECT_EQ(mel.config.numChans, 20) << c.line;
    EXPECT_EQ(mel.config.numCeps, 10) << c.line << ": the line after it is read";
  }
}

TEST(CMelConfigRead, MissingFileIsAnnouncedTwiceAndDefaultsApply) {
  scratchDir dir;
  const std::string cfg = dir.file("none.cfg");
  std::vector<int> samples = twoTones(16000, 16000);
  CMel mel;
  int frames = 0, size = 0;
  testing::internal::CaptureStdout();
  mel.computeMfcc(samples.data(), 16000, 16, 16000, cfg.c_str(), &frames, &size);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Cannot open " + cfg + " (line 129, file CMel)\nCan't open config file " + cfg + " \n");
  EXPECT_EQ(frames, 99);
  EXPECT_EQ(size, 39);
  auto withFile = run("", samples);
  EXPECT_EQ(mel.features, withFile->features);
}

// ---- Frames and settings -----------------------------------------------------------------------

TEST(CMelFrames, DefaultGeometryAtSixteenKilohertz) {
  auto mel = run("", twoTones(16000, 16000));
  EXPECT_EQ(mel->sampPeriod, 625);
  EXPECT_EQ(mel->frameSize, 320);
  EXPECT_EQ(mel->frameShift, 160);
  EXPECT_EQ(mel->nFrames, 99);
  EXPECT_EQ(mel->vecSize, 39);
  EXPECT_EQ(mel->fbInfo.fftN, 512);
  EXPECT_EQ(mel->fbInfo.numChans, 26);
  EXPECT_EQ(mel->fbInfo.klo, 2);
  EXPECT_EQ(mel->fbInfo.khi, 256);
  EXPECT_EQ(mel->feaBuf.sampPeriod, 100000);
  EXPECT_EQ(mel->feaBuf.sampSize, 156);
  EXPECT_EQ(mel->feaBuf.parmKind, 838);
}

TEST(CMelFrames, FewerSamplesThanOneFrameGiveNoFrames) {
  struct Case {
    int count;
    int frames;
  } cases[] = {{0, 0}, {319, 0}, {320, 1}, {479, 1}, {480, 2}};
  for (const Case& c : cases) {
    auto mel = run("", twoTones(c.count, 16000));
    EXPECT_EQ(mel->nFrames, c.frames) << c.count;
    EXPECT_EQ(mel->vecSize, 39) << c.count;
  }
  CMel mel;
  int frames = -1, size = -1;
  scratchDir dir;
  mel.computeMfcc(nullptr, 16000, 16, 0, dir.write("c.cfg", "").c_str(), &frames, &size);
  EXPECT_EQ(frames, 0);
  EXPECT_TRUE(mel.features.empty());
}

TEST(CMelFrames, SettingsThatCannotMakeFramesAreFatal) {
  struct Case {
    const char* cfg;
    int fs;
    int nbits;
    const char* says;
  } cases[] = {
      {"DELTAWINDOW = 0", 16000, 16, "DELTAWINDOW = 0"},
      {"ACCWINDOW = -1", 16000, 16, "ACCWINDOW = -1"},
      {"WINDOWSIZE = 600", 16000, 16, "WINDOWSIZE = 600 is below the sample period 625"},
      {"TARGETRATE = 0", 16000, 16, "TARGETRATE = 0 is below"},
      {"WINDOWSIZE = 1000", 16000, 16, "too few for a Hamming window"},
      {"NUMCHANS = 0", 16000, 16, "NUMCHANS = 0"},
      {"NUMCHANS = 40000", 16000, 16, "MAX_NUM_CHANS = 32766"},
      {"NUMCEPS = -3", 16000, 16, "NUMCEPS = -3"},
      {"NUMCEPS = 5000", 16000, 16, "vecSize = 15003 > MAX_VEC_SIZE = 8191"},
      {"", 0, 16, "sampling rate 0 Hz"},
      {"", -8000, 16, "sampling rate -8000 Hz"},
      {"", 20000000, 16, "sample period below 100 ns"},
      {"", 16000, 12, "12 bits a sample"},
      {"", 16000, 24, "24 bits a sample"},
  };
  std::vector<int> samples = twoTones(4000, 16000);
  for (const Case& c : cases) {
    std::string msg = expectFatal([&] { run(c.cfg, samples, c.fs, c.nbits); });
    EXPECT_THAT(msg, testing::HasSubstr(c.says)) << c.cfg;
    EXPECT_THAT(msg, MatchesRegex(".* \\(line [0-9]+ of CMel\\)")) << c.cfg;
  }
}

TEST(CMelFrames, WindowsOnlyMatterForTheKindsThatUseThem) {
  std::vector<int> samples = twoTones(4000, 16000);
  EXPECT_EQ(run("TARGETKIND = MFCC_E_D\nACCWINDOW = 0\n", samples)->vecSize, 26);
  EXPECT_EQ(run("TARGETKIND = MFCC_E\nDELTAWINDOW = 0\n", samples)->vecSize, 13);
  EXPECT_EQ(run("USEHAMMING = F\nWINDOWSIZE = 1000\nTARGETRATE = 625\n", samples)->nFrames, 4000);
}

// ---- Arithmetic -----------------------------------------------------------------------------------

// Frames of 200 samples of +-A, A doubling: the raw log energy is ln(2e8) + t ln 4, and the
// regression of a ramp with repeated edges is known in closed form.
TEST(CMelArithmetic, EnergyRampGivesExactEnergiesDeltasAndAccelerations) {
  const std::vector<int> samples = alternatingBlocks(200, {1000, 2000, 4000, 8000, 16000});
  const double slope = std::log(4.0);
  const double deltas[5] = {0.5, 0.8, 1.0, 0.8, 0.5};
  const double accs[5] = {0.13, 0.11, 0.0, -0.11, -0.13};
  struct Case {
    const char* cfg;
    bool normalised;
  } cases[] = {
      {"WINDOWSIZE = 125000\nTARGETRATE = 125000\nENORMALISE = F\n", false},
      {"WINDOWSIZE = 125000\nTARGETRATE = 125000\n", true},
  };
  for (const Case& c : cases) {
    auto mel = run(c.cfg, samples);
    ASSERT_EQ(mel->frameSize, 200);
    ASSERT_EQ(mel->nFrames, 5);
    const double scale = c.normalised ? 0.1 : 1.0;
    for (int t = 0; t < 5; ++t) {
      const double energy =
          c.normalised ? 1 - (4 - t) * slope * 0.1 : std::log(2e8) + t * slope;
      EXPECT_NEAR(at(*mel, t, 12), energy, 2e-6 * std::max(1.0, std::fabs(energy))) << c.cfg << t;
      EXPECT_NEAR(at(*mel, t, 25), scale * slope * deltas[t], 2e-6) << c.cfg << t;
      EXPECT_NEAR(at(*mel, t, 38), scale * slope * accs[t], 2e-6) << c.cfg << t;
    }
  }
}

// A window longer than the utterance repeats the edge frames for every d beyond it; the
// largest window a configuration can give still ends.
TEST(CMelArithmetic, RegressionWindowsLongerThanTheUtteranceRepeatTheEdges) {
  const std::vector<int> samples = twoTones(1600, 16000);
  for (int W : {12, 1000, 2147483647}) {
    const std::string cfg = "DELTAWINDOW = " + std::to_string(W) + "\nACCWINDOW = " + std::to_string(W) + "\n";
    auto mel = run(cfg, samples);
    const int T = mel->nFrames;
    ASSERT_EQ(T, 9);
    const double w = W;
    const double denominator = w * (w + 1) * (2 * w + 1) / 3;
    for (int from : {0, 13}) {
      for (int t = 0; t < T; ++t) {
        for (int j = 0; j < 13; ++j) {
          auto value = [&](int frame) { return double(at(*mel, std::max(0, std::min(T - 1, frame)), from + j)); };
          double sum = 0;
          if (W <= 1000) {
            for (int d = 1; d <= W; ++d) sum += d * (value(t + d) - value(t - d));
          } else {
            for (int d = 1; d < T; ++d) sum += d * (value(t + d) - value(t - d));
            sum += (w * (w + 1) - double(T - 1) * T) / 2 * (value(T - 1) - value(0));
          }
          const double want = sum / denominator;
          EXPECT_NEAR(at(*mel, t, from + 13 + j), want, 1e-5 * std::max(1e-3, std::fabs(want)))
              << "W " << W << " column " << from + 13 + j << " frame " << t;
        }
      }
    }
  }
}

TEST(CMelArithmetic, DigitalSilenceStaysFiniteAndSitsOnTheEnergyFloor) {
  std::vector<int> silence(16000, 0);
  for (const char* cfg : {"", "ENORMALISE = F\n"}) {
    auto mel = run(cfg, silence);
    for (float v : mel->features) ASSERT_TRUE(std::isfinite(v)) << cfg;
    for (int t = 0; t < mel->nFrames; ++t) {
      for (int j = 0; j < 12; ++j) EXPECT_EQ(at(*mel, t, j), 0.0f) << "every log channel is 0";
      EXPECT_EQ(at(*mel, t, 12), *cfg ? -1e10f : 1.0f);
      for (int j = 13; j < 39; ++j) EXPECT_EQ(at(*mel, t, j), 0.0f);
    }
  }

  // Silence, then a tone: the silent frames are raised to SILFLOOR dB below the loudest.
  std::vector<int> mixed(8000, 0);
  std::vector<int> loud = twoTones(8000, 16000);
  mixed.insert(mixed.end(), loud.begin(), loud.end());
  auto mel = run("", mixed);
  for (float v : mel->features) ASSERT_TRUE(std::isfinite(v));
  const float floorValue = float(1 - 50 * std::log(10.0) / 10 * 0.1);
  for (int t = 0; t <= 48; ++t) EXPECT_NEAR(at(*mel, t, 12), floorValue, 1e-5) << t;
  float top = -1e30f;
  for (int t = 0; t < mel->nFrames; ++t) top = std::max(top, at(*mel, t, 12));
  EXPECT_EQ(top, 1.0f);
}

// Each frame against a double-precision DFT, triangular filterbank and DCT written here.
TEST(CMelArithmetic, FramesMatchAStraightforwardReference) {
  struct Case {
    const char* name;
    std::string cfg;
    refSettings ref;
    int offset;
  };
  std::vector<Case> cases;
  cases.push_back({"defaults", "", refSettings{}, 0});
  {
    refSettings r;
    r.power = true;
    r.preEmph = 0.97;
    cases.push_back({"power", "USEPOWER = T\nPREEMCOEF = 0.97\n", r, 0});
  }
  {
    refSettings r;
    r.loFreq = 300;
    r.hiFreq = 3400;
    r.numChans = 20;
    cases.push_back({"band", "LOFREQ = 300\nHIFREQ = 3400\nNUMCHANS = 20\n", r, 0});
  }
  {
    refSettings r;
    r.hamming = false;
    r.cepLifter = 0;
    r.numCeps = 8;
    r.preEmph = 0;
    cases.push_back({"plain", "USEHAMMING = F\nCEPLIFTER = 0\nNUMCEPS = 8\nPREEMCOEF = 0\n", r, 0});
  }
  {
    refSettings r;
    r.zeroMean = true;
    cases.push_back({"zero mean", "ZMEANSOURCE = T\n", r, 700});
  }
  {
    refSettings r;
    r.fs = 8000;
    cases.push_back({"8 kHz", "", r, 0});
  }

  for (const Case& c : cases) {
    const std::vector<int> samples = twoTones(c.ref.fs, c.ref.fs, c.offset);
    auto mel = run(c.cfg, samples, c.ref.fs);
    const int n = c.ref.numCeps;
    ASSERT_EQ(mel->vecSize, 3 * (n + 1)) << c.name;
    std::vector<double> energies;
    for (int t = 0; t < mel->nFrames; ++t)
      energies.push_back(referenceFrame(samples, t * mel->frameShift, c.ref).logEnergy);
    const double top = *std::max_element(energies.begin(), energies.end());
    for (int t : {0, 7, mel->nFrames / 2, mel->nFrames - 1}) {
      refFrame want = referenceFrame(samples, t * mel->frameShift, c.ref);
      double largest = 0;
      for (int j = 0; j < n; ++j) {
        EXPECT_NEAR(at(*mel, t, j), want.ceps[j], 2e-4) << c.name << " frame " << t << " c" << j + 1;
        largest = std::max(largest, std::fabs(want.ceps[j]));
      }
      EXPECT_GT(largest, 1.0) << c.name << ": the reference frame is not trivial";
      EXPECT_NEAR(at(*mel, t, n), 1 - (top - energies[t]) * 0.1, 1e-5) << c.name << " frame " << t;
    }
  }
}

// The static values of one frame computed step by step in the plain way, with the same float
// and double operations as the front end: the cepstra (lifted), then C0 and log energy as the
// kind asks. The filterbank, windows and FFT size are those the front end set up.
std::vector<float> plainStaticFrame(const CMel& mel, const std::vector<int>& samples, int start) {
  const CMelConfig& c = mel.config;
  const int frameSize = mel.frameSize;
  std::vector<float> s(size_t(frameSize) + 1);
  for (int i = 1; i <= frameSize; ++i) s[i] = float(samples[size_t(start + i - 1)]);
  if (c.zeroMeanSource) {
    double sum = 0;
    for (int i = 1; i <= frameSize; ++i) sum += s[i];
    const float mean = float(sum / frameSize);
    for (int i = 1; i <= frameSize; ++i) s[i] -= mean;
  }
  double energy = 0;
  for (int i = 1; i <= frameSize; ++i) energy += double(s[i]) * s[i];
  const float k = c.preEmphCoef;
  if (k > 0) {
    for (int i = frameSize; i >= 2; --i) s[i] -= k * s[i - 1];
    s[1] *= 1 - k;
  }
  if (c.useHamming)
    for (int i = 1; i <= frameSize; ++i) s[i] *= mel.hamWin[i];

  const CFBankInfo& fb = mel.fbInfo;
  std::vector<float> x(size_t(fb.fftN) + 1, 0.0f);
  std::copy(s.begin() + 1, s.end(), x.begin() + 1);
  realFft(x.data(), fb.fftN);
  const int numChans = c.numChans;
  std::vector<float> fbank(size_t(numChans) + 1, 0.0f);
  for (int bin = fb.klo; bin <= fb.khi; ++bin) {
    float ek = x[2 * bin - 1] * x[2 * bin - 1] + x[2 * bin] * x[2 * bin];
    if (!fb.usePower) ek = std::sqrt(ek);
    const int lower = fb.loChan[bin];
    const float w = fb.loWt[bin];
    if (lower > 0) fbank[lower] += w * ek;
    if (lower < numChans) fbank[lower + 1] += (1 - w) * ek;
  }
  for (int ch = 1; ch <= numChans; ++ch) fbank[ch] = float(std::log(std::max(fbank[ch], 1.0f)));

  std::vector<float> row;
  const float norm = float(std::sqrt(2.0 / numChans));
  for (int j = 1; j <= c.numCeps; ++j) {
    float sum = 0;
    for (int ch = 1; ch <= numChans; ++ch) sum += fbank[ch] * float(std::cos(PI * j * (ch - 0.5) / numChans));
    float cep = norm * sum;
    if (c.cepLifter > 0) cep *= mel.cepLiftWin[j];
    row.push_back(cep);
  }
  if (c.targetKind & KIND_0) {
    float sum = 0;
    for (int ch = 1; ch <= numChans; ++ch) sum += fbank[ch];
    row.push_back(norm * sum);
  }
  if (c.targetKind & KIND_E) row.push_back(energy < 2.45e-308 ? -1e10f : float(std::log(energy)));
  return row;
}

TEST(CMelArithmetic, StaticValuesAreBitForBitThoseOfThePlainSteps) {
  struct Case {
    const char* name;
    std::string cfg;
    int fs;
  };
  const Case cases[] = {
      {"defaults", "", 16000},
      {"power and pre-emphasis", "USEPOWER = T\nPREEMCOEF = 0.97\n", 16000},
      {"band with bins above the last channel", "LOFREQ = 300\nHIFREQ = 3400\nNUMCHANS = 20\n", 16000},
      {"plain with C0", "USEHAMMING = F\nCEPLIFTER = 0\nNUMCEPS = 8\nPREEMCOEF = 0\nTARGETKIND = MFCC_0_E\n", 16000},
      {"zero mean, odd sizes", "ZMEANSOURCE = T\nNUMCEPS = 13\nNUMCHANS = 23\nWINDOWSIZE = 251250\n", 16000},
      {"no cepstra", "NUMCEPS = 0\n", 16000},
      {"8 kHz", "", 8000},
  };
  // Tones, then digital silence (the energy floor and log of channels below 1), then loud noise.
  std::vector<int> samples = twoTones(8000, 16000, 300);
  samples.resize(12000, 0);
  const std::vector<int> loud = noiseWave(6000, 20000, 99);
  samples.insert(samples.end(), loud.begin(), loud.end());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto mel = run("ENORMALISE = F\n" + c.cfg, samples, c.fs);
    ASSERT_GT(mel->nFrames, 100);
    for (int t = 0; t < mel->nFrames; ++t) {
      const std::vector<float> want = plainStaticFrame(*mel, samples, t * mel->frameShift);
      for (size_t j = 0; j < want.size(); ++j) {
        uint32_t got, expected;
        const float value = at(*mel, t, int(j));
        std::memcpy(&got, &value, sizeof got);
        std::memcpy(&expected, &want[j], sizeof expected);
        ASSERT_EQ(got, expected) << "frame " << t << ", value " << j << ": " << value << " against " << want[j];
      }
    }
  }
}

TEST(CMelArithmetic, EightBitAndFloatSamplesScaleToSixteenBits) {
  std::vector<int> bytes(4000), wide(4000);
  std::vector<float> floats(4000);
  for (int i = 0; i < 4000; ++i) {
    bytes[i] = 128 + int(std::lround(100 * std::sin(i * 0.07) + 20 * std::sin(i * 0.9)));
    wide[i] = (bytes[i] - 128) * 256;
    floats[i] = float(wide[i]) / 32768;
  }
  auto want = run("", wide);
  EXPECT_EQ(run("", bytes, 16000, 8)->features, want->features);

  scratchDir dir;
  CMel mel;
  int frames = 0, size = 0;
  mel.computeMfccFloat(floats.data(), 16000, 16, 4000, dir.write("c.cfg", "").c_str(), &frames, &size);
  EXPECT_EQ(mel.features, want->features);
}

// ---- Layout of the kinds ------------------------------------------------------------------------

TEST(CMelLayout, StaticPartThenDeltasThenAccelerationsForEveryKind) {
  const std::vector<int> samples = twoTones(8000, 16000);
  auto full = run("", samples);
  const int T = full->nFrames;

  auto energyOnly = run("TARGETKIND = MFCC_E\n", samples);
  auto withDeltas = run("TARGETKIND = MFCC_E_D\n", samples);
  ASSERT_EQ(energyOnly->vecSize, 13);
  ASSERT_EQ(withDeltas->vecSize, 26);
  for (int t = 0; t < T; ++t) {
    for (int j = 0; j < 13; ++j) EXPECT_EQ(at(*energyOnly, t, j), at(*full, t, j));
    for (int j = 0; j < 26; ++j) EXPECT_EQ(at(*withDeltas, t, j), at(*full, t, j));
  }

  // Eight cepstra: the energy and its regressions move to columns 8, 17 and 26.
  auto eight = run("NUMCEPS = 8\n", samples);
  ASSERT_EQ(eight->vecSize, 27);
  for (int t = 0; t < T; ++t) {
    EXPECT_EQ(at(*eight, t, 8), at(*full, t, 12));
    EXPECT_EQ(at(*eight, t, 17), at(*full, t, 25));
    EXPECT_EQ(at(*eight, t, 26), at(*full, t, 38));
  }

  // C0 and energy: C0 first and left alone, the energy after it normalised.
  auto both = run("TARGETKIND = MFCC_0_E_D_A\n", samples);
  ASSERT_EQ(both->vecSize, 42);
  refSettings r;
  for (int t = 0; t < T; ++t) {
    EXPECT_NEAR(at(*both, t, 12), referenceFrame(samples, t * 160, r).c0, 2e-4);
    EXPECT_EQ(at(*both, t, 13), at(*full, t, 12));
    EXPECT_EQ(at(*both, t, 14 + 13), at(*full, t, 25));
    EXPECT_EQ(at(*both, t, 28 + 13), at(*full, t, 38));
  }
}

TEST(CMelLayout, MeanRemovalTouchesOnlyTheCepstra) {
  const std::vector<int> samples = twoTones(8000, 16000);
  auto plain = run("", samples);
  auto zeroed = run("TARGETKIND = MFCC_E_D_A_Z\n", samples);
  const int T = plain->nFrames;
  for (int j = 0; j < 39; ++j) {
    double mean = 0;
    for (int t = 0; t < T; ++t) mean += at(*plain, t, j) / T;
    for (int t = 0; t < T; ++t) {
      if (j < 12)
        EXPECT_NEAR(at(*zeroed, t, j), at(*plain, t, j) - mean, 1e-4) << j;
      else
        EXPECT_EQ(at(*zeroed, t, j), at(*plain, t, j)) << j;
    }
  }
}

TEST(CMelLayout, OfferedFixedWindowRegressionsAndMeanRemovalAgree) {
  const std::vector<int> samples = twoTones(8000, 16000);
  auto mel = run("", samples);
  const std::vector<float> computed = mel->features;
  for (int t = 0; t < mel->nFrames; ++t)
    for (int j = 13; j < 39; ++j) mel->features[size_t(t) * 39 + j] = 0;
  mel->deltaFixedWindow();
  mel->accFixedWindow();
  EXPECT_EQ(mel->features, computed);

  auto zeroed = run("TARGETKIND = MFCC_E_D_A_Z\n", samples);
  mel->zeroMeanByKind();
  EXPECT_EQ(mel->features, zeroed->features);
}

// ---- Writers ------------------------------------------------------------------------------------

namespace {

std::unique_ptr<CMel> smallFeatures() {
  auto mel = std::make_unique<CMel>();
  mel->nFrames = 2;
  mel->vecSize = 3;
  mel->features = {1.5f, -2.0f, 0.125f, 3.0f, 1e-3f, 123456.0f};
  return mel;
}

uint32_t bitsOf(float f) {
  uint32_t b;
  memcpy(&b, &f, 4);
  return b;
}
std::string be32(uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string be16(uint16_t v) { return std::string{char(v >> 8), char(v)}; }
std::string runtimeMessage(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "nothing thrown";
}

}  // namespace

TEST(CMelWriters, BinaryFileIsTheLittleEndianFeatureFile) {
  scratchDir dir;
  auto mel = smallFeatures();
  mel->write2bin(dir.file("f.bin").c_str());
  std::string want = le32(2) + le32(100000) + le16(12) + le16(838);
  for (float v : mel->features) want += le32(bitsOf(v));
  EXPECT_EQ(readFile(dir.file("f.bin")), want);

  CFeaBuf back;
  ASSERT_TRUE(back.read(dir.file("f.bin").c_str(), true));
  EXPECT_EQ(back.row(1)[2], 123456.0f);
}

TEST(CMelWriters, TextFileHasOneLineAFrameEachValueFollowedByABlank) {
  scratchDir dir;
  auto mel = smallFeatures();
  mel->write2txt(dir.file("f.txt").c_str());
  EXPECT_EQ(readFile(dir.file("f.txt")), "1.5 -2 0.125 \n3 0.001 123456 \n");
}

TEST(CMelWriters, BothFeatureWritersCheckBeforeWriting) {
  scratchDir dir;
  struct Case {
    const char* what;
    void (*spoil)(CMel&);
    const char* message;
  } cases[] = {
      {"no frames", [](CMel& m) { m.nFrames = 0; }, "Write frame number error! "},
      {"frames not the features", [](CMel& m) { m.nFrames = 3; }, "Write frame number error! "},
      {"period", [](CMel& m) { m.config.targetRate = 0.5f; }, "Write frame period error! "},
      {"no values", [](CMel& m) { m.vecSize = 0; m.nFrames = 1; m.features.clear(); },
       "Write bytes_per_frame error! "},
  };
  for (const Case& c : cases) {
    for (int text = 0; text < 2; ++text) {
      auto mel = smallFeatures();
      c.spoil(*mel);
      std::string path = dir.file("x");
      std::string msg = runtimeMessage([&] {
        text ? mel->write2txt(path.c_str()) : mel->write2bin(path.c_str());
      });
      EXPECT_EQ(msg, std::string("[ERRMSG] CFeaBuf::write2bin => ") + c.message) << c.what << text;
    }
  }
  auto mel = smallFeatures();
  EXPECT_EQ(runtimeMessage([&] { mel->write2bin(dir.file("no/dir/f").c_str()); }),
            "[ERRMSG] CFeaBuf::write2bin => Can't write to file ");
  EXPECT_EQ(runtimeMessage([&] { mel->write2txt(dir.file("no/dir/f").c_str()); }),
            "[ERRMSG] CFeaBuf::write2bin => Can't write to file ");
  // A full disk takes the open and fails the writes.
  EXPECT_EQ(runtimeMessage([&] { mel->write2bin("/dev/full"); }),
            "[ERRMSG] CFeaBuf::write2bin => Can't write to file ");
  EXPECT_EQ(runtimeMessage([&] { mel->write2txt("/dev/full"); }),
            "[ERRMSG] CFeaBuf::write2bin => Can't write to file ");
}

TEST(CMelWriters, HtkFileIsBigEndianWithChecksum) {
  scratchDir dir;
  auto mel = smallFeatures();
  mel->config.targetKind = int16_t(838 | KIND_N | KIND_V);

  // The checksum, digit by digit: each value's high then low 16 bits in base 65536.
  uint64_t crc = 0;
  for (float v : mel->features) {
    crc = (crc * 65536 + (bitsOf(v) >> 16)) % 36897;
    crc = (crc * 65536 + (bitsOf(v) & 0xffff)) % 36897;
  }
  std::string want = be32(2) + be32(100000) + be16(12) + be16(838 | 0x1000);
  for (float v : mel->features) want += be32(bitsOf(v));
  want += be16(uint16_t(crc));

  mel->writeHtk(dir.file("a.htk").c_str());
  EXPECT_EQ(readFile(dir.file("a.htk")), want);
  EXPECT_EQ(mel->calcCrc(), crc);
  EXPECT_EQ(mel->config.crc, crc);
  mel->writeHtk(dir.file("b.htk").c_str());
  EXPECT_EQ(readFile(dir.file("b.htk")), want) << "a second write gives the same checksum";

  CFeaBuf back;
  ASSERT_TRUE(back.read(dir.file("a.htk").c_str(), false));
  EXPECT_EQ(back.parmKind, 838 | 0x1000);
  EXPECT_EQ(back.row(0)[1], -2.0f);

  mel->config.saveWithCrc = 0;
  mel->writeHtk(dir.file("c.htk").c_str());
  std::string plain = be32(2) + be32(100000) + be16(12) + be16(838);
  for (float v : mel->features) plain += be32(bitsOf(v));
  EXPECT_EQ(readFile(dir.file("c.htk")), plain);

  // A _K of the target kind is no checksum: without one written the header must not claim it.
  mel->config.targetKind = int16_t(838 | KIND_K);
  mel->writeHtk(dir.file("d.htk").c_str());
  EXPECT_EQ(readFile(dir.file("d.htk")), plain);
}

TEST(CMelWriters, HtkWriterReportsShortWritesAndGoesOn) {
  auto mel = smallFeatures();
  testing::internal::CaptureStdout();
  mel->writeHtk("/dev/full");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "WriteHTKHeader: Cannot write HTK format header\n"
            "WriteFloat: cant write to file\n"
            "WriteShort: cant write to file\n");
  scratchDir dir;
  std::string msg = expectFatal([&] { mel->writeHtk(dir.file("no/dir/a.htk").c_str()); });
  EXPECT_THAT(msg, testing::HasSubstr("Cannot open file"));
}
