#include "recogTask.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

#include "testFiles.h"
#include "utility.h"

using namespace tulim;
using tulim::test::envScope;
using tulim::test::scratchDir;

namespace {

std::string readError(const std::string& content, recogParam& param) {
  envScope temp("temp", nullptr);
  scratchDir dir;
  try {
    recogTask().recogParamRead(dir.write("p.txt", content), param);
  } catch (char* message) {
    return message;
  }
  return "";
}

recogParam readParams(const std::string& content) {
  scratchDir dir;
  recogParam param;
  param.language = "stale";  // the reader starts from the defaults, whatever the record held
  recogTask().recogParamRead(dir.write("p.txt", content), param);
  return param;
}

}  // namespace

TEST(RecogParamRead, EmptyOrCommentFileGivesDefaults) {
  recogParam p = readParams("% only a comment\n\n");
  EXPECT_EQ(p.language, "");
  EXPECT_EQ(p.txtFile, "");
  EXPECT_EQ(p.usePaddedHardSp, 1);
  EXPECT_EQ(p.usePaddedSoftSil, 1);
  EXPECT_EQ(p.useLeadingTrailingSil, 1);
  EXPECT_EQ(p.useDescCandidateNum, 1);
  EXPECT_EQ(p.netType, 0);
  EXPECT_EQ(p.maxCandidateNum, 0);
  EXPECT_EQ(p.addLink4skippableLeadingSil, 0);
}

TEST(RecogParamRead, EveryKeySetsItsOwnField) {
  struct Text {
    const char* key;
    std::string recogParam::*field;
  } texts[] = {
      {"function", &recogParam::function}, {"language", &recogParam::language},
      {"macFile", &recogParam::macFile}, {"modelCountFile", &recogParam::modelCountFile},
      {"pinyinType", &recogParam::pinyinType}, {"dicFile", &recogParam::dicFile},
      {"wpaFile", &recogParam::wpaFile}, {"wpaAddendaFile", &recogParam::wpaAddendaFile},
      {"pyTableFile", &recogParam::pyTableFile}, {"qiYinFile", &recogParam::qiYinFile},
      {"tnmFile", &recogParam::tnmFile}, {"featureConfigFile", &recogParam::featureConfigFile},
      {"wavFile", &recogParam::wavFile}, {"wavFileList", &recogParam::wavFileList},
      {"txtFile", &recogParam::txtFile}, {"sylFile", &recogParam::sylFile},
      {"netFile", &recogParam::netFile}, {"outputDir", &recogParam::outputDir},
      {"outWavDir", &recogParam::outWavDir}, {"outputXmlFile", &recogParam::outputXmlFile},
      {"phoneRank2scoreParamFile", &recogParam::phoneRank2scoreParamFile},
      {"scoreDiscountParamFile", &recogParam::scoreDiscountParamFile},
      {"cmParamFile", &recogParam::cmParamFile}, {"epsFile", &recogParam::epsFile},
      {"inputLabFile", &recogParam::inputLabFile}, {"ptParamFile", &recogParam::ptParamFile},
      {"volCheckPrmFile", &recogParam::volCheckPrmFile}, {"fillerType", &recogParam::fillerType},
  };
  struct Number {
    const char* key;
    int recogParam::*field;
  } numbers[] = {
      {"useAllModelAsCompetingModel", &recogParam::useAllModelAsCompetingModel},
      {"usePaddedHardSp", &recogParam::usePaddedHardSp}, {"usePaddedSoftSil", &recogParam::usePaddedSoftSil},
      {"useLeadingTrailingSil", &recogParam::useLeadingTrailingSil}, {"getUvScore", &recogParam::getUvScore},
      {"getPitch", &recogParam::getPitch}, {"useEpd", &recogParam::useEpd}, {"netType", &recogParam::netType},
      {"maxCandidateNum", &recogParam::maxCandidateNum}, {"probTh", &recogParam::probTh},
      {"comparisonMode", &recogParam::comparisonMode}, {"wordPenalty", &recogParam::wordPenalty},
      {"nodePenalty", &recogParam::nodePenalty}, {"useWaveReject", &recogParam::useWaveReject},
      {"useDescCandidateNum", &recogParam::useDescCandidateNum},
      {"useSpecSubtraction", &recogParam::useSpecSubtraction},
      {"addLink4stopAnywhere", &recogParam::addLink4stopAnywhere},
      {"addLink4startAnywhere", &recogParam::addLink4startAnywhere},
      {"addLink4forwardJump", &recogParam::addLink4forwardJump},
      {"addLink4skippableTrailingSil", &recogParam::addLink4skippableTrailingSil},
      {"addLink4skippableLeadingSil", &recogParam::addLink4skippableLeadingSil},
  };
  EXPECT_EQ(std::size(texts) + std::size(numbers), 49u);
  const recogParam defaults;
  for (const Text& t : texts) {
    recogParam p = readParams(std::string(t.key) + " = v_" + t.key + "\n");
    EXPECT_EQ(p.*(t.field), std::string("v_") + t.key) << t.key;
    p.*(t.field) = defaults.*(t.field);
    // No other text field moved.
    for (const Text& other : texts) EXPECT_EQ(p.*(other.field), defaults.*(other.field)) << t.key << "/" << other.key;
  }
  for (const Number& n : numbers) {
    recogParam p = readParams(std::string(n.key) + "=-17\n");
    EXPECT_EQ(p.*(n.field), -17) << n.key;
    for (const Number& other : numbers) {
      if (other.field == n.field) continue;
      EXPECT_EQ(p.*(other.field), defaults.*(other.field)) << n.key << "/" << other.key;
    }
  }
}

TEST(RecogParamRead, NumbersConvertLikeAtoiAndLastLineWins) {
  recogParam p = readParams("probTh = 2.5\ngetPitch = yes\nuseEpd=1\nuseEpd=0\nlanguage=chinese\nlanguage=english\n");
  EXPECT_EQ(p.probTh, 2);
  EXPECT_EQ(p.getPitch, 0);
  EXPECT_EQ(p.useEpd, 0);
  EXPECT_EQ(p.language, "english");
}

TEST(RecogParamRead, UnknownKeyIsFatalAfterStoringEarlierLines) {
  recogParam p;
  scratchDir dir;
  std::string path = dir.write("p.txt", "language=english\nLanguage=chinese\nuseEpd=1\n");
  envScope temp("temp", nullptr);
  try {
    recogTask().recogParamRead(path, p);
    ADD_FAILURE() << "no error";
  } catch (char* message) {
    EXPECT_EQ(std::string(message), "Error in parsing " + path + ", unknown key = Language (line 180 in recogTask)");
  }
  EXPECT_EQ(p.language, "english");
  EXPECT_EQ(p.useEpd, 0);
}

TEST(RecogParamRead, OverlongTextValueIsFatalNamingKeyAndLimit) {
  recogParam p;
  std::string message = readError("macFile=" + std::string(1000, 'm') + "\n", p);
  EXPECT_THAT(message, testing::HasSubstr("recogParam.macFile"));
  EXPECT_THAT(message, testing::HasSubstr("999"));
  EXPECT_EQ(readError("macFile=" + std::string(999, 'm') + "\n", p), "");

  EXPECT_EQ(readError("txtFile=" + std::string(9999, 't') + "\n", p), "");
  EXPECT_EQ(p.txtFile.size(), 9999u);
  message = readError("txtFile=" + std::string(10000, 't') + "\n", p);
  EXPECT_THAT(message, testing::HasSubstr("recogParam.txtFile"));
  EXPECT_THAT(message, testing::HasSubstr("9999"));
}

TEST(RecogParamRead, KeepsTheFileNameAndTheTextOfEveryIntegerKeyItSets) {
  scratchDir dir;
  const std::string path =
      dir.write("p.txt", "probTh = 2.5\nuseEpd=1\nuseEpd=x\nlanguage=english\nmaxCandidateNum= 12abc\nwordPenalty=3\n");
  recogParam p;
  recogTask::paramFileText written{"stale", {{"getPitch", "1"}}};
  recogTask().recogParamRead(path, p, &written);
  EXPECT_EQ(written.fileName, path);
  const std::map<std::string, std::string> expected{
      {"maxCandidateNum", "12abc"}, {"probTh", "2.5"}, {"useEpd", "x"}, {"wordPenalty", "3"}};
  EXPECT_EQ(written.intTexts, expected) << "the last line of a repeated key; no text key; nothing of the record before";
  EXPECT_EQ(p.maxCandidateNum, 12);
  EXPECT_EQ(p.useEpd, 0);
}

// Runs runParamCheck on what the reader kept of the file; the fatal message, or "".
std::string checkError(const recogTask::paramFileText& written, const recogParam& param, const strVec& overridden) {
  envScope temp("temp", nullptr);
  try {
    recogTask().runParamCheck(written, param, recogTask::runInput::wavFile, overridden);
  } catch (char* message) {
    return message;
  }
  return "";
}

TEST(RunParamCheck, ChecksTheIntegerTextsTheReaderKeptWithoutReadingTheFileAgain) {
  scratchDir dir;
  const std::string path = dir.write("p.txt", "function=recog\nlanguage=english\nmaxCandidateNum=12abc\n");
  recogParam p;
  recogTask::paramFileText written;
  recogTask().recogParamRead(path, p, &written);
  ASSERT_EQ(std::remove(path.c_str()), 0);

  struct Case {
    strVec overridden;
    const char* expected;
  } cases[] = {
      {{}, "Error: maxCandidateNum = 12abc in %s is not allowed; it must be a whole number from 1 to 2147483647"},
      {{"maxCandidateNum"}, "Error: probTh is not set in %s; it must be a whole number from 1 to 2147483647"},
  };
  for (const Case& c : cases)
    EXPECT_THAT(checkError(written, p, c.overridden), testing::StartsWith(strFormat(c.expected, path.c_str())))
        << (c.overridden.empty() ? "" : c.overridden[0]);
}

TEST(RecogParamPrint, PrintsFortyOneFieldsWithFixedLineNumbers) {
  recogParam p = readParams("macFile=m.macb\nnetType=1\nfunction=assess\n");
  testing::internal::CaptureStdout();
  recogTask().recogParamPrint(p);
  std::string out = testing::internal::GetCapturedStdout();

  std::istringstream lines(out);
  std::vector<std::string> all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  ASSERT_EQ(all.size(), 41u);
  EXPECT_EQ(all.front(), "recogParam.wavFileList= (line=191, file=recogTask)");
  EXPECT_EQ(all[1], "recogParam.macFile=m.macb (line=192, file=recogTask)");
  EXPECT_EQ(all[9], "recogParam.pyTableFile= (line=201, file=recogTask)");
  EXPECT_EQ(all[14], "recogParam.netType=1 (line=206, file=recogTask)");
  EXPECT_EQ(all[31], "recogParam.function=assess (line=223, file=recogTask)");
  EXPECT_EQ(all.back(), "recogParam.addLink4skippableLeadingSil=0 (line=232, file=recogTask)");
  for (const char* hidden : {"wavFile=", "outWavDir", "outputXmlFile", "useLeadingTrailingSil", "volCheckPrmFile",
                             "getPitch", "probTh", "wordPenalty"})
    EXPECT_EQ(out.find(std::string("recogParam.") + hidden), std::string::npos) << hidden;
}
