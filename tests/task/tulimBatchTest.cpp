// tulim-batch as a child process: usage text and status, the list rules (comments, empty
// lines, backslashes, underscores for English, the syllable file carried over), the checks
// before the batch and before each line, and a failing line ending the batch with status 1,
// over the example task.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <regex>
#include <string>
#include <vector>

#include "audioFile.h"
#include "childProcess.h"
#include "exampleTask.h"
#include "testFiles.h"
#include "utility.h"

namespace tulim {
namespace {

using test::programResult;
using test::programRun;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kProgram = TULIM_BATCH_PROGRAM;

std::string usageText(int argNum) {
  const char* tails[] = {"",
                         " txtFile",
                         " txtFile useEpd ",
                         " txtFile useEpd outputDir",
                         " txtFile useEpd outputDir wpa",
                         " txtFile useEpd outputDir wpa getPitch"};
  std::string text = "No. of command-line arguments: " + std::to_string(argNum) + "\n";
  for (int i = 0; i < 6; i++)
    text += std::string(i == 0 ? "Usage: " : "       ") + kProgram + " recogParamFile wavFileList" + tails[i] + "\n";
  return text;
}

TEST(TulimBatchTest, PrintsUsageAndEndsWithOneOutsideTwoToSevenArguments) {
  for (int argNum : {0, 1, 8}) {
    const programResult r = programRun(kProgram, std::vector<std::string>(static_cast<size_t>(argNum), "x"));
    EXPECT_EQ(r.status, 1) << argNum;
    EXPECT_EQ(r.out, usageText(argNum)) << argNum;
  }
}

int count(const std::string& text, const std::string& piece) {
  int n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) n++;
  return n;
}

// The example task in a scratch directory, with an output directory "out" and a copy of the
// wave in "sub".
class TulimBatchExample : public ::testing::Test {
 protected:
  void SetUp() override {
    example::exampleTaskWrite(dir.path());
    mkdir(dir.file("out").c_str(), 0755);
    mkdir(dir.file("sub").c_str(), 0755);
    dir.write("sub/utterance.wav", test::readFile(dir.file(example::WAVE_FILE)));
    // The same candidates in another order: "mi-sh-do" is line 0 here.
    dir.write("other.syl", "mi-sh-do\t1\ndo-re-mi\t0\n");
  }

  programResult run(const std::string& list, const std::vector<std::string>& more = {"", "", "out"}) {
    dir.write("list.txt", list);
    std::vector<std::string> args = {example::PARAM_FILE, "list.txt"};
    args.insert(args.end(), more.begin(), more.end());
    return programRun(kProgram, args, dir.path());
  }

  bool exists(const std::string& name) const { return fileExist(dir.file(name).c_str()); }

  test::scratchDir dir;
};

TEST_F(TulimBatchExample, SkipsCommentsAndEmptyLinesAndRunsTheRestInOrder) {
  const programResult r =
      run("% two utterances\n"
          "\n"
          "first.xml\tsub\\utterance.wav\ttexts.txt\tother.syl\n"
          "second.xml\tutterance.wav\ttexts.txt\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("\n======> 1/2: xmlFile=first.xml, wavFile=sub/utterance.wav, txtFile=texts.txt, "
                               "sylFile=other.syl\n"));
  // Three fields: the syllable file of the line before stays.
  EXPECT_THAT(r.out, HasSubstr("\n======> 2/2: xmlFile=second.xml, wavFile=utterance.wav, txtFile=texts.txt, "
                               "sylFile=other.syl\n"));
  EXPECT_EQ(count(r.out, "\n======> "), 2);
  EXPECT_EQ(count(r.out, "\tsylIndex[0]=0 ===> mi-sh-do\t1\n"), 2) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nScore = [^\n]+\n\n======> 2/2")));
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nScore = [^\n]+\n$")));
  EXPECT_TRUE(exists("out/first.xml"));
  EXPECT_TRUE(exists("out/second.xml"));
  EXPECT_THAT(test::readFile(dir.file("out/recogResult.txt")), HasSubstr("Text index=1\nText=mi sh do\n"));
}

TEST_F(TulimBatchExample, UnderscoresOfTheTextsBecomeBlanksForEnglishOnly) {
  struct Case {
    std::string language;
    std::string shown;
  };
  const Case cases[] = {{"english", "txtFile=mi sh do#do re mi,"}, {"taiwanese", "txtFile=mi_sh_do#do_re_mi,"}};
  for (const Case& c : cases) {
    // The English lexicon is given inline: words separated by '@', each "word phones".
    dir.write("language.prm", test::readFile(dir.file(example::PARAM_FILE)) + "language=" + c.language +
                                  "\nwpaFile=do do@re re@mi mi@sh sh\n");
    dir.write("list.txt", "one.xml\tutterance.wav\tmi_sh_do#do_re_mi\n");
    const programResult r = programRun(kProgram, {"language.prm", "list.txt"}, dir.path());
    EXPECT_THAT(r.out, HasSubstr("\n======> 1/1: xmlFile=one.xml, wavFile=utterance.wav, " + c.shown)) << r.out;
  }
}

// The underscores stand for blanks in texts written into the field, not in a file's name.
TEST_F(TulimBatchExample, AListLineMayNameATextsFileWithUnderscores) {
  dir.write("english.prm", test::readFile(dir.file(example::PARAM_FILE)) +
                               "language=english\nwpaFile=do do@re re@mi mi@sh sh\nsylFile=\n");
  dir.write("my_texts.txt", "do re mi\nmi sh do\n");
  dir.write("list.txt", "one.xml\tutterance.wav\tmy_texts.txt\ntwo.xml\tutterance.wav\tdo_re_mi#mi_sh_do\n");
  const programResult r = programRun(kProgram, {"english.prm", "list.txt", "", "", "out"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("\n======> 1/2: xmlFile=one.xml, wavFile=utterance.wav, txtFile=my_texts.txt,"));
  EXPECT_THAT(r.out, HasSubstr("\n======> 2/2: xmlFile=two.xml, wavFile=utterance.wav, txtFile=do re mi#mi sh do,"));
  EXPECT_EQ(count(r.out, "\nScore = "), 2) << r.out;
  EXPECT_EQ(test::readFile(dir.file("out/one.xml")), test::readFile(dir.file("out/two.xml")))
      << "the file's texts are the field's";
}

// Files as an editor on Windows saves them (a byte-order mark first) and the feature
// configuration as HTK tools write it give the result of the plain files.
TEST_F(TulimBatchExample, ByteOrderMarksAndAnHtkConfigurationChangeNoResult) {
  const programResult plain = run("plain.xml\tutterance.wav\ttexts.txt\ttexts.syl\n");
  ASSERT_EQ(plain.status, 0) << plain.out;
  const std::string plainResult = test::readFile(dir.file("out/recogResult.txt"));

  const std::string mark = "\xEF\xBB\xBF";
  dir.write("marked.txt", mark + test::readFile(dir.file(example::TEXT_FILE)));
  dir.write("marked.syl", mark + test::readFile(dir.file(example::SYL_FILE)));
  dir.write("htk.cfg", mark + "# coding configuration\nHPARM: SOURCEFORMAT = WAV\nSAVECOMPRESSED = T\n"
                              "SAVEWITHCRC = T\n" + std::string(example::FEATURE_CONFIG) +
                              "TARGETKIND\t= MFCC_E_D_A\nNATURALREADORDER = F\n");
  // A key first, so that a mark left in place would make it unknown.
  dir.write("marked.prm", mark + "function=recog\n" + test::readFile(dir.file(example::PARAM_FILE)) +
                              "featureConfigFile=htk.cfg\n");
  dir.write("list.txt", mark + "marked.xml\tutterance.wav\tmarked.txt\tmarked.syl\n");
  const programResult marked = programRun(kProgram, {"marked.prm", "list.txt", "", "", "out"}, dir.path());
  ASSERT_EQ(marked.status, 0) << marked.out;
  EXPECT_THAT(marked.out, HasSubstr("\n======> 1/1: xmlFile=marked.xml, wavFile=utterance.wav, txtFile=marked.txt,"));
  EXPECT_THAT(marked.out, Not(HasSubstr("Warning: CMel")));
  EXPECT_EQ(test::readFile(dir.file("out/recogResult.txt")), plainResult);
  EXPECT_EQ(test::readFile(dir.file("out/marked.xml")), test::readFile(dir.file("out/plain.xml")));
}

TEST_F(TulimBatchExample, FailingLineEndsTheBatchAfterTheLinesBefore) {
  const programResult r =
      run("l1.xml\tutterance.wav\ttexts.txt\n"
          "l2.xml\tmissing.wav\ttexts.txt\n"
          "l3.xml\tutterance.wav\ttexts.txt\n"
          "l4.xml\tutterance.wav\ttexts.txt\n"
          "l5.xml\tutterance.wav\ttexts.txt\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, HasSubstr("\n======> 1/5: xmlFile=l1.xml"));
  EXPECT_THAT(r.out, HasSubstr("\n======> 2/5: xmlFile=l2.xml"));
  EXPECT_THAT(r.out, Not(HasSubstr("3/5")));
  EXPECT_EQ(count(r.out, "\nScore = "), 1);
  EXPECT_TRUE(
      std::regex_search(r.out, std::regex("\nCan.t open wave file missing.wav \\(line \\d+ in audioFile\\)\n$")))
      << r.out;
  EXPECT_TRUE(exists("out/l1.xml"));
  EXPECT_FALSE(exists("out/l3.xml"));
}

TEST_F(TulimBatchExample, LineScoreComesWithTheVolumeWarningOfItsWave) {
  // 40 ms of digital zeros, assessed against one text: nothing of it was said.
  const std::vector<int> zeros(640, 0);
  ASSERT_TRUE(wavFileWrite(zeros.data(), static_cast<int>(zeros.size()), 16000, 16, dir.file("quiet.wav").c_str()));
  dir.write("assess.prm", test::readFile(dir.file(example::PARAM_FILE)) + "function=assess\nusePaddedHardSp=0\n");
  dir.write("one.syl", "mi-sh-do\t0\n");
  dir.write("list.txt", "q.xml\tquiet.wav\tmi sh do\tone.syl\nu.xml\tutterance.wav\tmi sh do\n");
  const programResult r = programRun(kProgram, {"assess.prm", "list.txt", "", "", "out"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("\nWarning: Volume check: Max volume too small. Please increase the microphone's gain. "
                               "(line 322 in recogTask)\nScore = 0\n\n======> 2/2"))
      << r.out;
  // The second line's wave passes the check: its score stands alone.
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\n\t===> Saved [^\n]*recogResult.txt\nScore = [^\n]+\n$"))) << r.out;
}

TEST_F(TulimBatchExample, FailingLineShowsTheVolumeWarningOfItsWaveWithTheError) {
  // 40 ms of digital zeros, recognised: none of the texts is found, which the warning explains.
  const std::vector<int> zeros(640, 0);
  ASSERT_TRUE(wavFileWrite(zeros.data(), static_cast<int>(zeros.size()), 16000, 16, dir.file("quiet.wav").c_str()));
  const programResult r = run("u.xml\tutterance.wav\ttexts.txt\nq.xml\tquiet.wav\ttexts.txt\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("\nWarning: Volume check: Max volume too small\\. Please increase the microphone's gain\\. "
                        "\\(line \\d+ in recogTask\\)\nError in textClass::pinyin2text\\(\\): None of the candidate "
                        "texts was found in the wave[^\n]*\n$")))
      << r.out;
  EXPECT_EQ(count(r.out, "Warning: Volume check"), 1) << "the first line's wave passes the check";
  EXPECT_GT(r.out.find("Warning: Volume check"), r.out.find("\n======> 2/2")) << r.out;
}

TEST_F(TulimBatchExample, FatalErrorIsPrintedAndEndsWithOne) {
  struct Case {
    std::vector<std::string> args;
    std::string list;
    std::string message;
  };
  const Case cases[] = {
      {{"missing.prm", "list.txt"}, "", "Cannot open file missing.prm: No such file or directory \\(line \\d+ of utility\\)\n$"},
      {{example::PARAM_FILE, "nolist.txt"}, "", "\nCannot open file nolist.txt: No such file or directory \\(line \\d+ of utility\\)\n$"},
      {{example::PARAM_FILE, "list.txt"},
       "x.xml\tutterance.wav\n",
       "\nError: line 1 of list.txt has 2 TAB-separated fields, fewer than 3: \"x.xml\tutterance.wav\" "
       "\\(line \\d+ of main\\)\n$"},
      {{example::PARAM_FILE, "list.txt"},
       "x.xml\t" + std::string(1000, 'w') + "\ttexts.txt\n",
       "\nrecogParam.wavFile is 1000 characters long, more than its limit of 999 \\(line \\d+ in recogParam\\)\n$"},
      {{example::PARAM_FILE, "list.txt"},
       "x.xml\t\ttexts.txt\n",
       "\nError: line 1 of list.txt has an empty field 2 \\(the wave file\\): \"x.xml\t\ttexts.txt\" \\(line \\d+ of main\\)\n$"},
      // Messages count the list file's lines, comments and empty lines too.
      {{example::PARAM_FILE, "list.txt"},
       "% results\n\nx.xml\tutterance.wav\n",
       "\nError: line 3 of list.txt has 2 TAB-separated fields, fewer than 3: \"x.xml\tutterance.wav\" "
       "\\(line \\d+ of main\\)\n$"},
      {{example::PARAM_FILE, "list.txt"},
       "% results\n\nx.xml\t\ttexts.txt\n",
       "\nError: line 3 of list.txt has an empty field 2 \\(the wave file\\): \"x.xml\t\ttexts.txt\" \\(line \\d+ of main\\)\n$"},
      // "" keeps the file's list, which the example does not set.
      {{example::PARAM_FILE, ""},
       "",
       "^Error: wavFileList is not set in " + std::string(example::PARAM_FILE) +
           "; it must be the name of the list of utterances \\(result file, wave and texts a line\\) "
           "\\(line \\d+ of recogTaskCheck\\)\n$"},
      {{example::PARAM_FILE, "list.txt"},
       "% nothing but a comment\n\n",
       "\nError: the list list.txt holds no utterance: every line is empty or a comment \\(line \\d+ of main\\)\n$"},
  };
  for (const Case& c : cases) {
    dir.write("list.txt", c.list);
    const programResult r = programRun(kProgram, c.args, dir.path());
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_TRUE(std::regex_search(r.out, std::regex(c.message))) << r.out;
    EXPECT_THAT(r.out, Not(HasSubstr("\n======> ")));
  }
}

TEST_F(TulimBatchExample, ArgumentsReplaceTheFileValues) {
  // useEpd 1 cuts the wave to its speech; the results go to the other directory; the list's
  // texts win over the txtFile argument.
  mkdir(dir.file("elsewhere").c_str(), 0755);
  const programResult r = run("one.xml\tutterance.wav\ttexts.txt\n", {"ignored.txt", "1", "elsewhere", "", "0"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, Not(HasSubstr("\twaveBeginIndex=0, ")));
  EXPECT_THAT(r.out, HasSubstr("Read text \"texts.txt\""));
  EXPECT_TRUE(exists("elsewhere/one.xml"));
  EXPECT_FALSE(exists("out/one.xml"));
}

// Each line first removes the result files it is about to write, so the line that fails
// leaves none of an earlier line's or run's behind.
TEST_F(TulimBatchExample, FailingLineLeavesNoEarlierResultFiles) {
  for (const char* stale : {"out/l2.xml", "out/score.txt", "out/recogResult.txt"}) dir.write(stale, "stale\n");
  const programResult r =
      run("l1.xml\tutterance.wav\ttexts.txt\n"
          "l2.xml\tmissing.wav\ttexts.txt\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(exists("out/l1.xml"));
  for (const char* gone : {"out/l2.xml", "out/score.txt", "out/recogResult.txt"}) EXPECT_FALSE(exists(gone)) << gone;
}

// The parameters are checked before the models are read.
TEST_F(TulimBatchExample, ValuesTheRunCannotUseAreRefusedBeforeLoading) {
  struct Case {
    std::vector<std::string> dropped;
    std::vector<std::string> added;
    std::vector<std::string> more;  // arguments after the list
    std::string message;
  };
  const Case cases[] = {
      {{"maxCandidateNum"}, {}, {}, "Error: maxCandidateNum is not set in bad.prm; it must be a whole number from 1 to 2147483647"},
      {{"probTh"}, {"probTh=nan"}, {}, "Error: probTh = nan in bad.prm is not allowed;"},
      {{"macFile"}, {}, {}, "Error: macFile is not set in bad.prm;"},
      {{}, {}, {"", "on"}, "Error: useEpd = on from argument 4 is not allowed; it must be 0 or 1"},
      {{}, {}, {"", "", "", "", "x"}, "Error: getPitch = x from argument 7 is not allowed; it must be 0 or 1"},
  };
  dir.write("list.txt", "one.xml\tutterance.wav\ttexts.txt\n");
  for (const Case& c : cases) {
    dir.write("bad.prm", test::keyLinesEdit(test::readFile(dir.file(example::PARAM_FILE)), c.dropped, c.added));
    std::vector<std::string> args = {"bad.prm", "list.txt"};
    args.insert(args.end(), c.more.begin(), c.more.end());
    const programResult r = programRun(kProgram, args, dir.path());
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_THAT(r.out, HasSubstr(c.message)) << r.out;
    EXPECT_THAT(r.out, Not(HasSubstr("Read macro"))) << r.out;
  }
}


// A re-run into the folder of an earlier batch, interrupted (Ctrl-C) after line k, leaves the
// complete XML files of its own lines 1 to k and nothing of the earlier batch.
TEST_F(TulimBatchExample, AnInterruptedReRunLeavesNoResultOfTheEarlierBatch) {
  std::string list;
  for (int i = 1; i <= 6; ++i) list += "l" + std::to_string(i) + ".xml\tutterance.wav\ttexts.txt\n";
  mkdir(dir.file("ref").c_str(), 0755);
  ASSERT_EQ(run(list, {"", "", "ref"}).status, 0);
  const std::string xml = test::readFile(dir.file("ref/l1.xml"));
  for (int k : {1, 2, 4, 5}) {
    for (int i = 1; i <= 6; ++i) dir.write("out/l" + std::to_string(i) + ".xml", "old\n");
    for (const char* shared : {"out/score.txt", "out/recogResult.txt"}) dir.write(shared, "old\n");
    {
      test::runningProgram p(kProgram, {example::PARAM_FILE, "list.txt", "", "", "out"}, dir.path());
      p.readUntil("\nScore = ", k);
      p.signal(SIGINT);
      p.wait();
    }
    for (int i = 1; i <= 6; ++i) {
      const std::string name = "out/l" + std::to_string(i) + ".xml";
      if (i <= k)
        EXPECT_EQ(test::readFile(dir.file(name)), xml) << "after line " << k << ": " << name;
      else
        EXPECT_TRUE(!exists(name) || test::readFile(dir.file(name)) == xml) << "after line " << k << ": " << name;
    }
    for (const char* shared : {"out/score.txt", "out/recogResult.txt"})
      EXPECT_TRUE(!exists(shared) || test::readFile(dir.file(shared)) != "old\n") << shared;
  }
}

// A result file of the list that cannot be removed stops the batch before its first line.
TEST_F(TulimBatchExample, AResultFileThatCannotBeRemovedIsFatalBeforeTheFirstLine) {
  ASSERT_EQ(mkdir(dir.file("out/l2.xml").c_str(), 0755), 0);
  const programResult r =
      run("l1.xml\tutterance.wav\ttexts.txt\n"
          "l2.xml\tutterance.wav\ttexts.txt\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, Not(HasSubstr("1/2")));
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nError: cannot remove the earlier result file out/l2\\.xml: Is a "
                                                  "directory \\(line \\d+ of resultFileSet\\)\n$")))
      << r.out;
}

}  // namespace
}  // namespace tulim
