// tulim-run as a child process: usage text and status, the argument overrides, the report
// of a real recognition of the example task, and fatal errors printed with status 0.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <string>
#include <vector>

#include "audioFile.h"
#include "childProcess.h"
#include "exampleTask.h"
#include "testFiles.h"

namespace tulim {
namespace {

using test::programResult;
using test::programRun;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kProgram = TULIM_RUN_PROGRAM;

std::string usageText(int argNum) {
  const char* tails[] = {"",
                         " wavFile",
                         " wavFile txtFile",
                         " wavFile txtFile useEpd ",
                         " wavFile txtFile useEpd outputDir",
                         " wavFile txtFile useEpd outputDir syl",
                         " wavFile txtFile useEpd outputDir syl net",
                         " wavFile txtFile useEpd outputDir syl net wpa",
                         " wavFile txtFile useEpd outputDir syl net wpa getPitch",
                         " wavFile txtFile useEpd outputDir syl net wpa getPitch inputLabFile"};
  std::string text = "No. of command-line arguments: " + std::to_string(argNum) +
                     "\nNo. of command-line arguments should within [1, 10].\n";
  for (int i = 0; i < 10; i++)
    text += std::string(i == 0 ? "Usage: " : "       ") + kProgram + " recogParamFile" + tails[i] + "\n";
  return text;
}

TEST(TulimRunTest, PrintsUsageAndEndsWithOneOutsideOneToTenArguments) {
  for (int argNum : {0, 11}) {
    const programResult r = programRun(kProgram, std::vector<std::string>(static_cast<size_t>(argNum), "x"));
    EXPECT_EQ(r.status, 1) << argNum;
    EXPECT_EQ(r.out, usageText(argNum)) << argNum;
  }
}

// What run-demo shows: the committed example (written by tulim-make-example) still says
// its text. Its parameter file names no output directory, so nothing is written there.
TEST(TulimRunTest, CommittedExampleSaysItsText) {
  const programResult r = programRun(kProgram, {example::PARAM_FILE}, TULIM_EXAMPLES_DIR);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("\n====== Recognition result ======\nText = " +
                               example::candidateTexts()[example::SPOKEN_TEXT_INDEX] + "\n"))
      << r.out;
}

// The example task in a scratch directory, with an output directory "out".
class TulimRunExample : public ::testing::Test {
 protected:
  void SetUp() override {
    example::exampleTaskWrite(dir.path());
    mkdir(dir.file("out").c_str(), 0755);
  }

  programResult run(const std::vector<std::string>& args) { return programRun(kProgram, args, dir.path()); }

  test::scratchDir dir;
};

TEST_F(TulimRunExample, ReportsTheRecognisedTextAndEverySyllable) {
  const programResult r = run({example::PARAM_FILE, "", "", "", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(test::readFile(dir.file("out/recogResult.txt")).substr(0, 13), "Text index=1\n");

  const size_t report = r.out.find("\n====== Recognition result ======\n");
  ASSERT_NE(report, std::string::npos) << r.out;
  const std::string tail = r.out.substr(report);
  EXPECT_EQ(tail.substr(0, tail.find("Log probability = ")),
            "\n====== Recognition result ======\nText = mi sh do\nPhonetic alphabets = mi-sh-do\n");
  EXPECT_TRUE(std::regex_search(
      tail,
      std::regex(
          "\nLog probability = -[0-9.e+]+\nScore = [^\n]+\n\n====== Confidence measure details ======\n0: sil \\(")))
      << tail;

  // Every syllable of the path, and for each phone the seven detail lines.
  const std::regex syllable("\n(\\d+): (\\w+) \\([^)]*\\)\n");
  std::vector<std::string> names;
  for (std::sregex_iterator it(tail.begin(), tail.end(), syllable), end; it != end; ++it) names.push_back((*it)[2]);
  EXPECT_EQ(names, (std::vector<std::string>{"sil", "mi", "sh", "do", "sil"}));
  EXPECT_TRUE(std::regex_search(tail, std::regex("\n1: mi \\([^)]*\\)\n\t0: mi\n\t\tRank ratio: \\d+/\\d+=[^\n]+\n"
                                                 "\t\tTime span: [0-9.]+~[0-9.]+ sec\n"
                                                 "\t\tFrame indices: (\\d+)~(\\d+)\n"
                                                 "\t\tTime weight: \\d+/\\d+=[^\n]+%\n"
                                                 "\t\tTimber score: [^\n]+\n\t\tPitch: \n2: sh")))
      << tail;
  EXPECT_TRUE(std::regex_search(tail, std::regex("\n\nm_score = [^\n]+\n$"))) << tail;
}

TEST_F(TulimRunExample, ChineseAddsTheThreeBig5TranscriptionLines) {
  // The same syllables as a Mandarin task: a pinyin table whose columns spell each syllable
  // alike, and a lexicon of one word, which the syllable file makes unused.
  dir.write("pinyin.tab", "do\tdo\tdo\tdo\nre\tre\tre\tre\nmi\tmi\tmi\tmi\nsh\tsh\tsh\tsh\n");
  dir.write("lexicon.wpa", "\xa4\x40\t1\tx\t0\ty\n");
  struct Case {
    std::string language;
    std::string lines;  // between the phonetic alphabets and the log probability
  };
  const Case cases[] = {
      {"chinese",
       "\xb0\xea\xbb\x79\xab\xf7\xad\xb5 = mi-sh-do\n\xba\x7e\xbb\x79\xab\xf7\xad\xb5 = mi-sh-do\n"
       "\xad\xb5\xbd\xd5=\n"},
      {"taiwanese", ""},
  };
  for (const Case& c : cases) {
    dir.write("language.prm", test::readFile(dir.file(example::PARAM_FILE)) + "language=" + c.language +
                                  "\npinyinType=krv\npyTableFile=pinyin.tab\nwpaFile=lexicon.wpa\n");
    const programResult r = run({"language.prm"});
    EXPECT_EQ(r.status, 0) << c.language;
    EXPECT_THAT(r.out, HasSubstr("\nPhonetic alphabets = mi-sh-do\n" + c.lines + "Log probability = ")) << r.out;
  }
}

TEST_F(TulimRunExample, TimeSpanAndFrameIndicesAgree) {
  const programResult r = run({example::PARAM_FILE});
  const std::regex phone("\t\tTime span: ([0-9.]+)~([0-9.]+) sec\n\t\tFrame indices: (\\d+)~(\\d+)\n");
  int phones = 0;
  for (std::sregex_iterator it(r.out.begin(), r.out.end(), phone), end; it != end; ++it, ++phones) {
    const int begin = std::stoi((*it)[3]), last = std::stoi((*it)[4]);
    EXPECT_DOUBLE_EQ(std::stod((*it)[1]), begin / 100.0);
    EXPECT_DOUBLE_EQ(std::stod((*it)[2]), (last + 1) / 100.0);
  }
  EXPECT_EQ(phones, 5) << r.out;
}

TEST_F(TulimRunExample, ArgumentsReplaceTheFileValues) {
  // Another utterance, other candidate syllables and another output directory.
  const std::vector<int> wave = example::exampleWave({"sil", "re", "do", "sh", "sil"}, {0.3, 0.4, 0.4, 0.3, 0.3}, 99);
  ASSERT_TRUE(wavFileWrite(wave.data(), static_cast<int>(wave.size()), 16000, 16, dir.file("other.wav").c_str()));
  dir.write("other.syl", "re-do-sh\t0\nsh-re-do\t1\n");
  dir.write("other.txt", "re do sh\nsh re do\n");
  mkdir(dir.file("elsewhere").c_str(), 0755);

  const programResult r = run({example::PARAM_FILE, "other.wav", "other.txt", "", "elsewhere", "other.syl"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("Read wave file \"other.wav\""));
  EXPECT_THAT(r.out, HasSubstr("\nText = re do sh\nPhonetic alphabets = re-do-sh\n"));
  EXPECT_EQ(test::readFile(dir.file("elsewhere/recogResult.txt")).substr(0, 13), "Text index=0\n");
  EXPECT_THAT(r.out, Not(HasSubstr("out/")));
}

TEST_F(TulimRunExample, LaterArgumentsReachTheirFields) {
  // A file that is not there shows which field the argument went to.
  struct Case {
    size_t position;
    std::string value;
  };
  const Case cases[] = {{6, "missing.syl"}, {7, "missing.net"}, {10, "missing.lab"}};
  for (const Case& c : cases) {
    std::vector<std::string> args(c.position, "");
    args[0] = example::PARAM_FILE;
    args[c.position - 1] = c.value;
    const programResult r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(
        std::regex_search(r.out, std::regex("\nCannot open file " + c.value + " \\(line \\d+ of utility\\)\n$")))
        << r.out;
  }

  // getPitch 1: every phone gets its pitch values.
  const programResult pitched = run({example::PARAM_FILE, "", "", "", "", "", "", "", "1"});
  EXPECT_THAT(pitched.out, HasSubstr("sec: Volume and pitch computation (based on the whole utterance)\n"));
  EXPECT_TRUE(
      std::regex_search(pitched.out, std::regex("\n3: do \\([^)]*\\)\n(.*\n){6}\t\tPitch: [0-9.]+( [0-9.]+)*\n")))
      << pitched.out;
}

TEST_F(TulimRunExample, EmptyArgumentsKeepTheFileValuesAndLaterOnesApply) {
  const programResult plain = run({example::PARAM_FILE});
  EXPECT_THAT(plain.out, HasSubstr("\twaveBeginIndex=0, "));

  // useEpd 1 from the fourth argument: the wave is cut to its speech.
  const programResult r = run({example::PARAM_FILE, "", "", "1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("Read wave file \"utterance.wav\""));
  EXPECT_THAT(r.out, HasSubstr("Read text \"texts.txt\""));
  EXPECT_THAT(r.out, Not(HasSubstr("\twaveBeginIndex=0, ")));
  EXPECT_THAT(r.out, HasSubstr("\nText = mi sh do\n"));
}

TEST_F(TulimRunExample, SilenceFindsNoTextAndIsAssessedAtZeroWithItsVolumeWarning) {
  // 40 ms of digital zeros: too quiet for the volume check, too short for any syllable.
  const std::vector<int> zeros(640, 0);
  ASSERT_TRUE(wavFileWrite(zeros.data(), static_cast<int>(zeros.size()), 16000, 16, dir.file("quiet.wav").c_str()));

  const programResult recognised = run({example::PARAM_FILE, "quiet.wav"});
  EXPECT_EQ(recognised.status, 0);
  EXPECT_TRUE(std::regex_search(recognised.out,
                                std::regex("\nError in textClass::pinyin2text\\(\\): None of the candidate texts was "
                                           "found in the wave: the best path \"\" holds no syllable \\(line \\d+ "
                                           "of file text\\)\n$")))
      << recognised.out;

  dir.write("assess.prm", test::readFile(dir.file(example::PARAM_FILE)) + "function=assess\nusePaddedHardSp=0\n");
  dir.write("one.txt", "mi sh do\n");
  dir.write("one.syl", "mi-sh-do\t0\n");
  const programResult assessed = run({"assess.prm", "quiet.wav", "one.txt", "", "", "one.syl"});
  EXPECT_EQ(assessed.status, 0);
  EXPECT_THAT(assessed.out, HasSubstr("\n====== Recognition result ======\nText = mi sh do\n"));
  EXPECT_THAT(assessed.out, HasSubstr("\nScore = 0\nWarning: Volume check: Max volume too small. Please increase the "
                                      "microphone's gain. (line 322 in recogTask)\n\n====== Confidence"))
      << assessed.out;
}

TEST_F(TulimRunExample, FatalErrorIsPrintedAndEndsWithZero) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"missing.prm"}, "Cannot open file missing.prm \\(line \\d+ of utility\\)\n$"},
      {{example::PARAM_FILE, "missing.wav"}, "Can.t open wave file missing.wav \\(line \\d+ in audioFile\\)\n$"},
      {{example::PARAM_FILE, std::string(1000, 'w')},
       "recogParam.wavFile is 1000 characters long, more than its limit of 999 \\(line \\d+ in recogParam\\)\n$"},
  };
  for (const Case& c : cases) {
    const programResult r = run(c.args);
    EXPECT_EQ(r.status, 0) << c.message;
    EXPECT_TRUE(std::regex_search(r.out, std::regex(c.message))) << r.out;
    EXPECT_THAT(r.out, Not(HasSubstr("====== Recognition result ======")));
  }
}

TEST_F(TulimRunExample, MissingParameterFileLeavesTheErrorLog) {
  test::envScope temp("temp", dir.path().c_str());
  const programResult r = run({"missing.prm"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(std::regex_search(r.out, std::regex("^\nSaved error log at [^\n]*/error_\\d{8}_\\d{6}\\.log\\.\\.\\.\n"
                                                  "Cannot open file missing.prm \\(line \\d+ of utility\\)\n$")))
      << r.out;
}

}  // namespace
}  // namespace tulim
