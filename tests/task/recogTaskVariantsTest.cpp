#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "CMel.h"
#include "audioClass.h"
#include "fatalCatch.h"
#include "mlfClass.h"
#include "modelSetFixture.h"
#include "numericUtil.h"
#include "pitchTemplate.h"
#include "recogTask.h"
#include "signalTemplate.h"
#include "testFiles.h"
#include "toneFixture.h"
#include "waveFileFixture.h"

using namespace tulim;
using testing::HasSubstr;
using testing::MatchesRegex;
using tulim::test::envScope;
using tulim::test::readFile;
using tulim::test::scratchDir;

namespace {

// The fatal message of f ("" when it returns), its standard output dropped.
std::string fatalOf(const std::function<void()>& f) {
  envScope temp("temp", nullptr);
  std::string message;
  testing::internal::CaptureStdout();
  try {
    f();
  } catch (char* m) {
    message = m;
  }
  testing::internal::GetCapturedStdout();
  return message;
}

// The standard output of f.
std::string stdoutOf(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  try {
    f();
  } catch (...) {
    testing::internal::GetCapturedStdout();
    throw;
  }
  return testing::internal::GetCapturedStdout();
}

// The pitch parameters the recognition core hands over: ACF at 16000 Hz and 16 bits, no
// volume or clarity thresholds.
ptParam corePitchParam() {
  ptParam p;
  testing::internal::CaptureStdout();
  audioClass().ptParamSet(p, 16000, 16, 1, nullptr);
  testing::internal::GetCapturedStdout();
  p.useVolThreshold = 0;
  p.useClarityThreshold = 0;
  return p;
}

// Silence, a tone and silence again, with a DC offset so that the mean removal matters.
std::vector<int> quietToneWithOffset(int n, double freq, int amplitude, int offset) {
  std::vector<int> x = test::sineWave(n, freq, 16000, amplitude);
  for (int& v : x) v += offset;
  return x;
}

// The tracker's view of the wave written out from the description: the truncated mean
// removed and the largest magnitude brought to 2^(nbits - 1).
std::vector<int> referenceFullScale(const std::vector<int>& x, int nbits) {
  long long sum = 0;
  for (int v : x) sum += v;
  const long long mean = sum / static_cast<long long>(x.size());
  long long m = 0;
  for (int v : x) m = std::max(m, std::llabs(v - mean));
  std::vector<int> out;
  for (int v : x) {
    const double scaled = static_cast<double>(v - mean) * (std::pow(2.0, nbits) / 2) / static_cast<double>(m);
    out.push_back(static_cast<int>(scaled > 0 ? std::trunc(scaled + 0.5) : std::trunc(scaled - 0.5)));
  }
  return out;
}

struct framesOf {
  std::vector<float> volume, pitch;
};

framesOf referenceFrames(const std::vector<int>& x, const ptParam& param) {
  const int n = static_cast<int>(x.size());
  const int frameNum = audioClass().getFrameNum(n, param.frameSize, param.overlap);
  framesOf f{std::vector<float>(frameNum), std::vector<float>(frameNum)};
  frame2volume(x.data(), n, param.frameSize, param.overlap, f.volume.data(), 1);
  std::vector<int> scaled = referenceFullScale(x, param.nbits);
  ptParam p = param;
  wave2pitch<float>(scaled.data(), n, p, f.pitch.data(), nullptr, nullptr, nullptr);
  return f;
}

sylInfo node(int first, int last, const std::vector<std::pair<int, int>>& phones) {
  sylInfo s;
  s.frameId[0] = first;
  s.frameId[1] = last;
  s.volume = {-7.0f};  // stale values the computation must replace
  for (const auto& span : phones) {
    phoneInfo p;
    p.frameId[0] = span.first;
    p.frameId[1] = span.second;
    p.pitch = {-7.0f};
    s.phone.push_back(p);
  }
  return s;
}

std::vector<float> slice(const std::vector<float>& v, std::vector<int> at) {
  std::vector<float> out;
  for (int i : at) out.push_back(v[static_cast<size_t>(i)]);
  return out;
}

// A 16000 Hz, 16-bit mono wave file of the samples.
std::string waveFile(const scratchDir& dir, const std::string& name, const std::vector<int>& samples) {
  return dir.write(name, test::pcmWaveBytes(1, 16000, 16, test::pcm16Bytes(samples)));
}

}  // namespace

// ---- Pitch and volume per node and phone ----------------------------------------------------

TEST(SylPitchVolume, NodesAndPhonesTakeTheFramesTheySpan) {
  // A tone that swells: every frame has its own volume.
  std::vector<int> wave = quietToneWithOffset(16000, 200.0, 300, 500);
  for (size_t i = 0; i < wave.size(); ++i) wave[i] = 500 + (wave[i] - 500) * static_cast<int>(1 + i / 160);
  ptParam param = corePitchParam();
  framesOf ref = referenceFrames(wave, param);
  ASSERT_GE(ref.pitch.size(), 92u);
  ASSERT_NE(ref.volume[5], ref.volume[50]);

  struct Case {
    const char* what;
    int offset;  // first frame of the detected speech
  } cases[] = {{"speech from the first frame", 0}, {"speech detected from frame 40 on", 40}};
  for (const Case& c : cases) {
    const int o = c.offset;
    mlfClass result;
    result.m_syl.push_back(node(o, o + 2, {{o, o + 1}, {o + 2, o + 2}}));
    result.m_syl.push_back(node(o + 3, o + 4, {{o + 3, o + 4}}));
    // A gap in a label file's segmentation: the frames between are nobody's.
    result.m_syl.push_back(node(o + 50, o + 51, {{o + 50, o + 51}}));
    recogTask().sylPitchVolume(wave.data(), static_cast<int>(wave.size()), param, result);

    EXPECT_EQ(result.m_syl[0].volume, slice(ref.volume, {o, o + 1, o + 2})) << c.what;
    EXPECT_EQ(result.m_syl[0].pitch, slice(ref.pitch, {o, o + 1, o + 2})) << c.what;
    EXPECT_EQ(result.m_syl[1].volume, slice(ref.volume, {o + 3, o + 4})) << c.what;
    EXPECT_EQ(result.m_syl[1].pitch, slice(ref.pitch, {o + 3, o + 4})) << c.what;
    EXPECT_EQ(result.m_syl[2].volume, slice(ref.volume, {o + 50, o + 51})) << c.what;
    EXPECT_EQ(result.m_syl[0].phone[0].pitch, slice(ref.pitch, {o, o + 1})) << c.what;
    EXPECT_EQ(result.m_syl[0].phone[1].pitch, slice(ref.pitch, {o + 2})) << c.what;
    EXPECT_EQ(result.m_syl[1].phone[0].volume, slice(ref.volume, {o + 3, o + 4})) << c.what;
    EXPECT_EQ(result.m_syl[2].phone[0].pitch, slice(ref.pitch, {o + 50, o + 51})) << c.what;
  }
}

TEST(SylPitchVolume, QuietToneIsTrackedAtItsPitchAfterScalingToFullRange) {
  // Amplitude 300 on an offset of 500: only the scaled copy reaches the tracker.
  std::vector<int> wave = quietToneWithOffset(16000, 200.0, 300, 500);
  ptParam param = corePitchParam();
  const float minPitchBefore = param.minPitch;
  mlfClass result;
  result.m_syl.push_back(node(0, 59, {}));
  recogTask().sylPitchVolume(wave.data(), static_cast<int>(wave.size()), param, result);
  EXPECT_EQ(param.minPitch, minPitchBefore);  // the caller's record is not narrowed by the tracker

  const float expected = audioClass().freq2semitone(200.0f);
  int voiced = 0;
  for (float p : result.m_syl[0].pitch)
    if (p != 0) {
      ++voiced;
      EXPECT_NEAR(p, expected, 0.3f);
    }
  EXPECT_GT(voiced, 50);
  // Volume is measured on the samples as given: the sum of |x - median| of a 300 tone.
  EXPECT_GT(result.m_syl[0].volume[10], 300.0f);
  EXPECT_LT(result.m_syl[0].volume[10], 300.0f * 512);
}

TEST(SylPitchVolume, FramesBeyondTheWaveRepeatItsLastFrame) {
  std::vector<int> wave = quietToneWithOffset(1600, 200.0, 3000, 0);
  ptParam param = corePitchParam();
  framesOf ref = referenceFrames(wave, param);
  const int frameNum = static_cast<int>(ref.volume.size());
  ASSERT_GT(frameNum, 0);

  mlfClass result;
  result.m_syl.push_back(node(0, frameNum - 2, {{0, frameNum + 3}}));
  result.m_syl.push_back(node(frameNum - 1, frameNum + 2, {}));
  recogTask().sylPitchVolume(wave.data(), static_cast<int>(wave.size()), param, result);

  const std::vector<int> last(4, frameNum - 1);
  EXPECT_EQ(result.m_syl[1].volume, slice(ref.volume, last));
  EXPECT_EQ(result.m_syl[1].pitch, slice(ref.pitch, last));
  const std::vector<float>& phonePitch = result.m_syl[0].phone[0].pitch;
  ASSERT_EQ(phonePitch.size(), static_cast<size_t>(frameNum + 4));
  EXPECT_EQ(phonePitch.back(), ref.pitch.back());
}

TEST(SylPitchVolume, ConstantOrTooShortWavesGiveZerosWithoutFailing) {
  struct Case {
    const char* what;
    std::vector<int> wave;
  } cases[] = {
      {"constant", std::vector<int>(4000, 1234)},
      {"shorter than a frame", std::vector<int>(100, 50)},
      {"empty", {}},
  };
  ptParam param = corePitchParam();
  for (const Case& c : cases) {
    mlfClass result;
    result.m_syl.push_back(node(0, 2, {{0, 2}}));
    result.m_syl.push_back(node(3, 2, {}));  // an empty span takes no frame
    recogTask().sylPitchVolume(c.wave.data(), static_cast<int>(c.wave.size()), param, result);
    EXPECT_EQ(result.m_syl[0].pitch, std::vector<float>(3, 0.0f)) << c.what;
    EXPECT_EQ(result.m_syl[0].volume, std::vector<float>(3, 0.0f)) << c.what;
    EXPECT_EQ(result.m_syl[0].phone[0].pitch, std::vector<float>(3, 0.0f)) << c.what;
    EXPECT_TRUE(result.m_syl[1].volume.empty()) << c.what;
  }
}

TEST(SylPitchVolume, ExtremeSpansNeitherWrapNorOverflow) {
  std::vector<int> wave = quietToneWithOffset(1600, 200.0, 3000, 0);
  ptParam param = corePitchParam();
  // Reversed from the largest to the smallest frame: no frame, not the two an int wraps to.
  mlfClass reversed;
  reversed.m_syl.push_back(node(INT_MAX, INT_MIN, {{INT_MAX, INT_MIN}, {0, 1}}));
  recogTask().sylPitchVolume(wave.data(), static_cast<int>(wave.size()), param, reversed);
  EXPECT_TRUE(reversed.m_syl[0].volume.empty());
  EXPECT_TRUE(reversed.m_syl[0].phone[0].pitch.empty());
  EXPECT_EQ(reversed.m_syl[0].phone[1].pitch.size(), 2u);

  struct Case {
    const char* what;
    sylInfo syl;
    const char* message;
  } cases[] = {
      {"node", node(INT_MIN, INT_MAX, {}),
       "sylPitchVolume: node 1 spans frames -2147483648..2147483647, more than 2147483647 frames \\(line [0-9]+ of "
       "recogTaskVariants\\)"},
      {"phone", node(0, 9, {{-1, INT_MAX}}),
       "sylPitchVolume: a phone of node 1 spans frames -1..2147483647, more than 2147483647 frames .*"},
  };
  for (const Case& c : cases) {
    mlfClass result;
    result.m_syl.push_back(node(0, 2, {{0, 2}}));
    result.m_syl.push_back(c.syl);
    EXPECT_THAT(fatalOf([&] { recogTask().sylPitchVolume(wave.data(), static_cast<int>(wave.size()), param, result); }),
                MatchesRegex(c.message))
        << c.what;
    EXPECT_EQ(result.m_syl[0].volume, std::vector<float>{-7.0f}) << c.what;  // no node was touched
  }
}

// ---- Pitch and volume of a whole wave --------------------------------------------------------

TEST(WavePitchVolume, WritesIntegerVolumesAndThePitchTrackAsOneLineEach) {
  scratchDir dir;
  std::vector<int> wave = quietToneWithOffset(8000, 250.0, 2000, -100);
  ptParam param = corePitchParam();
  recogTask().wavePitchVolume(wave.data(), static_cast<int>(wave.size()), param, dir.file("p.txt"), dir.file("v.txt"));

  const int n = static_cast<int>(wave.size());
  const int frameNum = audioClass().getFrameNum(n, param.frameSize, param.overlap);
  std::vector<int> vol(frameNum);
  frame2volume(wave.data(), n, param.frameSize, param.overlap, vol.data(), 1);
  std::string volumes;
  for (int v : vol) volumes += std::to_string(v) + " ";
  EXPECT_EQ(readFile(dir.file("v.txt")), volumes + "\n");

  std::istringstream pitchLine(readFile(dir.file("p.txt")));
  std::vector<double> pitch;
  for (double v; pitchLine >> v;) pitch.push_back(v);
  ASSERT_EQ(static_cast<int>(pitch.size()), frameNum);
  for (int i = 2; i < frameNum - 2; ++i) EXPECT_NEAR(pitch[i], audioClass().freq2semitone(250.0f), 0.3) << i;
}

TEST(WavePitchVolumeDeathTest, UnopenableOutputEndsTheProcess) {
  std::vector<int> wave = quietToneWithOffset(4000, 250.0, 2000, 0);
  ptParam param = corePitchParam();
  EXPECT_EXIT(recogTask().wavePitchVolume(wave.data(), 4000, param, "/nonexistent/dir/p.txt", "/nonexistent/dir/v.txt"),
              testing::ExitedWithCode(1), "");
}

TEST(WavFilePitchVolume, ReadsSixteenAndEightKilohertzFilesLikeTheirSamples) {
  scratchDir dir;
  recogTask task;
  ptParam param = corePitchParam();
  std::vector<int> wave = quietToneWithOffset(6000, 220.0, 5000, 0);
  task.wavFilePitchVolume(waveFile(dir, "a.wav", wave), param, dir.file("p.txt"), dir.file("v.txt"));
  task.wavePitchVolume(wave.data(), static_cast<int>(wave.size()), param, dir.file("p0.txt"), dir.file("v0.txt"));
  EXPECT_EQ(readFile(dir.file("p.txt")), readFile(dir.file("p0.txt")));
  EXPECT_EQ(readFile(dir.file("v.txt")), readFile(dir.file("v0.txt")));

  // 8-bit data are unsigned bytes, silence at 128: they are heard as the wave preparation
  // hears them, centred and brought to 16 bits.
  std::string bytes;
  std::vector<int> centred;
  for (int v : test::sineWave(4000, 220.0, 8000, 100)) {
    bytes += static_cast<char>(128 + v);
    centred.push_back(v * 256);
  }
  task.wavFilePitchVolume(dir.write("b.wav", test::pcmWaveBytes(1, 8000, 8, bytes)), param, dir.file("p8.txt"),
                          dir.file("v8.txt"));
  task.wavePitchVolume(centred.data(), 4000, param, dir.file("p80.txt"), dir.file("v80.txt"));
  EXPECT_EQ(readFile(dir.file("v8.txt")), readFile(dir.file("v80.txt")));
  EXPECT_EQ(readFile(dir.file("p8.txt")), readFile(dir.file("p80.txt")));
}

TEST(WavFilePitchVolume, HearsStereoAndExtensibleFilesAsTheirMonoMix) {
  scratchDir dir;
  recogTask task;
  ptParam param = corePitchParam();
  std::vector<int> mono = quietToneWithOffset(6000, 220.0, 5000, 0);
  // The channels differ by a swelling offset: their mean is the tone.
  std::vector<int> stereo;
  for (size_t i = 0; i < mono.size(); ++i) {
    const int d = static_cast<int>(i % 400);
    stereo.push_back(mono[i] + d);
    stereo.push_back(mono[i] - d);
  }
  const std::string monoData = test::pcm16Bytes(mono);
  const std::string files[] = {
      dir.write("s.wav", test::pcmWaveBytes(2, 16000, 16, test::pcm16Bytes(stereo))),
      dir.write("x.wav", test::waveFileBytes({test::chunkBytes("fmt ", test::extensibleFmtBody(1, 16000, 16, 1)),
                                              test::chunkBytes("data", monoData)})),
  };
  task.wavePitchVolume(mono.data(), static_cast<int>(mono.size()), param, dir.file("p0.txt"), dir.file("v0.txt"));
  for (const std::string& file : files) {
    task.wavFilePitchVolume(file, param, dir.file("p.txt"), dir.file("v.txt"));
    EXPECT_EQ(readFile(dir.file("v.txt")), readFile(dir.file("v0.txt"))) << file;
    EXPECT_EQ(readFile(dir.file("p.txt")), readFile(dir.file("p0.txt"))) << file;
  }
}

TEST(WavFilePitchVolume, RefusesMissingFilesAndUnsupportedFormats) {
  scratchDir dir;
  ptParam param = corePitchParam();
  recogTask task;
  const std::string rate = dir.write("r.wav", test::pcmWaveBytes(1, 44100, 16, test::pcm16Bytes({1, 2, 3, 4})));
  const std::string depth = dir.write("d.wav", test::pcmWaveBytes(1, 16000, 24, std::string(12, '\1')));
  struct Case {
    std::string file;
    std::string message;
  } cases[] = {
      {dir.file("none.wav"), "Can't open wave file .*none\\.wav \\(line 24 in audioFile\\)"},
      {rate, "fs=44100 and nbits=16 of \".*r\\.wav\", but we require fs=8000 or 16000\\. \\(line [0-9]+ of "
             "recogTaskVariants\\)"},
      {depth, "Wave file .*d\\.wav has 24 bits per sample; only 8 and 16 bits can be read .*"},
  };
  for (const Case& c : cases)
    EXPECT_THAT(fatalOf([&] { task.wavFilePitchVolume(c.file, param, dir.file("p.txt"), dir.file("v.txt")); }),
                MatchesRegex(c.message));
}

// ---- Features of a wave file -------------------------------------------------------------------

namespace {

std::vector<float> directMfcc(const std::vector<int>& x, int begin, int end, const std::string& cfg, int& frames,
                              int& dim) {
  CMel mel;
  stdoutOf([&] { mel.computeMfcc(x.data() + begin, 16000, 16, end - begin + 1, cfg.c_str(), &frames, &dim); });
  return mel.features;
}

// 0.3 s of silence, 0.5 s of a loud tone, 0.3 s of silence.
std::vector<int> silenceToneSilence() {
  std::vector<int> x(4800, 0);
  std::vector<int> tone = test::sineWave(8000, 300.0, 16000, 10000);
  x.insert(x.end(), tone.begin(), tone.end());
  x.insert(x.end(), 4800, 0);
  return x;
}

// End-point detection on, the end points saved into dir, the default front end.
recogParam savingEpdParam(const scratchDir& dir) {
  recogParam param;
  param.useEpd = 1;
  param.outputDir = dir.path();
  param.featureConfigFile = dir.write("hcopy.cf", "TARGETKIND = MFCC_E_D_A\n");
  return param;
}

}  // namespace

TEST(WavFile2mfcc, WithoutEpdTakesTheWholeWave) {
  scratchDir dir;
  std::vector<int> wave = silenceToneSilence();
  recogParam param;
  param.featureConfigFile = dir.write("hcopy.cf", "TARGETKIND = MFCC_E_D_A\n");
  int frames = 0, dim = 0;
  std::vector<float> f;
  EXPECT_THAT(stdoutOf([&] { f = recogTask().wavFile2mfcc(waveFile(dir, "w.wav", wave), param, frames, dim); }),
              HasSubstr("\tEPD: [0, 17599]\n"));
  int refFrames = 0, refDim = 0;
  std::vector<float> ref = directMfcc(wave, 0, 17599, param.featureConfigFile, refFrames, refDim);
  EXPECT_EQ(frames, refFrames);
  EXPECT_EQ(dim, 39);
  EXPECT_EQ(f, ref);
  EXPECT_FALSE(std::ifstream(dir.file("endPoint.txt")).good());
}

TEST(WavFile2mfcc, AFullDiskUnderTheEndPointFileIsFatal) {
  scratchDir dir;
  recogParam param = savingEpdParam(dir);
  ASSERT_EQ(symlink("/dev/full", dir.file("endPoint.txt").c_str()), 0);
  const std::string wave = waveFile(dir, "w.wav", silenceToneSilence());
  int frames = 0, dim = 0;
  std::string error;
  stdoutOf([&] { error = tulim::test::fatalMessage([&] { recogTask().wavFile2mfcc(wave, param, frames, dim); }); });
  EXPECT_THAT(error, MatchesRegex("Cannot write file " + dir.file("endPoint.txt") + ": No space left on device \\(line [0-9]+ of utility\\)"));
}

TEST(WavFile2mfcc, WithEpdCutsToTheSpeechAndSavesTheEndPoints) {
  scratchDir dir;
  std::vector<int> wave = silenceToneSilence();
  recogParam param = savingEpdParam(dir);
  int frames = 0, dim = 0;
  std::vector<float> f;
  const std::string out =
      stdoutOf([&] { f = recogTask().wavFile2mfcc(waveFile(dir, "w.wav", wave), param, frames, dim); });

  // The detector's 256-sample frames: the tone covers frames 19 .. 49; each stands for its
  // centre sample 256 i + 127.
  std::istringstream saved(readFile(dir.file("endPoint.txt")));
  int begin = -1, end = -1;
  saved >> begin >> end;
  EXPECT_EQ(readFile(dir.file("endPoint.txt")), std::to_string(begin) + "\t" + std::to_string(end));
  EXPECT_EQ((begin - 127) % 256, 0);
  EXPECT_EQ((end - 127) % 256, 0);
  EXPECT_NEAR(begin, 4800, 300);
  EXPECT_NEAR(end, 12800, 300);
  EXPECT_THAT(out, HasSubstr(strFormat("\tEPD: [%d, %d]\n", begin, end)));
  EXPECT_THAT(out, HasSubstr("\t===> Saved " + dir.file("endPoint.txt") + "\n"));

  int refFrames = 0, refDim = 0;
  std::vector<float> ref = directMfcc(wave, begin, end, param.featureConfigFile, refFrames, refDim);
  EXPECT_EQ(frames, refFrames);
  EXPECT_EQ(f, ref);
}

TEST(WavFile2mfcc, RefusesSilenceUnderEpdAndMoreThanFortyThousandFrames) {
  scratchDir dir;
  recogParam param;
  param.useEpd = 1;
  int frames = 0, dim = 0;
  const std::string silent = waveFile(dir, "s.wav", std::vector<int>(16000, 0));
  EXPECT_THAT(fatalOf([&] { recogTask().wavFile2mfcc(silent, param, frames, dim); }),
              MatchesRegex("Error: no speech segment found in wave file .*s\\.wav "
                           "\\(line [0-9]+ of recogTaskVariants\\)"));

  // One frame per sample: 40000 frames pass, 40001 do not.
  param.useEpd = 0;
  param.featureConfigFile =
      dir.write("c.cf", "USEHAMMING = F\nWINDOWSIZE = 1000\nTARGETRATE = 625\nTARGETKIND = MFCC\n");
  const std::string limit = waveFile(dir, "l.wav", test::noiseWave(40000, 1000, 3));
  const std::string over = waveFile(dir, "o.wav", test::noiseWave(40001, 1000, 3));
  std::vector<float> f;
  stdoutOf([&] { f = recogTask().wavFile2mfcc(limit, param, frames, dim); });
  EXPECT_EQ(frames, 40000);
  EXPECT_EQ(f.size(), 40000u * dim);
  EXPECT_EQ(fatalOf([&] { recogTask().wavFile2mfcc(over, param, frames, dim); }),
            "Error: frameNum = 40001 > 40000, frameNum too big! (line 1236 in recogTask)");
}

TEST(WavFile2mfcc, HearsStereoEightBitAndExtensibleFilesAsTheirSixteenBitMonoMix) {
  scratchDir dir;
  recogParam param = savingEpdParam(dir);
  // Silence, a tone and silence in 8 bits (a DC offset on the silence), and the same as the
  // 16-bit samples the wave preparation makes of it.
  std::vector<int> mono;
  std::string bytes8;
  for (int v : silenceToneSilence()) {
    const int u = 128 + (v / 100 == 0 ? 1 : v / 100);
    bytes8 += static_cast<char>(u);
    mono.push_back((u - 128) * 256);
  }
  std::vector<int> stereo;
  for (size_t i = 0; i < mono.size(); ++i) {
    stereo.push_back(mono[i] + 5);
    stereo.push_back(mono[i] - 5);
  }
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"8-bit", test::pcmWaveBytes(1, 16000, 8, bytes8)},
      {"stereo", test::pcmWaveBytes(2, 16000, 16, test::pcm16Bytes(stereo))},
      {"extensible", test::waveFileBytes({test::chunkBytes("fmt ", test::extensibleFmtBody(1, 16000, 16, 1)),
                                          test::chunkBytes("data", test::pcm16Bytes(mono))})},
  };
  int refFrames = 0, refDim = 0;
  std::vector<float> ref;
  const std::string refOut =
      stdoutOf([&] { ref = recogTask().wavFile2mfcc(waveFile(dir, "m.wav", mono), param, refFrames, refDim); });
  const std::string refEnds = readFile(dir.file("endPoint.txt"));
  ASSERT_GT(refFrames, 0);
  for (const Case& c : cases) {
    int frames = 0, dim = 0;
    std::vector<float> f;
    const std::string out =
        stdoutOf([&] { f = recogTask().wavFile2mfcc(dir.write("c.wav", c.bytes), param, frames, dim); });
    EXPECT_EQ(out, refOut) << c.what;
    EXPECT_EQ(readFile(dir.file("endPoint.txt")), refEnds) << c.what;
    EXPECT_EQ(frames, refFrames) << c.what;
    EXPECT_EQ(f, ref) << c.what;
  }
}

// ---- Recognition over a net file ---------------------------------------------------------------

namespace {

std::string netText(const strVec& nodes, const std::vector<std::pair<int, int>>& links) {
  std::string text = "VERSION=1.0\nN=" + std::to_string(nodes.size()) + "\tL=" + std::to_string(links.size()) + "\n";
  for (size_t i = 0; i < nodes.size(); ++i) text += "I=" + std::to_string(i) + "\tW=" + nodes[i] + "\n";
  for (size_t k = 0; k < links.size(); ++k)
    text += "J=" + std::to_string(k) + "\tS=" + std::to_string(links[k].first) + "\tE=" +
            std::to_string(links[k].second) + "\n";
  return text;
}

// Models a, b and sil of the fixture (means 5..15, 25..35 and 45..55): the features of a
// tone lie nearest to a. The net offers a or b, a fan-out of 2.
struct netFileFixture {
  scratchDir dir;
  recogParam param;
  std::string wav;

  netFileFixture() {
    param.macFile = test::writeModelSet(dir, "m.mac", {"a", "b", "sil"});
    param.dicFile = dir.write("d.dic", "a a\nb b\nsil sil\n");
    param.netFile = dir.write("n.net", netText({"!NULL", "!NULL", "a", "b"}, {{0, 2}, {0, 3}, {2, 1}, {3, 1}}));
    param.featureConfigFile = dir.write("hcopy.cf", "TARGETKIND = MFCC_E_D_A\n");
    param.maxCandidateNum = 1200;
    param.probTh = 1000000;
    wav = waveFile(dir, "w.wav", test::sineWave(4000, 300.0, 16000, 8000));
  }
  strVec run(std::string* out = nullptr) {
    strVec result{"stale"};
    std::string text = stdoutOf([&] { recogTask().recogWithNetFile(result, wav, param); });
    if (out) *out = text;
    return result;
  }
};

}  // namespace

TEST(NetFileCandidateNum, FourTimesTheFanOutRaisedBelowTenAndCapped) {
  struct Case {
    int fanOut, maxCandidateNum, expected;
  } cases[] = {
      {2, 1200, 100}, {0, 1200, 100}, {3, 1200, 12}, {2, 50, 50}, {300, 1200, 1200}, {2, 0, 0}, {1 << 30, 1200, 1200},
  };
  for (const Case& c : cases)
    EXPECT_EQ(recogTask::netFileCandidateNum(c.fanOut, c.maxCandidateNum), c.expected)
        << c.fanOut << " " << c.maxCandidateNum;
}

TEST(RecogWithNetFile, RecognisesTheNearestSyllableAndReportsEachStep) {
  netFileFixture f;
  std::string out;
  EXPECT_EQ(f.run(&out), strVec{"a"});
  EXPECT_THAT(out, MatchesRegex("[0-9]+\\.[0-9]{3} sec: Read \".*m\\.mac\" \\(modelNum=3\\) and \"\"\n"
                                "[0-9]+\\.[0-9]{3} sec: Read dict \".*d\\.dic\" \\(dictSize=3\\)\n"
                                "[0-9]+\\.[0-9]{3} sec: Read net \".*n\\.net\" \\(nodeNum=4\\)\n"
                                "\tEPD: \\[0, 3999\\]\n"
                                "[0-9]+\\.[0-9]{3} sec: Feature extraction\n"
                                "(.*\n)*"
                                "[0-9]+\\.[0-9]{3} sec: Viterbi search\n"));
  EXPECT_THAT(out, testing::Not(HasSubstr("Saved")));
}

TEST(RecogWithNetFile, WritesTheResultFilesIntoTheOutputDirectory) {
  netFileFixture f;
  f.param.outputDir = f.dir.path();
  std::string out;
  EXPECT_EQ(f.run(&out), strVec{"a"});
  const std::string& d = f.dir.path();
  EXPECT_EQ(readFile(d + "/recogResult.txt"), "a\n");
  EXPECT_EQ(readFile(d + "/endPoint.txt"), "0\t3999");
  // The candidate list stops at the first candidate of one syllable: here the first one.
  EXPECT_EQ(readFile(d + "/arenaSylPath.txt"), "");
  EXPECT_THAT(readFile(d + "/syl.mlf"), HasSubstr(" a\n"));
  EXPECT_THAT(readFile(d + "/phoneTime.mlf"), HasSubstr(" a "));
  EXPECT_THAT(out, HasSubstr("\t===> Saved " + d + "/arenaSylPath.txt\n\t===> Saved " + d +
                             "/recogResult.txt\n\t===> Saved " + d + "/syl.mlf\n\t===> \xb2\xa3\xa5\xcd " + d +
                             "/phoneTime.mlf\n\t"));
  EXPECT_THAT(out, MatchesRegex("(.*\n)*\t[0-9]+\\.[0-9]{3} sec: write various output files\n"));
}

TEST(RecogWithNetFile, WordPenaltyRidesOnTheExitOfEverySyllableModel) {
  // Leaving the first a costs passing its far states 1 and 2 and the exit: without a
  // penalty the best candidate stays in the first a; a large reward on the exit draws it
  // into the second.
  netFileFixture f;
  f.param.netFile = f.dir.write("aa.net", netText({"!NULL", "!NULL", "a", "a"}, {{0, 2}, {2, 3}, {3, 1}}));
  f.param.outputDir = f.dir.path();
  EXPECT_EQ(f.run(), strVec{"a"});
  f.param.wordPenalty = 100000;
  EXPECT_EQ(f.run(), strVec{"a-a"});
  EXPECT_THAT(readFile(f.dir.file("arenaSylPath.txt")), MatchesRegex("a-a\t *-?[0-9]+\\.[0-9]{3}\n(.*\n)*"));
}

TEST(RecogWithNetFile, FailuresOfItsInputsAreFatal) {
  netFileFixture f;
  strVec result;
  f.param.maxCandidateNum = 0;
  EXPECT_THAT(fatalOf([&] { recogTask().recogWithNetFile(result, f.wav, f.param); }), HasSubstr("candidate"));
  f.param.maxCandidateNum = 1200;
  f.param.netFile = f.dir.file("missing.net");
  EXPECT_THAT(fatalOf([&] { recogTask().recogWithNetFile(result, f.wav, f.param); }), HasSubstr("missing.net"));
  f.param.netFile = f.dir.write("n2.net", netText({"!NULL", "!NULL", "a"}, {{0, 2}, {2, 1}}));
  EXPECT_THAT(fatalOf([&] { recogTask().recogWithNetFile(result, f.dir.file("none.wav"), f.param); }),
              HasSubstr("Can't open wave file"));
}

TEST(RecogWithNetFileTask, ReadsItsParameterFileAndRaisesTheCandidateLimit) {
  // maxCandidateNum 0 in the file would leave the search no candidate.
  netFileFixture f;
  const std::string paramFile =
      f.dir.write("p.txt", "macFile=" + f.param.macFile + "\ndicFile=" + f.param.dicFile + "\nnetFile=" +
                               f.param.netFile + "\nfeatureConfigFile=" + f.param.featureConfigFile +
                               "\nprobTh=1000000\nmaxCandidateNum=0\noutputDir=" + f.dir.path() + "\n");
  strVec result;
  stdoutOf([&] { recogTask().recogWithNetFileTask(result, f.wav, paramFile); });
  EXPECT_EQ(result, strVec{"a"});
  EXPECT_EQ(readFile(f.dir.file("recogResult.txt")), "a\n");
}

TEST(AudioEventDetect, UsesTheModelsUnderNolvaAndWritesIntoOutput) {
  netFileFixture f;
  ASSERT_EQ(mkdir(f.dir.file("nolva").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(f.dir.file("output").c_str(), 0755), 0);
  test::writeModelSet(f.dir, "nolva/audioEvent.mac", {"a", "b", "sil"});
  f.dir.write("nolva/audioEvent.dic", "a a\nb b\nsil sil\n");
  f.dir.write("nolva/hcopy.cf", "TARGETKIND = MFCC_E_D_A\n");
  test::cwdScope here(f.dir.path());
  strVec result;
  const std::string out = stdoutOf([&] { recogTask().audioEventDetect(result, "w.wav", "n.net"); });
  EXPECT_EQ(result, strVec{"a"});
  EXPECT_EQ(readFile("output/recogResult.txt"), "a\n");
  EXPECT_THAT(out, HasSubstr("Read \"nolva/audioEvent.mac\" (modelNum=3)"));
  EXPECT_THAT(out, HasSubstr("Read net \"n.net\""));
}

// Every road that reads a wave file by itself says why a file that opens cannot be read,
// and keeps "Can't open wave file" for one that does not open.
TEST(WaveFileVariants, SayWhyAWaveCannotBeRead) {
  scratchDir dir;
  const std::string good = test::pcmWaveBytes(1, 16000, 16, test::pcm16Bytes({5, 6, 7, 8}));
  struct Case {
    const char* what;
    std::string file;  // none: the file is missing
    const char* says;
  } cases[] = {
      {"missing", "", "Can't open wave file NAME \\(line 24 in audioFile\\)"},
      {"0 bytes", "", "Wave file NAME is empty \\(0 bytes\\), not a RIFF WAVE file \\(line [0-9]+ of audioFile\\)"},
      {"text", "not a wave\n", "Wave file NAME is not a RIFF WAVE file \\(line [0-9]+ of audioFile\\)"},
      {"header only", good.substr(0, 46),
       "Wave file NAME has a data size of 8 bytes beyond the end of the file \\(0 bytes left\\) "
       "\\(line [0-9]+ of audioFile\\)"},
      {"truncated", good.substr(0, 30), "Wave file NAME has its header cut at byte 30 \\(line [0-9]+ of audioFile\\)"},
  };
  netFileFixture net;
  ptParam pitch = corePitchParam();
  const std::function<void(const std::string&)> roads[] = {
      [&](const std::string& wav) { recogTask().wavFilePitchVolume(wav, pitch, dir.file("p"), dir.file("v")); },
      [&](const std::string& wav) {
        int frames = 0, dim = 0;
        recogTask().wavFile2mfcc(wav, net.param, frames, dim);
      },
      [&](const std::string& wav) {
        strVec result;
        recogTask().recogWithNetFile(result, wav, net.param);
      },
  };
  for (const Case& c : cases) {
    const std::string path = std::string(c.what) == "missing" ? dir.file("none.wav") : dir.write("a.wav", c.file);
    std::string says = c.says;
    says.replace(says.find("NAME"), 4, path);
    for (const auto& road : roads) EXPECT_THAT(fatalOf([&] { road(path); }), MatchesRegex(says)) << c.what;
  }
}
