#include "mlfClass.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "testFiles.h"

using namespace tulim;
using testing::ElementsAre;

TEST(MlfClass, StartsEmptyWithUnscoredValues) {
  mlfClass mlf;
  EXPECT_TRUE(mlf.m_syl.empty());
  EXPECT_EQ(mlf.m_textSylNum, -1);
  EXPECT_EQ(mlf.m_timberScore, -100000.0f);
  EXPECT_EQ(mlf.m_score, 0.0f);
  testing::internal::CaptureStdout();
  mlf.print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Output of mlfClass::print():\n");

  phoneInfo phone;
  EXPECT_EQ(phone.rank, -1);
  EXPECT_EQ(phone.rankRatio, -1.0f);
  EXPECT_EQ(phone.timeRatio, -1.0f);
  EXPECT_EQ(phone.timberScore, -1.0f);
  EXPECT_THAT(phone.timberScores, ElementsAre(-1.0f, -1.0f, -1.0f, -1.0f));
  sylInfo syl;
  EXPECT_EQ(syl.timberScore, -1.0f);
  EXPECT_EQ(syl.discount, 1.0f);
}

TEST(MlfClass, PrintsNodesAndPhones) {
  mlfClass mlf;
  sylInfo syl;
  syl.name = "ba1";
  syl.text = "\xa4\x4b";
  syl.frameId[0] = 3;
  syl.frameId[1] = 40;
  syl.timberScore = 87.5f;
  phoneInfo phone;
  phone.name = "b";
  phone.frameId[0] = 3;
  phone.frameId[1] = 10;
  phone.timberScore = 90.0f;
  phone.cumLogLike = -123.25f;
  syl.phone.push_back(phone);
  mlf.m_syl.push_back(syl);
  mlfClass copy = mlf;  // copies are deep
  mlf.m_syl[0].phone[0].name = "changed";

  testing::internal::CaptureStdout();
  copy.print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Output of mlfClass::print():\n"
            "m_syl[0]: name=ba1, frameId=[3, 40], text=\xa4\x4b, phoneNum=1, score=87.5\n"
            "\tphone[0]: name=b, frameId=[3, 10], score=90, cumlogProb=-123.25\n");
}

TEST(MlfClass, EpsReadSplitsLinesAtTabs) {
  tulim::test::scratchDir dir;
  std::string path = dir.write("eps.txt", "% sets\r\nb\tp\tb\r\n\nzh\tz\n");
  mlfClass mlf;
  std::vector<equivPhoneSet> eps(3);
  mlf.epsRead(path, eps);
  ASSERT_EQ(eps.size(), 2u);
  EXPECT_EQ(eps[0].name, "b");
  EXPECT_THAT(eps[0].member, ElementsAre("p", "b"));
  EXPECT_EQ(eps[1].name, "zh");
  EXPECT_THAT(eps[1].member, ElementsAre("z"));
}

TEST(GbellScore, BellCurveAtDefaultTriple) {
  const std::vector<float> triple{100.0f, 50.0f, 100.0f / 11.0f};
  EXPECT_EQ(gbellScore(100.0f / 11.0f, triple), 100.0f);
  EXPECT_EQ(gbellScore(5.0f, {1.0f, 0.0f, 5.0f}), 100.0f);  // the centre, whatever the exponent
  // Within the width the curve is flat at 100 and falls to 50 at one width from the centre.
  EXPECT_NEAR(gbellScore(50.0f, triple), 100.0f, 1e-3f);
  EXPECT_NEAR(gbellScore(100.0f / 11.0f + 100.0f, triple), 50.0f, 1e-4f);
  EXPECT_LT(gbellScore(150.0f, triple), 1e-3f);
  EXPECT_NEAR(gbellScore(1.0f, {1.0f, 1.0f, 0.0f}), 50.0f, 0.0f);
  EXPECT_NEAR(sqrtScore(0.25f), 50.0f, 0.0f);
  EXPECT_EQ(sqrtScore(0.0f), 100.0f);
}

TEST(GbellScore, AddsOneToThePowerInSinglePrecision) {
  // A double sum would round these quotients to the float next door.
  struct Case {
    float x;
    std::vector<float> triple;
    float expected;
  } cases[] = {
      {1.0f / 11.0f, {0.05f, 0.5f, 0.0f}, 35.4838676f},
      {2.0f / 21.0f, {0.05f, 0.5f, 0.0f}, 34.4262314f},
      {0.001f, {1.0f, 1.0f, 0.0f}, 99.9999084f},
  };
  for (const Case& c : cases) EXPECT_EQ(gbellScore(c.x, c.triple), c.expected) << c.x;
}

TEST(DbcsCharCount, LeadByteAndNextCountOnce) {
  struct Case {
    std::string text;
    int expected;
  } cases[] = {{"", 0}, {"ab", 2}, {"\xa4\x40\xa4\x41", 2}, {"a\xa4\x40", 2}, {"\xa4", 1}, {"ab\xa4", 3}};
  for (const Case& c : cases) EXPECT_EQ(dbcsCharCount(c.text), c.expected) << c.text;
}

TEST(VecSortWithIndex, KeepsTheQuicksortsTieOrder) {
  struct Case {
    std::vector<float> values, sorted;
    std::vector<int> index;
  } cases[] = {
      {{3, 1, 2}, {1, 2, 3}, {1, 2, 0}},
      {{2, 1, 2, 1}, {1, 1, 2, 2}, {1, 3, 0, 2}},
      {{5, 5, 5}, {5, 5, 5}, {2, 0, 1}},
      {{}, {}, {}},
      {{7}, {7}, {0}},
  };
  for (const Case& c : cases) {
    std::vector<float> sorted;
    std::vector<int> index;
    vecSortWithIndex(c.values, sorted, index);
    EXPECT_EQ(sorted, c.sorted);
    EXPECT_EQ(index, c.index);
  }
}

TEST(VecSortWithIndex, SortsAGivenListWithoutRefilling) {
  std::vector<float> sorted{9, 8, 7};
  std::vector<int> index;
  vecSortWithIndex({1, 2, 3}, sorted, index);
  EXPECT_THAT(sorted, ElementsAre(7, 8, 9));
  EXPECT_THAT(index, ElementsAre(2, 1, 0));

  tulim::test::envScope temp("temp", nullptr);
  std::vector<float> wrong{1};
  EXPECT_THROW(vecSortWithIndex({1, 2, 3}, wrong, index), char*);
}

TEST(VecQuickSortWithIndex, SortsLargeSortedAndRandomInputsWithoutDeepRecursion) {
  // Sorted input is the pivot rule's worst case (quadratic time, which the tie order
  // forces us to keep): a recursion per element would also go 30000 frames deep.
  const int n = 30000;
  std::vector<double> a(n);
  std::iota(a.begin(), a.end(), 0.0);
  std::vector<int> b(n);
  std::iota(b.begin(), b.end(), 0);
  vecQuickSortWithIndex(a, 0, n - 1, b);
  EXPECT_TRUE(std::is_sorted(a.begin(), a.end()));
  EXPECT_EQ(b[n - 1], n - 1);

  std::mt19937 random(7);
  std::vector<int> values(20000);
  for (int& v : values) v = static_cast<int>(random() % 50);
  std::vector<int> sorted = values, index(values.size());
  std::iota(index.begin(), index.end(), 0);
  vecQuickSortWithIndex(sorted, 0, static_cast<int>(sorted.size()) - 1, index);
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
  for (size_t k = 0; k < sorted.size(); ++k) EXPECT_EQ(values[static_cast<size_t>(index[k])], sorted[k]);
}
