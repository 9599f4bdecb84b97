// tulim-run as a child process: usage text and status, the argument overrides, the report
// of a real recognition of the example task, the checks before a run, and fatal errors
// printed with status 1.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "audioFile.h"
#include "childProcess.h"
#include "exampleTask.h"
#include "flvFixture.h"
#include "testFiles.h"
#include "utility.h"
#include "waveFileFixture.h"

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

TEST(TulimRunTest, HelpPrintsTheUsageAndEndsWithZero) {
  const std::string usage = usageText(1);
  const std::string lines = usage.substr(usage.find("Usage: "));
  for (const char* option : {"--help", "-h"}) {
    const programResult r = programRun(kProgram, {option});
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_EQ(r.out, lines) << option;
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

// The coding configuration of HTK-trained model sets, a byte-order mark on every text file
// and a count file of fewer lines than models, one count 0: the result of the plain files.
TEST_F(TulimRunExample, HtkConfigurationByteOrderMarksAndAShortCountFileChangeNoResult) {
  const programResult plain = run({example::PARAM_FILE, "", "", "", "out"});
  ASSERT_EQ(plain.status, 0) << plain.out;
  const std::string plainResult = test::readFile(dir.file("out/recogResult.txt"));
  const std::string plainXml = test::readFile(dir.file("out/output.xml"));

  const std::string mark = "\xEF\xBB\xBF";
  dir.write("htk.cfg", mark + "# coding configuration\nSOURCEFORMAT = WAV\nHPARM: SAVECOMPRESSED = T\n"
                              "SAVEWITHCRC\t= T\nBYTEORDER = VAX\n" + std::string(example::FEATURE_CONFIG) +
                              "TRACE = 0\n");
  dir.write("marked.txt", mark + test::readFile(dir.file(example::TEXT_FILE)));
  dir.write("marked.syl", mark + test::readFile(dir.file(example::SYL_FILE)));
  // Counts of 0 give every model the weight of a model without a count.
  dir.write("models.cnt", mark + "% never seen\nnone\t0\n");
  dir.write("marked.prm", mark + "function=recog\n" + test::readFile(dir.file(example::PARAM_FILE)) +
                              "featureConfigFile=htk.cfg\ntxtFile=marked.txt\nsylFile=marked.syl\n"
                              "modelCountFile=models.cnt\n");
  const programResult marked = run({"marked.prm", "", "", "", "out"});
  ASSERT_EQ(marked.status, 0) << marked.out;
  EXPECT_THAT(marked.out, HasSubstr("Warning: CMel: htk.cfg, line 18: the key \"TRACE\" is not used by this front "
                                    "end; ignored\n"));
  EXPECT_THAT(marked.out, HasSubstr("Warning: Mismatched model count file models.cnt!"));
  EXPECT_EQ(test::readFile(dir.file("out/recogResult.txt")), plainResult);
  EXPECT_EQ(test::readFile(dir.file("out/output.xml")), plainXml);
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
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        std::regex_search(r.out, std::regex("\nCannot open file " + c.value + ": [A-Za-z ]+ \\(line \\d+ of utility\\)\n$")))
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

// The program does not link the FLV decoder's library: it loads it on the first FLV file.
TEST_F(TulimRunExample, RecognisesAnFlvUtteranceWithTheDecoderLoadedOnDemand) {
  int fs = 0, nbits = 0, count = 0;
  int* samples = readWaveInt(dir.file(example::WAVE_FILE).c_str(), &fs, &nbits, &count);
  ASSERT_NE(samples, nullptr);
  std::vector<float> at8k;
  for (int i = 0; i < count; i += fs / 8000) at8k.push_back(static_cast<float>(samples[i]) / 32768.0f);
  free(samples);
  const uint8_t nellymoser8kMono16 = 0x52;
  dir.write("utterance.flv", test::flvBuilder().audio(nellymoser8kMono16, test::nellymoserEncode(at8k, 8000)).bytes());

  const programResult r = run({example::PARAM_FILE, "utterance.flv", "", "", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, Not(HasSubstr("cannot be loaded")));
  EXPECT_THAT(r.out, HasSubstr("\n====== Recognition result ======\n")) << r.out;
  EXPECT_EQ(test::readFile(dir.file("out/recogResult.txt")).substr(0, 11), "Text index=");
}

TEST_F(TulimRunExample, SilenceFindsNoTextAndIsAssessedAtZeroWithItsVolumeWarning) {
  // 40 ms of digital zeros: too quiet for the volume check, too short for any syllable.
  const std::vector<int> zeros(640, 0);
  ASSERT_TRUE(wavFileWrite(zeros.data(), static_cast<int>(zeros.size()), 16000, 16, dir.file("quiet.wav").c_str()));

  // The volume warning comes with the error, which it explains.
  const programResult recognised = run({example::PARAM_FILE, "quiet.wav"});
  EXPECT_EQ(recognised.status, 1);
  EXPECT_TRUE(std::regex_search(recognised.out,
                                std::regex("\nWarning: Volume check: Max volume too small\\. Please increase the "
                                           "microphone's gain\\. \\(line \\d+ in recogTask\\)\n"
                                           "Error in textClass::pinyin2text\\(\\): None of the candidate texts was "
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

TEST_F(TulimRunExample, WavesWithoutAFeatureFrameAreRefusedNamingTheWave) {
  const std::vector<int> few(100, 50);
  ASSERT_TRUE(wavFileWrite(few.data(), static_cast<int>(few.size()), 16000, 16, dir.file("short.wav").c_str()));
  dir.write("byte.wav", test::pcmWaveBytes(1, 16000, 16, "\x01"));
  struct Case {
    std::string wave;
    std::string message;
  };
  const Case cases[] = {
      {"short.wav", "\nError: the wave short\\.wav is too short for one feature frame: 100 samples kept of 100 "
                    "\\(line \\d+ of recogTaskPrepare\\)\n$"},
      {"byte.wav", "(^|\n)Wave file byte\\.wav holds no samples: its 1 data bytes are fewer than the 2 of one sample "
                   "\\(1 channel\\(s\\) of 16 bits\\) \\(line \\d+ of audioFile\\)\n$"},
  };
  for (const Case& c : cases) {
    const programResult r = run({example::PARAM_FILE, c.wave});
    EXPECT_EQ(r.status, 1) << c.wave;
    EXPECT_TRUE(std::regex_search(r.out, std::regex(c.message))) << r.out;
  }
}

// A wave no longer than the shortest speech segment is refused as too short, whatever its
// volume says about the microphone.
TEST_F(TulimRunExample, AWaveTooShortForSpeechSaysSo) {
  std::vector<int> fifty(800);
  for (size_t i = 0; i < fifty.size(); ++i) fifty[i] = (i / 20) % 2 ? 8000 : -8000;
  ASSERT_TRUE(wavFileWrite(fifty.data(), static_cast<int>(fifty.size()), 16000, 16, dir.file("fifty.wav").c_str()));
  const programResult r = run({example::PARAM_FILE, "fifty.wav", "", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nError: the wave fifty\\.wav is too short for end-point detection: "
                                                  "50 ms \\(sampleCount=800 at fs=16000\\); speech must last longer "
                                                  "than 50 ms\\. \\(line \\d+ of recogTaskPrepare\\)\n$")))
      << r.out;
}

TEST_F(TulimRunExample, FatalErrorIsPrintedAndEndsWithOne) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"missing.prm"}, "Cannot open file missing.prm: No such file or directory \\(line \\d+ of utility\\)\n$"},
      {{example::PARAM_FILE, "missing.wav"}, "Can.t open wave file missing.wav \\(line \\d+ in audioFile\\)\n$"},
      {{example::PARAM_FILE, std::string(1000, 'w')},
       "recogParam.wavFile is 1000 characters long, more than its limit of 999 \\(line \\d+ in recogParam\\)\n$"},
  };
  for (const Case& c : cases) {
    const programResult r = run(c.args);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_TRUE(std::regex_search(r.out, std::regex(c.message))) << r.out;
    EXPECT_THAT(r.out, Not(HasSubstr("====== Recognition result ======")));
  }
}

TEST_F(TulimRunExample, MissingParameterFileLeavesTheErrorLog) {
  test::envScope temp("temp", dir.path().c_str());
  const programResult r = run({"missing.prm"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(std::regex_search(r.out, std::regex("^\nSaved error log at [^\n]*/error_\\d{8}_\\d{6}\\.log\\.\\.\\.\n"
                                                  "Cannot open file missing.prm: No such file or directory \\(line \\d+ of utility\\)\n$")))
      << r.out;
}

// A run that fails leaves none of the result files of the run before it: they would read
// as this run's result.
TEST_F(TulimRunExample, FailedRunLeavesNoEarlierResultFiles) {
  struct Case {
    std::vector<std::string> params;
    std::vector<std::string> args;  // after the parameter file, up to the syllable file
    std::vector<std::string> results;
  };
  dir.write("one.syl", "mi-sh-do\t0\n");
  const Case cases[] = {
      {{"function=recog"}, {"", "", "", "out"}, {"out/output.xml", "out/score.txt", "out/recogResult.txt"}},
      // An assessment against a syllable file also writes the confusing path.
      {{"function=assess", "usePaddedHardSp=0"},
       {"", "mi sh do", "", "out", "one.syl"},
       {"out/output.xml", "out/score.txt", "out/recogResult.txt", "out/confusingPath.txt"}},
  };
  for (const Case& c : cases) {
    dir.write("run.prm", test::keyLinesEdit(test::readFile(dir.file(example::PARAM_FILE)), {"function"}, c.params));
    std::vector<std::string> args = {"run.prm"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const programResult good = run(args);
    ASSERT_EQ(good.status, 0) << good.out;
    for (const std::string& f : c.results) ASSERT_TRUE(fileExist(dir.file(f).c_str())) << f;

    args[1] = "missing.wav";
    const programResult bad = run(args);
    EXPECT_EQ(bad.status, 1);
    for (const std::string& f : c.results) EXPECT_FALSE(fileExist(dir.file(f).c_str())) << c.params[0] << " " << f;
  }
}

TEST_F(TulimRunExample, RunOverLongerFilesOfAnEarlierRunWritesWhatAFreshFolderGets) {
  ASSERT_EQ(run({example::PARAM_FILE, "", "", "", "out"}).status, 0);
  std::vector<std::string> written;
  dirFileList(written, dir.file("out"), "*");
  ASSERT_GE(written.size(), 7u);  // the lexicon, net and result files

  // The same folder again, after something left every output long and different.
  const std::string junk(50000, '#');
  for (const std::string& f : written) dir.write("again/" + f.substr(f.rfind('/') + 1), junk);
  ASSERT_EQ(run({example::PARAM_FILE, "", "", "", "again"}).status, 0);
  for (const std::string& f : written) {
    const std::string name = f.substr(f.rfind('/') + 1);
    EXPECT_EQ(test::readFile(dir.file("again/" + name)), test::readFile(f)) << name;
  }
}

// Values that cannot work are refused before the run reads anything, naming the key, the
// value, the file and what is allowed; keys no run can do without name themselves.
TEST_F(TulimRunExample, ValuesTheRunCannotUseAreRefusedBeforeItStarts) {
  struct Case {
    std::vector<std::string> dropped;
    std::vector<std::string> added;
    std::vector<std::string> args;  // after the parameter file
    std::string message;
  };
  const std::string count = "it must be a whole number from 1 to 2147483647";
  const Case cases[] = {
      {{"probTh"}, {"probTh=nan"}, {}, "probTh = nan in bad.prm is not allowed; " + count},
      {{"probTh"}, {"probTh=2.5"}, {}, "probTh = 2.5 in bad.prm is not allowed; " + count},
      {{"maxCandidateNum"}, {"maxCandidateNum=-5"}, {}, "maxCandidateNum = -5 in bad.prm is not allowed; " + count},
      {{"maxCandidateNum"}, {"maxCandidateNum=12abc"}, {}, "maxCandidateNum = 12abc in bad.prm is not allowed; " + count},
      {{"maxCandidateNum"}, {"maxCandidateNum=99999999999"}, {}, "maxCandidateNum = 99999999999 in bad.prm is not"},
      // The limit is said, not only the least value.
      {{"maxCandidateNum"}, {"maxCandidateNum=99999999999999"}, {},
       "maxCandidateNum = 99999999999999 in bad.prm is not allowed; " + count},
      {{"maxCandidateNum"}, {}, {}, "maxCandidateNum is not set in bad.prm; " + count},
      {{"probTh"}, {}, {}, "probTh is not set in bad.prm; " + count},
      {{"comparisonMode"}, {}, {}, "comparisonMode is not set in bad.prm; it must be 1, 2 or 3"},
      {{"comparisonMode"}, {"comparisonMode=4"}, {}, "comparisonMode = 4 in bad.prm is not allowed; it must be 1, 2 or 3"},
      {{}, {"netType=2"}, {}, "netType = 2 in bad.prm is not allowed; it must be 0 or 1"},
      {{}, {"useSpecSubtraction=yes"}, {}, "useSpecSubtraction = yes in bad.prm is not allowed; it must be 0 or 1"},
      {{}, {"nodePenalty=-1.5"}, {}, "nodePenalty = -1.5 in bad.prm is not allowed; it must be a whole number"},
      {{"function"}, {"function=recognise"}, {}, "function = recognise in bad.prm is not allowed; it must be recog or assess"},
      {{"function"}, {}, {}, "function is not set in bad.prm; it must be recog or assess"},
      {{"language"}, {"language=englsh"}, {}, "language = englsh in bad.prm is not allowed; it must be chinese, taiwanese, english or japanese"},
      {{"language"}, {"language=chinese", "wpaFile=x.wpa", "pyTableFile=x.tab", "pinyinType=pinyin"}, {},
       "pinyinType = pinyin in bad.prm is not allowed; it must be krv or hanyu"},
      {{}, {}, {"", "", "yes"}, "useEpd = yes from argument 4 is not allowed; it must be 0 or 1"},
      {{}, {}, {"", "", "", "", "", "", "", "2"}, "getPitch = 2 from argument 9 is not allowed; it must be 0 or 1"},
      // Input files left empty, by their key.
      {{"macFile"}, {}, {}, "macFile is not set in bad.prm; it must be the name of the HMM set (a .mac or .macb file)"},
      {{"dicFile"}, {}, {}, "dicFile is not set in bad.prm; it must be the name of the pronunciation dictionary"},
      {{"language"}, {"language=english"}, {}, "wpaFile is not set in bad.prm; it must be the name of the word-to-"},
      {{"qiYinFile"}, {}, {}, "qiYinFile is not set in bad.prm; it must be the name of the list of unvoiced phones"},
      {{"tnmFile"}, {}, {}, "tnmFile is not set in bad.prm; it must be the name of the text normalisation map"},
      {{"featureConfigFile"}, {}, {}, "featureConfigFile is not set in bad.prm; it must be the name of the front end"},
      {{"phoneRank2scoreParamFile"}, {}, {}, "phoneRank2scoreParamFile is not set in bad.prm; it must be the name of"},
      {{"scoreDiscountParamFile"}, {}, {}, "scoreDiscountParamFile is not set in bad.prm; it must be the name of"},
      {{"wavFile"}, {}, {}, "wavFile is not set in bad.prm; it must be the name of the audio file of the utterance"},
      {{"txtFile"}, {}, {}, "txtFile is not set in bad.prm; it must be the name of the candidate texts' file"},
      {{"sylFile"}, {}, {}, "sylFile is not set in bad.prm; it must be the name of the syllable file"},
  };
  const std::string original = test::readFile(dir.file(example::PARAM_FILE));
  for (const Case& c : cases) {
    dir.write("bad.prm", test::keyLinesEdit(original, c.dropped, c.added));
    std::vector<std::string> args = {"bad.prm"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const programResult r = run(args);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_THAT(r.out, HasSubstr("Error: " + c.message)) << r.out;
    EXPECT_THAT(r.out, Not(HasSubstr("Read wave file"))) << c.message;
  }

  // An empty file names the first key it misses.
  dir.write("empty.prm", "");
  EXPECT_THAT(run({"empty.prm"}).out, HasSubstr("Error: function is not set in empty.prm;"));
}

TEST_F(TulimRunExample, TextsThatLookLikeAMissingFileAreWarnedAbout) {
  struct Case {
    std::string txtFile;
    bool warned;
  };
  const Case cases[] = {{"nope.txt", true}, {"texts/nope", true}, {"mi sh do#do re mi", false}, {"texts.txt", false}};
  for (const Case& c : cases) {
    const programResult r = run({example::PARAM_FILE, "", c.txtFile});
    const std::string warning =
        "\nWarning: no file \"" + c.txtFile + "\" exists; txtFile is taken as the texts themselves\n";
    EXPECT_EQ(r.out.find(warning) != std::string::npos, c.warned) << r.out;
  }

  dir.write("blank.txt", "  \n\t\n");
  const programResult r = run({example::PARAM_FILE, "", "blank.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("\nError: the text file \"blank.txt\" holds only blanks, no text \\(line \\d+ of recogTaskNet\\)\n$")))
      << r.out;
}


// ---- Files whole or absent, result sets from one run ------------------------------------

// Every file of a folder by name, and its bytes.
std::map<std::string, std::string> folderFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : test::folderNames(folder)) files[name] = test::readFile(folder + "/" + name);
  return files;
}

const char* const kResultNames[] = {"output.xml", "score.txt", "recogResult.txt"};

bool isResult(const std::string& name) {
  for (const char* r : kResultNames)
    if (name == r) return true;
  return false;
}

// A run's temporary files and the folder's lock file, which a killed run may leave.
bool isLeftOver(const std::string& name) { return name.rfind(".tulim", 0) == 0; }

class TulimRunFolder : public TulimRunExample {
 protected:
  // A complete run into a fresh folder: what every file of a run into "out" must be.
  // args after outputDir; a syllable file among them comes with reversed.txt.
  std::map<std::string, std::string> reference(const std::vector<std::string>& args, const std::string& folder) {
    mkdir(dir.file(folder).c_str(), 0755);
    std::vector<std::string> all = {example::PARAM_FILE, "", args.empty() ? "" : "reversed.txt", "", folder};
    all.insert(all.end(), args.begin(), args.end());
    const programResult r = run(all);
    EXPECT_EQ(r.status, 0) << r.out;
    return folderFiles(dir.file(folder));
  }

  // The files of an earlier run, marked so that they cannot pass for this run's.
  void earlierRunWrite(const std::map<std::string, std::string>& names) {
    for (const auto& f : folderFiles(dir.file("out"))) unlink(dir.file("out/" + f.first).c_str());
    for (const auto& f : names) dir.write("out/" + f.first, "old\n");
  }
};

// A run that cannot complete a file (the file size limit stands for a full disk) names the
// file and the reason and leaves no result file, neither its own nor an earlier one's.
TEST_F(TulimRunFolder, AWriteFailureAtSeveralSizesNamesItsReasonAndLeavesNoResult) {
  const auto ref = reference({}, "ref");
  const long xml = static_cast<long>(ref.at("output.xml").size());
  for (long limit : {0L, 10L, 100L, 300L, xml / 2, xml - 1}) {
    earlierRunWrite(ref);
    const programResult r = test::programRunLimited(kProgram, {example::PARAM_FILE, "", "", "", "out"}, dir.path(), limit);
    EXPECT_EQ(r.status, 1) << limit;
    EXPECT_TRUE(std::regex_search(
        r.out, std::regex("\n(Cannot|writeXml: cannot) write file out/\\S+: File too large \\(line \\d+ of \\w+\\)\n$")))
        << limit << ": " << r.out;
    for (const auto& f : folderFiles(dir.file("out"))) {
      EXPECT_FALSE(isResult(f.first)) << limit << ": " << f.first << " is left";
      EXPECT_FALSE(isLeftOver(f.first)) << limit << ": " << f.first << " is left";
    }
  }
}

// Killed at any moment, a run leaves every file as the earlier run left it, as a complete
// run writes it, or absent; and the result files all come from one of the two runs.
TEST_F(TulimRunFolder, ARunKilledAtAnyMomentLeavesEveryFileOldOrNewAndOneRunsResults) {
  const auto ref = reference({}, "ref");
  for (int delayMs : {0, 1, 2, 3, 5, 7, 10, 14, 20, 28, 40, 60, 90, 140}) {
    earlierRunWrite(ref);
    {
      test::runningProgram p(kProgram, {example::PARAM_FILE, "", "", "", "out"}, dir.path());
      usleep(static_cast<useconds_t>(delayMs) * 1000);
      p.signal(SIGKILL);
      p.wait();
    }
    bool oldResult = false, newResult = false;
    for (const auto& f : folderFiles(dir.file("out"))) {
      if (isLeftOver(f.first)) continue;
      ASSERT_TRUE(ref.count(f.first)) << delayMs << " ms: " << f.first;
      const bool old = f.second == "old\n";
      EXPECT_TRUE(old || f.second == ref.at(f.first)) << delayMs << " ms: " << f.first << " is cut or spliced";
      if (isResult(f.first)) (old ? oldResult : newResult) = true;
    }
    EXPECT_FALSE(oldResult && newResult) << delayMs << " ms: results of two runs";
  }
}

// Two runs started together into one folder take turns: the folder holds the complete files
// of one of them, never a mix.
TEST_F(TulimRunFolder, TwoRunsIntoOneFolderLeaveTheWholeFilesOfOne) {
  // The same candidates in the reverse order: the other run finds text 2.
  dir.write("reversed.txt", "sh mi re\nre do sh\nmi sh do\ndo re mi\n");
  dir.write("reversed.syl", "do-re-mi\t3\nmi-sh-do\t2\nre-do-sh\t1\nsh-mi-re\t0\n");
  const auto first = reference({}, "refA");
  const auto second = reference({"reversed.syl"}, "refB");
  ASSERT_NE(first.at("recogResult.txt"), second.at("recogResult.txt"));
  for (int pair = 0; pair < 25; ++pair) {
    earlierRunWrite({});
    test::runningProgram a(kProgram, {example::PARAM_FILE, "", "", "", "out"}, dir.path());
    test::runningProgram b(kProgram, {example::PARAM_FILE, "", "reversed.txt", "", "out", "reversed.syl"},
                           dir.path());
    EXPECT_EQ(a.wait(), 0) << a.out();
    EXPECT_EQ(b.wait(), 0) << b.out();
    const auto files = folderFiles(dir.file("out"));
    EXPECT_TRUE(files == first || files == second) << "pair " << pair << ": a mix of two runs";
  }
}

TEST_F(TulimRunFolder, AnOutputDirTheRunCannotUseIsRefusedBeforeTheRun) {
  dir.write("plain", "x");
  for (const char* folder : {"missing", "plain"}) {
    const programResult r = run({example::PARAM_FILE, "", "", "", folder});
    EXPECT_EQ(r.status, 1) << folder;
    EXPECT_THAT(r.out, HasSubstr("Error: outputDir = " + std::string(folder))) << r.out;
    EXPECT_THAT(r.out, Not(HasSubstr("Read wave file"))) << folder;
  }
}

}  // namespace
}  // namespace tulim
