#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <functional>

#include "dictClass.h"
#include "fatalCatch.h"
#include "lexiconFixture.h"
#include "macroClass.h"
#include "modelSetFixture.h"
#include "netClass.h"
#include "recogTask.h"
#include "testFiles.h"
#include "textClass.h"

using namespace tulim;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::MatchesRegex;
using testing::UnorderedElementsAre;
using tulim::test::readFile;
using tulim::test::scratchDir;

namespace {

std::string fatalOf(const std::function<void()>& f) {
  tulim::test::envScope temp("temp", nullptr);
  testing::internal::CaptureStdout();
  std::string message;
  try {
    f();
  } catch (char* m) {
    message = m;
  }
  testing::internal::GetCapturedStdout();
  return message;
}

// The objects of one run and the two counts netPrepare gives.
struct taskRun {
  scratchDir dir;
  recogParam param;
  macroClass mac;
  dictClass dict;
  textClass text;
  netClass net;
  int candidateNum = -1;
  int arenaLen = -1;

  void dictPrepare() {
    testing::internal::CaptureStdout();
    recogTask().dictPrepare(param, mac, dict, text, net);
    testing::internal::GetCapturedStdout();
  }

  // netPrepare; returns what it printed.
  std::string prepare() {
    testing::internal::CaptureStdout();
    try {
      recogTask().netPrepare(param, mac, dict, text, net, candidateNum, arenaLen);
    } catch (...) {
      testing::internal::GetCapturedStdout();
      throw;
    }
    return testing::internal::GetCapturedStdout();
  }

  // The message of the fatal error of netPrepare, or "" when there is none.
  std::string prepareError() {
    tulim::test::envScope temp("temp", nullptr);
    try {
      prepare();
    } catch (char* m) {
      return m;
    }
    return "";
  }
};

// The English fixture with its models, lexicons and map loaded by dictPrepare.
struct englishTask : taskRun {
  englishTask() {
    test::englishTaskWrite(dir, param);
    test::modelSetPrepare(mac, test::englishFixtureModels());
    param.maxCandidateNum = 1000;
    dictPrepare();
  }
};

// A Taiwanese run from a syllable file over a pronunciation dictionary with fillers.
struct syllableTask : taskRun {
  syllableTask() {
    param.language = "taiwanese";
    param.function = "recog";
    param.maxCandidateNum = 1000;
    param.dicFile = dir.write("syl.dic", "a a\nb b\nfiller f\nfillerC f\nfillerV f\nsil sil\nsp sp\n");
    param.tnmFile = dir.write("map.tnm", "");
    param.txtFile = dir.write("texts.txt", "ab\nb\n");
    param.sylFile = dir.write("syl.txt", "a-b\t0\nb\t1\n");
    test::modelSetPrepare(mac, {"a", "b", "f", "sil", "sp"});
    dictPrepare();
  }
};

// A net from the null start 0 through fanOut parallel "sil" nodes to the null end 1.
std::string fanOutNet(int fanOut) {
  std::string net = "VERSION=1.0\nN=" + std::to_string(fanOut + 2) + "\tL=" + std::to_string(2 * fanOut) + "\n";
  net += "I=0\tW=!NULL\nI=1\tW=!NULL\n";
  for (int i = 0; i < fanOut; ++i) net += "I=" + std::to_string(i + 2) + "\tW=sil\n";
  for (int i = 0; i < fanOut; ++i) {
    net += "J=" + std::to_string(2 * i) + "\tS=0\tE=" + std::to_string(i + 2) + "\n";
    net += "J=" + std::to_string(2 * i + 1) + "\tS=" + std::to_string(i + 2) + "\tE=1\n";
  }
  return net;
}

}  // namespace

// ---- dictPrepare -----------------------------------------------------------------------------

TEST(DictPrepare, EnglishMergesTheAddendaAndSkipsThePronunciationDictionary) {
  scratchDir dir;
  recogParam param;
  test::englishTaskWrite(dir, param);
  param.dicFile = dir.file("missing.dic");  // never opened for English
  macroClass mac;
  test::modelSetPrepare(mac, test::englishFixtureModels());
  dictClass dict;
  textClass text;
  netClass net;
  testing::internal::CaptureStdout();
  recogTask().dictPrepare(param, mac, dict, text, net);
  const std::string out = testing::internal::GetCapturedStdout();

  EXPECT_TRUE(dict.m_pronDict.empty());
  ASSERT_EQ(dict.m_wpa.size(), 3u);
  ASSERT_GE(dict.wpaFind("go"), 0);
  EXPECT_EQ(dict.m_wpa[dict.wpaFind("go")].pa, (strVec{"g_ow", "g_ax_ow"}));
  ASSERT_EQ(text.m_textNormSp.size(), 1u);
  EXPECT_EQ(text.m_textNormSp[0].source, "!");
  EXPECT_EQ(text.m_textNormSp[0].mode, "$");
  const std::string t = "[0-9]+\\.[0-9]{3} sec: ";
  EXPECT_THAT(out,
              MatchesRegex("(.*\n)?" + t + "Read wpa \".*lex\\.wpa\" \\(myDict\\.m_wpa\\.size\\(\\)=3\\)\n(.*\n)?" + t +
                           "Read wpaAddenda \".*add\\.wpa\" \\(myDict\\.m_wpaAddenda\\.size\\(\\)=1\\)\n(.*\n)*" + t +
                           "wpaMerge \\(myDict\\.m_wpa\\.size\\(\\)=3\\)\n" + t + "Sort myDict\\.m_wpa\n" + t +
                           "Read text normalization mapping file \".*map\\.tnm\" "
                           "\\(myText\\.m_textNormSp\\.size\\(\\)=1\\)\n"));
}

TEST(DictPrepare, EnglishWithoutAddendaDoesNotMerge) {
  scratchDir dir;
  recogParam param;
  test::englishTaskWrite(dir, param);
  param.wpaAddendaFile = dir.write("empty.wpa", "");
  macroClass mac;
  dictClass dict;
  textClass text;
  netClass net;
  testing::internal::CaptureStdout();
  recogTask().dictPrepare(param, mac, dict, text, net);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(out, testing::Not(HasSubstr("wpaMerge")));
  ASSERT_GE(dict.wpaFind("go"), 0);
  EXPECT_EQ(dict.m_wpa[dict.wpaFind("go")].pa, strVec{"g_ow"});
}

TEST(DictPrepare, LoadsWhatEachLanguageNeeds) {
  scratchDir dir;
  const std::string dic = dir.write("syl.dic", "ba a\nma b\n");
  const std::string py = dir.write("py.txt", "1\tba1\tx\tba1\n2\tma3\ty\tma3\n");
  const std::string wpa = dir.write("zh.wpa", "\xa4\x40\t1,2\tunused\tt1,t2\tunused\n");
  struct Case {
    const char* language;
    size_t pronDict, pinyinTable, wpa;
  } cases[] = {
      {"chinese", 2, 2, 1},
      {"taiwanese", 2, 0, 0},
      {"japanese", 2, 0, 0},
      {"klingon", 2, 0, 0},
  };
  for (const Case& c : cases) {
    recogParam param;
    param.language = c.language;
    param.dicFile = dic;
    param.pyTableFile = py;
    param.wpaFile = wpa;
    param.tnmFile = dir.write("map.tnm", "");
    macroClass mac;
    test::modelSetPrepare(mac, {"a", "b"});
    dictClass dict;
    textClass text;
    netClass net;
    testing::internal::CaptureStdout();
    recogTask().dictPrepare(param, mac, dict, text, net);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(dict.m_pronDict.size(), c.pronDict) << c.language;
    EXPECT_EQ(dict.m_pinyinTable.size(), c.pinyinTable) << c.language;
    EXPECT_EQ(dict.m_wpa.size(), c.wpa) << c.language;
    EXPECT_THAT(out, HasSubstr("sec: Read pam \"" + dic + "\" (m_pronDict.size()=2)\n")) << c.language;
    if (c.pinyinTable) {
      EXPECT_THAT(out, HasSubstr("sec: Read pinyinTable \"" + py + "\" (myDict.m_pinyinTable.size()=2)\n"));
      EXPECT_THAT(out, HasSubstr("sec: Read wpa \"" + wpa + "\" (myDict.m_wpa.size()=1)\n"));
      EXPECT_EQ(dict.m_wpa[0].pa, (strVec{"ba1", "ma3"}));
    }
  }
}

TEST(DictPrepare, RequiresTheNormalisationMap) {
  scratchDir dir;
  recogParam param;
  test::englishTaskWrite(dir, param);
  param.tnmFile.clear();
  macroClass mac;
  dictClass dict;
  textClass text;
  netClass net;
  EXPECT_EQ(fatalOf([&] { recogTask().dictPrepare(param, mac, dict, text, net); }),
            "Error: recogParam.tnmFile is not specified! (line 465 in recogTask)");
}

// ---- netPrepare: texts, syllables, net and files ---------------------------------------------

TEST(NetPrepare, EnglishTreeNetWritesEveryDiagnosticFile) {
  englishTask task;
  task.param.outputDir = task.dir.path();
  const std::string out = task.prepare();
  const std::string d = task.dir.path();

  EXPECT_EQ(readFile(d + "/output.nt"), "yes\nno\ngo\n");
  EXPECT_EQ(readFile(d + "/output.syl"), "y_eh_s\t0\nn_ow\t1\ng_ow\t2\ng_ax_ow\t2\n");
  EXPECT_EQ(readFile(d + "/output.dic"),
            "g_ax_ow\tg+ax ax+ow ow+sil\n"
            "g_ow\tg+ow ow+sil\n"
            "n_ow\tn+ow ow+sil\n"
            "sil\tsil\n"
            "sp\tsp\n"
            "y_eh_s\ty+eh eh+s s+sil\n");
  EXPECT_EQ(readFile(d + "/output.wpa"), "go\tg_ow#g_ax_ow\nno\tn_ow\nyes\ty_eh_s\n");

  // Without end points the net is framed by "sil" nodes 2 and 3; node 2 fans out to the
  // four pronunciations.
  ASSERT_GE(task.net.m_nodeNum, 4);
  EXPECT_EQ(task.net.m_node[2].sylStr, "sil");
  EXPECT_EQ(task.net.m_node[3].sylStr, "sil");
  EXPECT_EQ(task.net.maxFanOutNum(), 4);
  testing::internal::CaptureStdout();
  task.net.netPrint("");
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(readFile(d + "/output.net"), printed);
  netClass back;
  back.netReadBin(d + "/output.netb", task.dict);
  EXPECT_EQ(back.m_nodeNum, task.net.m_nodeNum);
  EXPECT_EQ(back.m_linkNum, task.net.m_linkNum);

  EXPECT_EQ(task.candidateNum, 100);  // 4 x 4 = 16 is raised to 100
  EXPECT_EQ(task.arenaLen, 500);

  const std::string t = "[0-9]+\\.[0-9]{3} sec: ";
  EXPECT_THAT(out, MatchesRegex(t + "Read text \".*texts\\.txt\" \\(m_txtVs\\.size\\(\\)=3\\)\n" + t +
                                "text normalization \\(m_txtVsNormalized\\.size\\(\\)=3\\)\n"
                                "\t===> Saved " +
                                d + "/output\\.nt\n(.*\n)*" + t +
                                "Texts to phonetic alphabets by exhaustive listing\n"
                                "\tNo\\. of text entries = 3, no\\. of PA entries = 4\n"
                                "\t===> Saved " +
                                d + "/output\\.syl\n" + t +
                                "Create m_pronDict from m_txtVs\\. \\(m_pronDict\\.size\\(\\) = 6\\)\n"
                                "\t===> Saved " +
                                d + "/output\\.dic\n(.*\n)*" + t +
                                "Generated tree net \\(nodeNum=[0-9]+\\)\n"
                                "\t===> Saved net file: " +
                                d +
                                "/output\\.net\n"
                                "\t===> Saved net file: " +
                                d +
                                "/output\\.netb\n"
                                "(.*\n)*\t===> Saved wpa file " +
                                d + "/output\\.wpa\n"));
}

TEST(NetPrepare, WithoutOutputDirectoryWritesNothing) {
  englishTask task;
  const std::string out = task.prepare();
  EXPECT_THAT(out, testing::Not(HasSubstr("===> Saved")));
  EXPECT_GT(task.net.m_nodeNum, 0);
}

TEST(NetPrepare, EndPointsDropTheEdgeSilences) {
  englishTask task;
  task.param.useEpd = 1;
  task.prepare();
  for (const netNode& node : task.net.m_node) EXPECT_NE(node.sylStr, "sil");
  EXPECT_EQ(task.net.maxFanOutNum(), 4);  // the null start fans out to the four words
}

TEST(NetPrepare, AssessJoinsTheTextsAndPadsShortPauses) {
  englishTask task;
  task.param.function = "assess";
  task.param.txtFile = task.dir.write("assess.txt", "yes\nno\ngo\n");
  const std::string out = task.prepare();
  EXPECT_THAT(out, HasSubstr("(m_txtVs.size()=1)\n"));
  EXPECT_THAT(task.text.m_txtVs, ElementsAre("yes no go"));
  EXPECT_THAT(task.text.m_sylVs, UnorderedElementsAre("y_eh_s-sp-n_ow-sp-g_ow\t0", "y_eh_s-sp-n_ow-sp-g_ax_ow\t0"));

  task.param.usePaddedHardSp = 0;
  task.prepare();
  EXPECT_THAT(task.text.m_txtVs, ElementsAre("yes no go"));
  EXPECT_THAT(task.text.m_sylVs, UnorderedElementsAre("y_eh_s-n_ow-g_ow\t0", "y_eh_s-n_ow-g_ax_ow\t0"));
}

// A Chinese run whose one character may be either of two syllables.
struct chineseTask : taskRun {
  chineseTask() {
    param.language = "chinese";
    param.function = "recog";
    param.maxCandidateNum = 1000;
    param.dicFile = dir.write("syl.dic", "ba1 a\nma3 b\nsil sil\nsp sp\n");
    param.pyTableFile = dir.write("py.txt", "1\tba1\tx\tba1\n2\tma3\ty\tma3\n");
    param.wpaFile = dir.write("zh.wpa", "\xa4\x40\t1,2\tunused\tt1,t2\tunused\n");
    param.tnmFile = dir.write("map.tnm", "");
    param.txtFile = dir.write("texts.txt", "\xa4\x40\xa4\x40\n");
    test::modelSetPrepare(mac, {"a", "b", "sil", "sp"});
    dictPrepare();
  }
};

TEST(NetPrepare, ChineseTextsBecomeSyllablesThroughTheLexicon) {
  chineseTask task;
  task.param.outputDir = task.dir.path();
  const std::string out = task.prepare();
  // Each character may be either syllable: four sequences, the first position varying fastest.
  EXPECT_THAT(task.text.m_sylVs, ElementsAre("ba1-ba1\t0", "ma3-ba1\t0", "ba1-ma3\t0", "ma3-ma3\t0"));
  EXPECT_EQ(task.text.m_sylTagVs.size(), 4u);
  EXPECT_THAT(out, HasSubstr("\tNo. of text entries = 1, no. of PA entries = 4\n"));
  EXPECT_EQ(readFile(task.dir.file("output.syl")), "ba1-ba1\t0\nma3-ba1\t0\nba1-ma3\t0\nma3-ma3\t0\n");
  EXPECT_THAT(out, HasSubstr("Generated tree net"));
  EXPECT_EQ(task.net.maxFanOutNum(), 2);
  EXPECT_THAT(out, HasSubstr("\t===> Saved wpa file " + task.dir.path() + "/output.wpa\n"));
}

TEST(NetPrepare, ChineseAssessmentPairsTheCharactersOfEachText) {
  chineseTask task;
  task.param.function = "assess";
  task.param.usePaddedHardSp = 0;
  task.param.txtFile = task.dir.write("two.txt", "\xa4\x40\n\xa4\x40\n");
  const std::string out = task.prepare();
  EXPECT_THAT(task.text.m_txtVs, ElementsAre("\xa4\x40 \xa4\x40"));
  EXPECT_THAT(out, testing::Not(HasSubstr("Found no syllable")));
  EXPECT_THAT(task.text.m_sylVs, ElementsAre("ba1-ba1\t0", "ma3-ba1\t0", "ba1-ma3\t0", "ma3-ma3\t0"));
}

TEST(NetPrepare, SyllableFileLeavesNoTagsOfEarlierTexts) {
  // A batch: a line of texts alone, then one with its syllable file.
  chineseTask task;
  task.prepare();
  ASSERT_EQ(task.text.m_sylTagVs.size(), 4u);
  task.param.sylFile = task.dir.write("texts.syl", "ma3-ba1\t0\n");
  task.prepare();
  EXPECT_THAT(task.text.m_sylVs, ElementsAre("ma3-ba1\t0"));
  EXPECT_TRUE(task.text.m_sylTagVs.empty());
}

TEST(NetPrepare, NetFileWithRealStartAndEndNodesIsNotSavedAsImage) {
  syllableTask task;
  task.param.outputDir = task.dir.path();
  task.param.netFile =
      task.dir.write("real.net", "VERSION=1.0\nN=3\tL=2\nI=0\tW=sil\nI=1\tW=a\nI=2\tW=b\nJ=0\tS=0\tE=1\nJ=1\tS=1\tE=2\n");
  std::string out;
  ASSERT_EQ(test::fatalMessage([&] { out = task.prepare(); }), "");
  EXPECT_THAT(out, HasSubstr("\t===> Saved net file: " + task.dir.file("output.net") + "\n"));
  EXPECT_THAT(out, HasSubstr("Warning: " + task.dir.file("output.netb") +
                             " is not written: nodes 0 and 1 of the net are not both null nodes\n"));
  EXPECT_FALSE(std::ifstream(task.dir.file("output.netb")).good());
  EXPECT_EQ(task.net.m_nodeNum, 3);
}

TEST(NetPrepare, SausageNetForOneTextWhenAsked) {
  englishTask task;
  task.param.function = "assess";
  task.param.netType = 1;
  task.param.outputDir = task.dir.path();
  task.param.txtFile = task.dir.write("one.txt", "go no\n");
  const std::string out = task.prepare();
  EXPECT_THAT(out, MatchesRegex("(.*\n)*[0-9.]+ sec: Generated sausage net \\(nodeNum=[0-9]+\\)\n(.*\n)*"));
  EXPECT_EQ(task.param.netType, 1);
  // The normalised text is saved before and again after the sausage net is built.
  const std::string saved = "\t===> Saved " + task.dir.path() + "/output.nt\n";
  size_t first = out.find(saved);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(out.find(saved, first + 1), std::string::npos);
  bool hasTag = false;
  for (const netNode& node : task.net.m_node) hasTag = hasTag || node.sylTag == "go";
  EXPECT_TRUE(hasTag);
}

TEST(NetPrepare, SyllableFileMakesATreeNetAndResetsTheNetType) {
  englishTask task;
  task.param.netType = 1;
  task.param.sylFile = task.dir.write("syl.txt", "n_ow\t0\n\ny_eh_s\t1\n");
  const std::string out = task.prepare();
  EXPECT_EQ(task.param.netType, 0);
  EXPECT_THAT(task.text.m_sylVs, ElementsAre("n_ow\t0", "y_eh_s\t1"));
  EXPECT_THAT(out, HasSubstr("sec: Read syl \"" + task.param.sylFile + "\" (Size=2)\n"));
  EXPECT_THAT(out, testing::Not(HasSubstr("exhaustive listing")));
  EXPECT_THAT(out, HasSubstr("Generated tree net"));
  EXPECT_EQ(task.net.maxFanOutNum(), 2);
}

TEST(NetPrepare, NetFileWinsOverNetTypeAndSyllableFile) {
  englishTask task;
  task.param.netType = 1;
  task.param.sylFile = task.dir.write("syl.txt", "n_ow\t0\n");
  task.param.netFile = task.dir.write("given.net", fanOutNet(3));
  task.param.outputDir = task.dir.path();
  const std::string out = task.prepare();
  EXPECT_THAT(out, HasSubstr("sec: Read net \"" + task.param.netFile + "\" (nodeNum=5)\n"));
  EXPECT_THAT(out, testing::Not(HasSubstr("Generated")));
  EXPECT_EQ(task.net.m_nodeNum, 5);
  EXPECT_THAT(task.text.m_sylVs, ElementsAre("n_ow\t0"));
  EXPECT_EQ(readFile(task.dir.file("output.wpa")), "go\tg_ow#g_ax_ow\nno\tn_ow\nyes\ty_eh_s\n");
}

TEST(NetPrepare, SetsTheNodePenaltyOfFillers) {
  syllableTask task;
  task.param.nodePenalty = -7;
  task.param.netFile = task.dir.write("filler.net",
                                      "VERSION=1.0\nN=4\tL=3\nI=0\tW=!NULL\nI=1\tW=!NULL\nI=2\tW=filler\nI=3\tW=sil\n"
                                      "J=0\tS=0\tE=2\nJ=1\tS=2\tE=3\nJ=2\tS=3\tE=1\n");
  task.prepare();
  EXPECT_EQ(task.net.m_node[2].penalty, -7.0f);
  EXPECT_EQ(task.net.m_node[3].penalty, 0.0f);
}

TEST(NetPrepare, TreeNetFlagsFollowFunctionComparisonModeAndEndPoints) {
  struct Case {
    const char* function;
    int comparisonMode, usePaddedSoftSil, useEpd;
    int filler, softSil, edgeSil;
  } cases[] = {
      {"recog", 0, 1, 0, 0, 0, 1},  {"recog", 3, 1, 1, 1, 0, 0},  {"recog", 2, 1, 1, 0, 0, 0},
      {"assess", 3, 1, 0, 0, 1, 1}, {"assess", 0, 0, 1, 0, 0, 0},
  };
  for (const Case& c : cases) {
    syllableTask task;
    task.param.function = c.function;
    task.param.comparisonMode = c.comparisonMode;
    task.param.usePaddedSoftSil = c.usePaddedSoftSil;
    task.param.usePaddedHardSp = 0;
    task.param.useEpd = c.useEpd;
    task.prepare();

    textClass expected;
    expected.m_sylVs = task.text.m_sylVs;
    testing::internal::CaptureStdout();
    expected.treeNetCreate(task.param, c.filler, c.softSil, c.edgeSil);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(task.text.m_netVs, expected.m_netVs) << c.function << " " << c.comparisonMode << " " << c.useEpd;
  }
}

TEST(NetPrepare, SizesTheSearchFromTheWidestFanOut) {
  struct Case {
    int fanOut, comparisonMode, maxCandidateNum;
    int candidateNum, arenaLen;
  } cases[] = {
      {4, 0, 1000, 100, 500},                         // 16 is raised to 100
      {5, 0, 1000, 20, 100},                          // 20 stays
      {30, 0, 1000, 120, 600},  {4, 0, 50, 50, 250},  // the cap applies after the raise
      {4, 0, 0, 0, 0},                                // maxCandidateNum left at its default
      {4, 3, 1000, 80, 8000},   {1, 3, 1000, 20, 2000},
      {30, 3, 500, 500, 50000}, {4, 0, -10, -10, -50},  // taken as it is; the search refuses it
  };
  for (const Case& c : cases) {
    englishTask task;
    task.param.netFile = task.dir.write("fan.net", fanOutNet(c.fanOut));
    task.param.comparisonMode = c.comparisonMode;
    task.param.maxCandidateNum = c.maxCandidateNum;
    task.prepare();
    ASSERT_EQ(task.net.maxFanOutNum(), c.fanOut);
    EXPECT_EQ(task.candidateNum, c.candidateNum) << c.fanOut << " " << c.comparisonMode;
    EXPECT_EQ(task.arenaLen, c.arenaLen) << c.fanOut << " " << c.comparisonMode;
  }
}

TEST(NetPrepare, RefusesWhatItCannotBuild) {
  struct Case {
    const char* name;
    std::function<void(englishTask&)> setUp;
    const char* message;
  } cases[] = {
      {"japanese", [](taskRun& t) { t.param.language = "japanese"; },
       "This is not allowed for Japanese! \\(line 514, file recogTask\\)"},
      {"function", [](taskRun& t) { t.param.function = "score"; }, "Unknown recogParam\\.function = score!"},
      {"outputDir", [](taskRun& t) { t.param.outputDir = t.dir.path() + "/" + std::string(1000, 'd'); },
       "Error: recogParam\\.outputDir is too long: \".*/output\\.netb\" needs [0-9]+ characters, "
       "MAX_RESULT_PATH_LEN=1000\\. \\(line [0-9]+ of recogTaskNet\\)"},
      {"arena",
       [](taskRun& t) {
         t.param.netFile = t.dir.write("fan.net", fanOutNet(4));
         t.param.maxCandidateNum = INT_MIN;
       },
       "Error: an arena of -10737418240 candidates \\(maxCandidateNum=-2147483648\\) exceeds the int range\\. "
       "\\(line [0-9]+ of recogTaskNet\\)"},
  };
  for (const Case& c : cases) {
    englishTask task;
    c.setUp(task);
    EXPECT_THAT(task.prepareError(), MatchesRegex(c.message)) << c.name;
  }
}

// Texts of nothing but blanks say so, whether a file holds them (blank lines, empty lines,
// CRLF line ends, or no line at all) or they are given themselves.
TEST(NetPrepare, BlankTextsAreRefusedAsSuch) {
  struct Case {
    const char* content;  // of the text file; null: the texts are given themselves
    const char* texts;
  } cases[] = {
      {"  \n\t\n", nullptr}, {"\n\n", nullptr}, {"", nullptr}, {" \r\n\r\n", nullptr},
      {nullptr, " "},       {nullptr, "#"},  {nullptr, " # \t"},
  };
  for (const Case& c : cases) {
    englishTask task;
    task.param.txtFile = c.content ? task.dir.write("blank.txt", c.content) : c.texts;
    const std::string expected =
        c.content ? "Error: the text file \"" + task.param.txtFile + "\" holds only blanks, no text (line "
                  : "Error: the texts \"" + task.param.txtFile + "\" are only blanks (line ";
    EXPECT_THAT(task.prepareError(), HasSubstr(expected)) << (c.content ? c.content : c.texts);
  }
}

TEST(NetPrepare, AcceptsTheLongestOutputDirectoryThatFits) {
  englishTask task;
  std::string dir = task.dir.path() + "/";
  dir += std::string(MAX_RESULT_PATH_LEN - 1 - dir.size() - std::string("/output.netb").size(), 'd');
  task.param.outputDir = dir;
  // The directory does not exist, so the first file fails to open, past the length check.
  EXPECT_THAT(task.prepareError(), HasSubstr("Cannot open file " + dir + "/output.nt"));
}
