#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "mlfClass.h"
#include "scoringFixture.h"
#include "testFiles.h"

using namespace tulim;
using namespace tulim::test;
using testing::ContainsRegex;
using testing::ElementsAre;

namespace {

std::string fatalOf(const std::function<void()>& f) {
  envScope temp("temp", nullptr);
  try {
    f();
  } catch (char* message) {
    return message;
  }
  return "";
}

// sil, ba1, ma1, sil over 80 frames: two clean syllables of three and two phones, quiet
// silences and loud speech, the text of two syllables fully scored.
mlfClass cleanPath() {
  mlfClass mlf;
  mlf.m_syl.push_back(nodeOf("sil", 0, 9, {phoneOf("sil", 0, 9)}));
  mlf.m_syl.push_back(nodeOf("ba1", 10, 39, {phoneOf("b+a", 10, 11), phoneOf("a", 12, 30), phoneOf("a-n", 31, 39)}));
  mlf.m_syl.push_back(nodeOf("ma1", 40, 69, {phoneOf("m+a", 40, 49), phoneOf("a", 50, 69)}));
  mlf.m_syl.push_back(nodeOf("sil", 70, 79, {phoneOf("sil", 70, 79)}));
  mlf.m_syl[0].volume = std::vector<float>(10, 5.0f);
  mlf.m_syl[1].volume = std::vector<float>(30, 800.0f);
  mlf.m_syl[2].volume = std::vector<float>(30, 1000.0f);
  mlf.m_syl[3].volume = std::vector<float>(10, 0.0f);
  mlf.m_textSylNum = 2;
  mlf.m_scoredSylNum = 2;
  return mlf;
}

// One node "x" with phones of the given names and frame counts, laid end to end.
mlfClass singleNode(const std::vector<std::pair<std::string, int>>& phones, const std::string& nodeName = "x") {
  mlfClass mlf;
  std::vector<phoneInfo> list;
  int frame = 0;
  for (const auto& p : phones) {
    list.push_back(phoneOf(p.first, frame, frame + p.second - 1));
    frame += p.second;
  }
  mlf.m_syl.push_back(nodeOf(nodeName, 0, frame - 1, list));
  return mlf;
}

int reasonOf(mlfClass& mlf, int reason) {
  mlf.discountFactorCompute(0, static_cast<int>(mlf.m_syl.size()) - 1, true);
  EXPECT_EQ(mlf.m_discountFactor.size(), 7u);
  return mlf.m_discountFactor.size() == 7u ? mlf.m_discountFactor[reason] : -1;
}

}  // namespace

TEST(MlfDiscount, CleanCompletePathGivesSevenZerosAndResetsTheRangeDiscounts) {
  mlfClass mlf = cleanPath();
  mlf.m_discountFactor = {9, 9, 9};
  for (sylInfo& node : mlf.m_syl) node.discount = 0.5f;
  mlf.discountFactorCompute(0, 2, true);
  EXPECT_THAT(mlf.m_discountFactor, ElementsAre(0, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(mlf.m_syl[0].discount, 1.0f);
  EXPECT_EQ(mlf.m_syl[2].discount, 1.0f);
  EXPECT_EQ(mlf.m_syl[3].discount, 0.5f);  // outside the range

  mlf.discountFactorCompute(0, 3, false);
  EXPECT_THAT(mlf.m_discountFactor, ElementsAre(1, 0, 0, 0, 0, 0, 0));
}

TEST(MlfDiscount, CountsOverShortSyllables) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, int>> phones;
    const char* nodeName;
    int expected;
  };
  const Case cases[] = {
      {"one phone of 3 frames", {{"a", 3}}, "x", 1},
      {"one phone of 4 frames", {{"a", 4}}, "x", 0},
      {"exempt b+a and a, 2 frames each", {{"b+a", 2}, {"a", 2}}, "x", 0},
      {"two short phones of two", {{"a", 2}, {"i", 2}}, "x", 1},
      {"d+, g+, h+ and sil+ are exempt", {{"d+a", 1}, {"g+a", 1}, {"h+a", 1}, {"sil+a", 1}}, "x", 0},
      {"two short of three phones", {{"a", 2}, {"i", 3}, {"u", 10}}, "x", 1},
      {"one short of two phones", {{"a", 2}, {"i", 10}}, "x", 0},
      {"three short of four phones", {{"a", 2}, {"i", 2}, {"u", 2}, {"e", 10}}, "x", 1},
      {"two short of four phones is not more than half", {{"a", 2}, {"i", 2}, {"u", 10}, {"e", 10}}, "x", 0},
      {"skipped node", {{"sp", 2}}, "sp", 0},
      {"skipped filler node", {{"a", 2}}, "fillerV", 0},
  };
  for (const Case& c : cases) {
    mlfClass mlf = singleNode(c.phones, c.nodeName);
    EXPECT_EQ(reasonOf(mlf, 1), c.expected) << c.what;
  }

  // A phone outside the segmentation (first frame -1) is not short.
  mlfClass mlf;
  mlf.m_syl.push_back(nodeOf("x", 0, 1, {phoneOf("a", -1, 1)}));
  EXPECT_EQ(reasonOf(mlf, 1), 0);
}

TEST(MlfDiscount, CountsOverlongSyllablesOncePerNode) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, int>> phones;
    const char* nodeName;
    int expected;
  };
  const Case cases[] = {
      {"a phone of 70 frames", {{"m+a", 5}, {"a", 70}}, "x", 1},
      {"a phone of 69 frames", {{"m+a", 5}, {"a", 69}}, "x", 0},
      {"two long phones count once", {{"a", 80}, {"i", 80}}, "x", 1},
      {"a long context phone", {{"sil+a", 100}, {"a", 10}}, "x", 0},
      {"a long skipped node", {{"sil", 200}}, "sil", 0},
  };
  for (const Case& c : cases) {
    mlfClass mlf = singleNode(c.phones, c.nodeName);
    EXPECT_EQ(reasonOf(mlf, 2), c.expected) << c.what;
  }

  mlfClass twoNodes = singleNode({{"a", 70}});
  twoNodes.m_syl.push_back(nodeOf("y", 70, 160, {phoneOf("i", 70, 160)}));
  EXPECT_EQ(reasonOf(twoNodes, 2), 2);
}

TEST(MlfDiscount, CountsOnlyInnerPausesLongerThan50Frames) {
  mlfClass mlf;
  mlf.m_syl.push_back(nodeOf("sil", 0, 99));     // 100 frames, but first
  mlf.m_syl.push_back(nodeOf("ba1", 100, 129));
  mlf.m_syl.push_back(nodeOf("sp", 130, 180));   // 51 frames
  mlf.m_syl.push_back(nodeOf("ba1", 181, 210));
  mlf.m_syl.push_back(nodeOf("sp", 211, 260));   // 50 frames
  mlf.m_syl.push_back(nodeOf("sil", 261, 361));  // 101 frames
  mlf.m_syl.push_back(nodeOf("filler", 362, 462));
  mlf.m_syl.push_back(nodeOf("ma1", 463, 492));
  mlf.m_syl.push_back(nodeOf("sil", 493, 593));  // last

  mlf.discountFactorCompute(0, 8, true);
  EXPECT_EQ(mlf.m_discountFactor[3], 2);
  // The long pause at the end of a shorter range is its last node.
  mlf.discountFactorCompute(1, 5, true);
  EXPECT_EQ(mlf.m_discountFactor[3], 1);
  mlf.discountFactorCompute(2, 4, true);
  EXPECT_EQ(mlf.m_discountFactor[3], 0);
}

TEST(MlfDiscount, SyllableCountDifferenceIsAbsoluteAndOffWithoutTextCount) {
  struct Case {
    int textSylNum, scoredSylNum, expected;
  };
  const Case cases[] = {{5, 3, 2}, {3, 5, 2}, {4, 4, 0}, {-1, 3, 0}, {0, 3, 3}, {2147483647, -2147483647 - 1, 2147483647}};
  for (const Case& c : cases) {
    mlfClass mlf = cleanPath();
    mlf.m_textSylNum = c.textSylNum;
    mlf.m_scoredSylNum = c.scoredSylNum;
    EXPECT_EQ(reasonOf(mlf, 4), c.expected) << c.textSylNum << " " << c.scoredSylNum;
  }
}

TEST(MlfDiscount, LengthRatioOfScoredNodesAboveFour) {
  struct Case {
    int shortLen, longLen, expected;
  };
  for (const Case& c : {Case{10, 41, 1}, Case{10, 40, 0}, Case{1, 5, 1}, Case{3, 12, 0}}) {
    mlfClass mlf;
    mlf.m_syl.push_back(nodeOf("a", 0, c.shortLen - 1));
    mlf.m_syl.push_back(nodeOf("sil", c.shortLen, c.shortLen + 499));  // skipped: not compared
    mlf.m_syl.push_back(nodeOf("b", c.shortLen + 500, c.shortLen + 499 + c.longLen));
    EXPECT_EQ(reasonOf(mlf, 5), c.expected) << c.shortLen << " " << c.longLen;
  }

  mlfClass onlySilence;
  onlySilence.m_syl.push_back(nodeOf("sil", 0, 9));
  onlySilence.m_syl.push_back(nodeOf("sp", 10, 200));
  EXPECT_EQ(reasonOf(onlySilence, 5), 0);
}

TEST(MlfDiscount, LoudSilenceAgainstTheVolumeRangeOfTheRange) {
  // Speech from 0 to 1000.7: the extremes are truncated to 0 and 1000, so the 10 % line is
  // 100, and a volume of exactly 100 is above it in single precision (0.1f > 0.1).
  struct Case {
    const char* what;
    std::vector<float> silVolume;
    int expected;
  };
  const Case cases[] = {
      {"31 loud frames", std::vector<float>(31, 500.0f), 2},
      {"30 loud frames", std::vector<float>(30, 500.0f), 1},
      {"5 frames at the line", std::vector<float>(5, 100.0f), 1},
      {"4 loud frames", std::vector<float>(4, 900.0f), 0},
      {"quiet", std::vector<float>(40, 99.9f), 0},
  };
  for (const Case& c : cases) {
    mlfClass mlf;
    mlf.m_syl.push_back(nodeOf("ba1", 0, 29));
    mlf.m_syl[0].volume = {0.0f, 1000.7f, 600.0f};
    mlf.m_syl.push_back(nodeOf("sil", 30, 99));
    mlf.m_syl[1].volume = c.silVolume;
    EXPECT_EQ(reasonOf(mlf, 6), c.expected) << c.what;
  }

  // Every "sp" and "sil" node counts on its own; loud speech does not.
  mlfClass mlf;
  mlf.m_syl.push_back(nodeOf("sp", 0, 9));
  mlf.m_syl[0].volume = std::vector<float>(5, 50.0f);  // the range's minimum is 50
  mlf.m_syl.push_back(nodeOf("ba1", 10, 49));
  mlf.m_syl[1].volume = std::vector<float>(40, 1050.0f);
  mlf.m_syl.push_back(nodeOf("sil", 50, 99));
  mlf.m_syl[2].volume = std::vector<float>(31, 200.0f);
  mlf.m_syl.push_back(nodeOf("sp", 100, 109));
  mlf.m_syl[3].volume = std::vector<float>(10, 149.0f);  // (149 - 50) / 1000 < 0.1
  mlf.m_syl.push_back(nodeOf("filler", 110, 159));
  mlf.m_syl[4].volume = std::vector<float>(50, 1000.0f);
  EXPECT_EQ(reasonOf(mlf, 6), 2);
}

TEST(MlfDiscount, LoudSilenceNeedsARangeOfVolumes) {
  // All volumes alike, or none at all: no frame stands out.
  mlfClass flat;
  flat.m_syl.push_back(nodeOf("ba1", 0, 29));
  flat.m_syl[0].volume = std::vector<float>(30, 300.0f);
  flat.m_syl.push_back(nodeOf("sil", 30, 99));
  flat.m_syl[1].volume = std::vector<float>(70, 300.5f);
  EXPECT_EQ(reasonOf(flat, 6), 0);

  mlfClass silent;
  silent.m_syl.push_back(nodeOf("sil", 0, 99));
  silent.m_syl.push_back(nodeOf("ba1", 100, 129));
  EXPECT_EQ(reasonOf(silent, 6), 0);

  // A node without volumes takes no part in the range.
  mlfClass partial;
  partial.m_syl.push_back(nodeOf("ba1", 0, 29));
  partial.m_syl[0].volume = {100.0f, 1100.0f};
  partial.m_syl.push_back(nodeOf("ma1", 30, 59));
  partial.m_syl.push_back(nodeOf("sil", 60, 99));
  partial.m_syl[2].volume = std::vector<float>(5, 201.0f);
  EXPECT_EQ(reasonOf(partial, 6), 1);
}

TEST(MlfDiscount, RejectsANodeRangeOutsideTheRecord) {
  mlfClass mlf = cleanPath();
  EXPECT_THAT(fatalOf([&] { mlf.discountFactorCompute(0, 4, true); }),
              ContainsRegex("^discountFactorCompute: node range 0\\.\\.4 outside the 4 nodes \\(line [0-9]+ of mlfDiscount\\)$"));
  EXPECT_THAT(fatalOf([&] { mlf.discountFactorCompute(-1, 2, true); }), ContainsRegex("node range -1\\.\\.2"));

  mlfClass empty;
  empty.m_textSylNum = 3;
  empty.discountFactorCompute(0, -1, false);
  EXPECT_THAT(empty.m_discountFactor, ElementsAre(1, 0, 0, 0, 3, 0, 0));
}
