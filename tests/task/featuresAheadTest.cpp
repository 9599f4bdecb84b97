#include "featuresAhead.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "hostLocale.h"
#include "platform/cLocaleScope.h"
#include "recogTask.h"
#include "testFiles.h"
#include "toneFixture.h"

namespace tulim {
namespace {

struct made {
  std::vector<float> values;
  int frameNum = -1, vecSize = -1, firstFrame = -1;
  std::string out;  // elapsed times masked
  std::string error;
};

// What compute gives and prints, with its fatal error, if any; a fatal error is logged and
// announced as in a run (the log's name masked).
made run(const std::function<float*(int&, int&, int&)>& compute) {
  made m;
  test::scratchDir logs;
  test::envScope temp("temp", logs.path().c_str());
  testing::internal::CaptureStdout();
  try {
    float* v = compute(m.frameNum, m.vecSize, m.firstFrame);
    m.values.assign(v, v + static_cast<size_t>(m.frameNum) * static_cast<size_t>(m.vecSize));
    free(v);
  } catch (char* message) {
    m.error = message;
  }
  m.out = std::regex_replace(testing::internal::GetCapturedStdout(), std::regex("[0-9]+\\.[0-9]{3} sec: "), "# sec: ");
  m.out = std::regex_replace(m.out, std::regex("Saved error log at [^\n]*"), "Saved error log");
  return m;
}

made inLine(const recogParam& param, const std::vector<int>& x) {
  return run([&](int& frames, int& size, int& first) {
    return recogTask::epdAndMfcc(param, x.data(), static_cast<int>(x.size()), 16000, 16, 320, 160, frames, size,
                                 first);
  });
}

// Features begun ahead with started, taken with param after the caller printed a line of its own.
made ahead(const recogParam& started, const recogParam& param, const std::vector<int>& x) {
  return run([&](int& frames, int& size, int& first) {
    featuresAhead features(started, x.data(), static_cast<int>(x.size()), 16000, 16, 320, 160);
    printf("the caller's own line\n");
    return features.take(param, frames, size, first);
  });
}

void expectSame(const made& a, const made& b) {
  EXPECT_EQ(a.error, b.error);
  EXPECT_EQ(a.values, b.values);
  EXPECT_EQ(a.frameNum, b.frameNum);
  EXPECT_EQ(a.vecSize, b.vecSize);
  EXPECT_EQ(a.firstFrame, b.firstFrame);
  EXPECT_EQ("the caller's own line\n" + a.out, b.out);
}

// Features made ahead are those made in line, with the same output printed where the line
// would have printed it (after what the caller printed meanwhile), the front end's warnings
// included; a fault gives the in-line message and output, printed and logged once.
TEST(FeaturesAhead, GiveWhatTheyGiveInLineAndPrintItWhenTaken) {
  test::scratchDir dir;
  const std::vector<int> tone = test::sineWave(16000, 300, 16000, 4000);
  std::vector<int> speech(24000, 0);
  const std::vector<int> burst = test::sineWave(8000, 440, 16000, 8000);
  std::copy(burst.begin(), burst.end(), speech.begin() + 8000);
  struct Case {
    const char* name;
    int useEpd;
    std::string config;
    std::vector<int> wave;
    const char* printed;  // in what the line prints: a warning, or the fault's message
  };
  const std::string plain = dir.write("plain.cfg", "TARGETKIND = MFCC_E_D_A\n");
  const Case cases[] = {
      {"whole wave", 0, plain, tone, "Compute MFCC"},
      {"end points", 1, plain, speech, "Compute MFCC"},
      {"a key of another tool", 0, dir.write("other.cfg", "TARGETKIND = MFCC_E_D_A\nNOTAKEY = 3\n"), tone,
       "Warning: CMel:"},
      {"no configuration", 0, dir.file("missing.cfg"), tone, "Cannot open"},
      {"no speech", 1, plain, std::vector<int>(16000, 0), "found no speech"},
      {"shorter than a frame", 0, plain, std::vector<int>(100, 5), "too short for one feature frame"},
      {"a bad configuration", 0, dir.write("bad.cfg", "TARGETKIND\n"), tone, "no '='"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recogParam param;
    param.useEpd = c.useEpd;
    param.featureConfigFile = c.config;
    const made line = inLine(param, c.wave);
    EXPECT_NE((line.out + line.error).find(c.printed), std::string::npos);
    expectSame(line, ahead(param, param, c.wave));
  }
}

// Settings changed after the features were begun give the features of the new settings.
TEST(FeaturesAhead, SettingsChangedSinceTheStartAreTakenAsTheyAreNow) {
  test::scratchDir dir;
  const std::vector<int> tone = test::sineWave(16000, 300, 16000, 4000);
  recogParam started;
  started.featureConfigFile = dir.write("a.cfg", "TARGETKIND = MFCC_E_D_A\n");
  recogParam param = started;
  param.featureConfigFile = dir.write("b.cfg", "TARGETKIND = MFCC_E\n");
  const made line = inLine(param, tone);
  ASSERT_EQ(line.vecSize, 13);
  expectSame(line, ahead(started, param, tone));
  param = started;
  param.useEpd = 1;
  expectSame(inLine(param, tone), ahead(started, param, tone));
}

// Under a host's locale with a decimal comma, the features' thread prints as an entry point
// of the library does, in the C locale.
TEST(FeaturesAhead, PrintInTheCLocaleUnderAHostLocale) {
  test::scratchDir dir;
  recogParam param;
  param.featureConfigFile = dir.write("a.cfg", "TARGETKIND = MFCC_E_D_A\n");
  const std::vector<int> tone = test::sineWave(16000, 300, 16000, 4000);
  const test::hostCommaLocale host;
  if (host.name().empty()) GTEST_SKIP() << "no locale with a decimal comma on this machine";
  const cLocaleScope entryPoint;
  const made line = inLine(param, tone);
  EXPECT_NE(line.out.find("# sec: EPD"), std::string::npos);
  expectSame(line, ahead(param, param, tone));
}

// Features never taken are freed with their thread (the sanitizer build sees a leak).
TEST(FeaturesAhead, FeaturesNeverTakenAreFreed) {
  test::scratchDir dir;
  recogParam param;
  param.featureConfigFile = dir.write("a.cfg", "TARGETKIND = MFCC_E_D_A\n");
  const std::vector<int> tone = test::sineWave(16000, 300, 16000, 4000);
  testing::internal::CaptureStdout();
  { featuresAhead features(param, tone.data(), static_cast<int>(tone.size()), 16000, 16, 320, 160); }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
}  // namespace tulim
