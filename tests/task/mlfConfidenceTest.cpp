#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "macroClass.h"
#include "mlfClass.h"
#include "modelSetFixture.h"
#include "recogParam.h"
#include "scoringFixture.h"
#include "spokenFeatures.h"
#include "testFiles.h"
#include "utility.h"
#include "stateScorer.h"

using namespace tulim;
using namespace tulim::test;
using testing::ContainsRegex;
using testing::ElementsAre;
using testing::FloatEq;

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

// Models "m00+b", "m01+b", ... in sorted order, every log count 0.
void modelsMake(macroClass& set, int n) {
  strVec names;
  for (int k = 0; k < n; ++k) names.push_back(strFormat("m%02d+b", k));
  modelSetFill(set, names);
}

// The parameter files of a run: the shared bell curve (0.1, 1, 0), that is 100 / (1 + (10 x)^2),
// bases of 0.9 for every reason but 0.5 for the syllable-count reason, which is applied as
// a ratio instead, and no confidence parameter file.
struct scoreFiles {
  scratchDir dir;
  recogParam param;
  scoreFiles() {
    param.phoneRank2scoreParamFile = dir.write("rank2score.txt", "0.1 1 0\n");
    param.scoreDiscountParamFile = dir.write("discount.txt", "0.9 0.9 0.9 0.9 0.5 0.9 0.9\n");
  }
};

// The record's scores, with the "\tRead ...\n" line of the discount file swallowed.
void measure(mlfClass& mlf, const scoreFiles& files, const macroClass& set) {
  testing::internal::CaptureStdout();
  mlf.confidenceMeasure(0, static_cast<int>(mlf.m_syl.size()) - 1, files.param, set);
  testing::internal::GetCapturedStdout();
}

// A phone of model 0 ranked `rank` among n competitors of equal log-likelihood.
phoneInfo rankedAmong(int rank, int n, float timeRatio = 1.0f) {
  return rankedPhone("m00+b", 0, 0, 9, std::vector<int>(static_cast<size_t>(n), 0),
                     std::vector<float>(static_cast<size_t>(n), -50.0f), rank, timeRatio);
}

mlfClass onePhoneRecord(const phoneInfo& phone) {
  mlfClass mlf;
  mlf.m_syl.push_back(nodeOf("ba1", phone.frameId[0], phone.frameId[1], {phone}));
  return mlf;
}

}  // namespace

TEST(MlfConfidence, BellCurvesOfTheRankRatio) {
  struct Case {
    int rank, competitors;
    float method1, method2;
  };
  // Method 2 without a confidence parameter file is 100 / (1 + 20 x).
  const Case cases[] = {
      {0, 1, 100.0f, 100.0f},         {0, 3, 100.0f, 100.0f},           {1, 20, 80.0f, 50.0f},
      {1, 10, 50.0f, 100.0f / 3.0f}, {1, 2, 100.0f / 26.0f, 100.0f / 11.0f},
  };
  scoreFiles files;
  macroClass set;
  modelsMake(set, 2);
  for (const Case& c : cases) {
    mlfClass mlf = onePhoneRecord(rankedAmong(c.rank, c.competitors));
    measure(mlf, files, set);
    const phoneInfo& phone = mlf.m_syl[0].phone[0];
    EXPECT_FLOAT_EQ(phone.timberScores[0], c.method1) << c.rank << "/" << c.competitors;
    EXPECT_FLOAT_EQ(phone.timberScores[1], c.method2) << c.rank << "/" << c.competitors;
    EXPECT_THAT(phone.cmParam, ElementsAre(0.05f, 0.5f, 0.0f));
    EXPECT_EQ(phone.timberScore, phone.timberScores[1]);
    EXPECT_EQ(mlf.m_syl[0].timberScores[1], phone.timberScores[1]);
    EXPECT_EQ(mlf.m_syl[0].timberScore, phone.timberScores[1]);
  }
}

TEST(MlfConfidence, PerModelTriplesFromTheConfidenceFileReadAtEveryCall) {
  scoreFiles files;
  files.param.cmParamFile = files.dir.write("cm.txt",
                                            "% name\tn\tmean\tstd\tcount\ttriple\n"
                                            "\n"
                                            "m00+b\t1\t2\t3\t4\t[0.2 1 0.1]\r\n"
                                            "m01+b\t1\t2\t3\t4\t[0.5 2 0]\n");
  macroClass set;
  modelsMake(set, 2);
  mlfClass mlf;
  mlf.m_syl.push_back(nodeOf("ba1", 0, 19,
                             {rankedPhone("m00+b", 0, 0, 9, std::vector<int>(10, 0), std::vector<float>(10, -1.0f), 1, 0.5f),
                              rankedPhone("m01+b", 1, 10, 19, {1, 0}, {-1.0f, -1.0f}, 1, 0.5f)}));
  measure(mlf, files, set);
  const phoneInfo& p0 = mlf.m_syl[0].phone[0];
  const phoneInfo& p1 = mlf.m_syl[0].phone[1];
  EXPECT_THAT(p0.cmParam, ElementsAre(0.2f, 1.0f, 0.1f));
  EXPECT_EQ(p0.timberScores[1], 100.0f);  // rank ratio 1/10 at the centre 0.1
  EXPECT_THAT(p1.cmParam, ElementsAre(0.5f, 2.0f, 0.0f));
  EXPECT_FLOAT_EQ(p1.timberScores[1], 50.0f);  // one width from the centre
  EXPECT_FLOAT_EQ(mlf.m_syl[0].timberScores[1], 75.0f);

  files.dir.write("cm.txt", "m00+b\t1\t2\t3\t4\t[0.2 1 0.1]\nm01+b\t1\t2\t3\t4\t[0.25 1 0]\n");
  measure(mlf, files, set);
  EXPECT_THAT(p1.cmParam, ElementsAre(0.25f, 1.0f, 0.0f));
  EXPECT_FLOAT_EQ(p1.timberScores[1], 20.0f);  // 100 / (1 + 2^2)

  std::remove(files.param.cmParamFile.c_str());
  measure(mlf, files, set);
  EXPECT_THAT(p1.cmParam, ElementsAre(0.05f, 0.5f, 0.0f));
  EXPECT_FLOAT_EQ(p1.timberScores[1], 100.0f / 11.0f);
}

TEST(MlfConfidence, UnparsableConfidenceLinesAreFatal) {
  macroClass set;
  modelsMake(set, 2);
  mlfClass mlf = onePhoneRecord(rankedPhone("m01+b", 1, 0, 9, {1}, {-1.0f}, 0, 1.0f));

  scoreFiles fiveFields;
  fiveFields.param.cmParamFile = fiveFields.dir.write("cm.txt", "m00+b\t1\t2\t3\t4\t[1 1 0]\nm01+b\t1\t2\t3\t[1 1 0]\n");
  testing::internal::CaptureStdout();
  const std::string message = fatalOf([&] { mlf.confidenceMeasure(0, 0, fiveFields.param, set); });
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "modelName=m01+b\nmodelIndex=1\ncontents[1]=m01+b\t1\t2\t3\t[1 1 0]\n");
  EXPECT_EQ(message, "Error: Cannot parse " + fiveFields.param.cmParamFile + " (line 727 of file mlf)");

  struct Case {
    const char* content;
    const char* pattern;
  };
  const Case cases[] = {
      {"m00+b\t1\t2\t3\t4\t[1 1 0]\nm01+b\t1\t2\t3\t4\t1 1 0\n",
       "^Error: Cannot parse .*cm\\.txt: model 1 \\(m01\\+b\\) has no \"\\[a b c\\]\" triple \\(line [0-9]+ of mlfConfidence\\)$"},
      {"m00+b\t1\t2\t3\t4\t[1 1]\nm01+b\t1\t2\t3\t4\t[1 x 0]\n", "model 1 \\(m01\\+b\\) has no"},
      {"m00+b\t1\t2\t3\t4\t[1 1 0]\n",
       "^Error: .*cm\\.txt has 1 lines, none for model 1 \\(m01\\+b\\) \\(line [0-9]+ of mlfConfidence\\)$"},
  };
  for (const Case& c : cases) {
    scoreFiles files;
    files.param.cmParamFile = files.dir.write("cm.txt", c.content);
    testing::internal::CaptureStdout();
    EXPECT_THAT(fatalOf([&] { mlf.confidenceMeasure(0, 0, files.param, set); }), ContainsRegex(c.pattern));
    testing::internal::GetCapturedStdout();
  }
}

TEST(MlfConfidence, NormalisedLogLikelihoodAmongTheCompetitors) {
  struct Case {
    const char* what;
    std::vector<float> logLikes;  // of models 0, 1, 2
    int own;
    float expected;
  };
  const Case cases[] = {
      {"own model best", {-10.0f, -20.0f, -30.0f}, 0, 100.0f},
      {"halfway", {-10.0f, -20.0f, -30.0f}, 1, 25.0f},
      {"own model worst", {-10.0f, -20.0f, -30.0f}, 2, 0.0f},
      {"three quarters", {-10.0f, -20.0f, -50.0f}, 1, 56.25f},
      {"all alike", {-7.0f, -7.0f, -7.0f}, 1, 0.0f},
      {"too short to score", {LZERO, LZERO, LZERO}, 0, 0.0f},
  };
  scoreFiles files;
  macroClass set;
  modelsMake(set, 3);
  for (const Case& c : cases) {
    mlfClass mlf = onePhoneRecord(rankedPhone("m00+b", c.own, 0, 9, {0, 1, 2}, c.logLikes, c.own, 1.0f));
    measure(mlf, files, set);
    EXPECT_FLOAT_EQ(mlf.m_syl[0].phone[0].timberScores[2], c.expected) << c.what;
  }
}

TEST(MlfConfidence, PosteriorAmongTheCompetitorsWithModelCounts) {
  struct Case {
    const char* what;
    std::vector<int> competitors;
    std::vector<float> logLikes;
    int own;
    double expected;
  };
  const Case cases[] = {
      {"own model alone", {0}, {-40.0f}, 0, 100.0},
      {"two alike", {0, 1}, {-40.0f, -40.0f}, 0, 50.0},
      {"own count 3 against 1", {2, 1}, {-40.0f, -40.0f}, 2, 75.0},
      {"count 1 against 3", {2, 1}, {-40.0f, -40.0f}, 1, 25.0},
      // A later competitor above the running sum swaps places with it.
      {"worse first", {0, 1}, {-10.0f, -5.0f}, 0, 100.0 / (1.0 + std::exp(5.0))},
      // Without that swap e^990 would overflow the sum.
      {"far worse first", {0, 1}, {-1000.0f, -10.0f}, 1, 100.0},
  };
  scoreFiles files;
  macroClass set;
  modelsMake(set, 3);
  set.MMFEdit().model[2].logCount = std::log(3.0f);
  for (const Case& c : cases) {
    mlfClass mlf = onePhoneRecord(rankedPhone("m00+b", c.own, 0, 9, c.competitors, c.logLikes, 0, 1.0f));
    measure(mlf, files, set);
    EXPECT_NEAR(mlf.m_syl[0].phone[0].timberScores[3], c.expected, 1e-4 * c.expected) << c.what;
    EXPECT_EQ(mlf.m_syl[0].timberScores[3], mlf.m_syl[0].phone[0].timberScores[3]) << c.what;
  }

  // A phone scoring above its competitors is over 100; its node is held at 100.
  phoneInfo above = rankedPhone("m00+b", 0, 0, 9, {0}, {-20.0f}, 0, 1.0f);
  above.logLike = -10.0f;
  mlfClass mlf = onePhoneRecord(above);
  measure(mlf, files, set);
  EXPECT_FLOAT_EQ(mlf.m_syl[0].phone[0].timberScores[3], std::exp(10.0f) * 100.0f);
  EXPECT_EQ(mlf.m_syl[0].timberScores[3], 100.0f);
}

TEST(MlfConfidence, SkippedNodesAndContextPhones) {
  scoreFiles files;
  macroClass set;
  modelsMake(set, 2);
  mlfClass mlf;
  mlf.m_syl.push_back(nodeOf("sp", 0, 9, {phoneOf("sp", 0, 9)}));
  mlf.m_syl.push_back(nodeOf("ba1", 10, 19, {phoneOf("sil+a", 10, 19)}));
  mlf.m_syl.push_back(nodeOf("ba1", 20, 39, {phoneOf("sil+a", 20, 24), rankedPhone("m00+b", 0, 25, 39, {0, 1}, {-1.0f, -2.0f}, 0, 0.5f)}));
  mlf.m_syl.push_back(nodeOf("ma1", 40, 49, {phoneOf("sil+a", 40, 44), phoneOf("sil+b", 45, 49)}));
  for (const char* skipped : {"sil", "filler", "fillerC", "fillerV"})
    mlf.m_syl.push_back(nodeOf(skipped, 50, 59, {rankedPhone("m00+b", 0, 50, 59, {}, {}, 0, 1.0f)}));
  for (sylInfo& node : mlf.m_syl) node.discount = 0.5f;
  measure(mlf, files, set);

  for (size_t i : {0u, 4u, 5u, 6u, 7u}) {
    const sylInfo& node = mlf.m_syl[i];
    EXPECT_THAT(node.timberScores, ElementsAre(-0.5f, -0.5f, -0.5f, -0.5f)) << node.name;  // -1 times the discount
    EXPECT_EQ(node.timberScore, -0.5f) << node.name;
    EXPECT_THAT(node.phone[0].timberScores, ElementsAre(-1.0f, -1.0f, -1.0f, -1.0f)) << node.name;
    EXPECT_EQ(node.phone[0].timberScore, -1.0f) << node.name;
  }
  EXPECT_THAT(mlf.m_syl[1].timberScores, ElementsAre(0.0f, 0.0f, 0.0f, 0.0f));
  EXPECT_THAT(mlf.m_syl[1].phone[0].timberScores, ElementsAre(0.0f, 0.0f, 0.0f, 0.0f));
  EXPECT_EQ(mlf.m_syl[1].phone[0].timberScore, 0.0f);

  // Beside a pronounced phone the context phone is neither scored nor weighed.
  const sylInfo& mixed = mlf.m_syl[2];
  EXPECT_THAT(mixed.phone[0].timberScores, ElementsAre(-1.0f, -1.0f, -1.0f, -1.0f));
  EXPECT_THAT(mixed.phone[1].timberScores, ElementsAre(100.0f, 100.0f, 100.0f, FloatEq(100.0f / (1.0f + std::exp(-1.0f)))));
  EXPECT_THAT(mixed.timberScores, ElementsAre(50.0f, 50.0f, 50.0f, FloatEq(50.0f / (1.0f + std::exp(-1.0f)))));

  // Context phones only: nothing to weigh, nothing pronounced.
  EXPECT_THAT(mlf.m_syl[3].timberScores, ElementsAre(0.0f, 0.0f, 0.0f, 0.0f));
  EXPECT_THAT(mlf.m_syl[3].phone[1].timberScores, ElementsAre(-1.0f, -1.0f, -1.0f, -1.0f));
}

TEST(MlfConfidence, NodeScoresAreTimeWeightedMeansOfThePhones) {
  scoreFiles files;
  macroClass set;
  modelsMake(set, 3);
  mlfClass mlf;
  // Method 3 gives the phones 100 and 25; their time ratios 0.1 and 0.3 weigh them 1 to 3.
  mlf.m_syl.push_back(nodeOf("ba1", 0, 39,
                             {rankedPhone("m00+b", 0, 0, 9, {0, 1, 2}, {-10.0f, -20.0f, -30.0f}, 0, 0.1f),
                              rankedPhone("m01+b", 1, 10, 39, {0, 1, 2}, {-10.0f, -20.0f, -30.0f}, 1, 0.3f)}));
  measure(mlf, files, set);
  const sylInfo& node = mlf.m_syl[0];
  EXPECT_FLOAT_EQ(node.timberScores[2], (100.0f * 0.1f + 25.0f * 0.3f) / 0.4f);
  EXPECT_FLOAT_EQ(node.timberScores[0], (100.0f * 0.1f + node.phone[1].timberScores[0] * 0.3f) / 0.4f);
  EXPECT_FLOAT_EQ(node.phone[1].timberScores[0], 100.0f / (1.0f + 100.0f / 9.0f));  // x = 1/3
}

TEST(MlfConfidence, UtteranceScoresWeighTheRangeNodesByLength) {
  scoreFiles files;
  macroClass set;
  modelsMake(set, 2);
  mlfClass mlf;
  mlf.m_syl.push_back(nodeOf("sil", 0, 9));
  mlf.m_syl.push_back(nodeOf("ba1", 10, 19, {rankedPhone("m00+b", 0, 10, 19, {0, 1}, {-1.0f, -2.0f}, 0, 0.25f)}));
  mlf.m_syl.push_back(nodeOf("ma1", 20, 49, {rankedPhone("m00+b", 0, 20, 49, {1, 0}, {-1.0f, -2.0f}, 1, 0.75f)}));
  mlf.m_syl.push_back(nodeOf("sil", 50, 59));
  mlf.m_syl[2].discount = 0.5f;
  mlf.m_textSylNum = 2;
  mlf.m_pathSylNum = 2;
  mlf.m_discountFactor = {0, 0, 0, 0, 0, 0, 0};
  mlf.m_timberScorePair[3] = {7.0f, 8.0f};

  testing::internal::CaptureStdout();
  mlf.confidenceMeasure(0, 3, files.param, set);
  testing::internal::GetCapturedStdout();
  // ma1 scores 100 / (1 + 5^2) with method 1, 100 / 11 with method 2 and 0 with method 3,
  // each halved by its discount, over 30 of the 40 scored frames.
  const float m1 = 100.0f / 26.0f * 0.5f, m2 = 100.0f / 11.0f * 0.5f;
  EXPECT_FLOAT_EQ(mlf.m_syl[2].timberScores[0], m1);
  EXPECT_FLOAT_EQ(mlf.m_timberScorePair[0].orig, (100.0f * 10 + m1 * 30) / 40);
  EXPECT_FLOAT_EQ(mlf.m_timberScorePair[1].orig, (100.0f * 10 + m2 * 30) / 40);
  EXPECT_FLOAT_EQ(mlf.m_timberScorePair[2].orig, 100.0f * 10 / 40);
  EXPECT_EQ(mlf.m_timberScorePair[3].orig, 0.0f);
  EXPECT_EQ(mlf.m_timberScorePair[3].final, 8.0f);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(mlf.m_timberScorePair[k].final, mlf.m_timberScorePair[k].orig);
  EXPECT_EQ(mlf.m_origTimberScore, mlf.m_timberScorePair[1].orig);
  EXPECT_EQ(mlf.m_timberScore, mlf.m_timberScorePair[1].final);
  EXPECT_EQ(mlf.m_score, mlf.m_timberScore);

  // The comparison range: only its nodes are discounted and counted; all are scored.
  mlf.m_syl[2].discount = 0.5f;
  testing::internal::CaptureStdout();
  mlf.confidenceMeasure(0, 1, files.param, set);
  testing::internal::GetCapturedStdout();
  EXPECT_FLOAT_EQ(mlf.m_syl[2].timberScores[0], 100.0f / 26.0f);
  EXPECT_EQ(mlf.m_timberScorePair[0].orig, 100.0f);

  // No scored node in the range: the utterance scores are 0.
  testing::internal::CaptureStdout();
  mlf.confidenceMeasure(3, 3, files.param, set);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(mlf.m_timberScorePair[1].orig, 0.0f);
  EXPECT_EQ(mlf.m_timberScore, 0.0f);
}

TEST(MlfConfidence, DiscountReasonsScaleTheFinalScores) {
  struct Case {
    const char* what;
    std::vector<int> factors;
    int textSylNum, pathSylNum;
    double ratio;  // final / orig
  };
  const Case cases[] = {
      {"no occurrence", {0, 0, 0, 0, 0, 0, 0}, 3, 3, 1.0},
      {"two over-short syllables", {0, 2, 0, 0, 0, 0, 0}, 3, 3, 0.81},
      {"incomplete path and loud silence", {1, 0, 0, 0, 0, 0, 1}, 3, 3, 0.81},
      {"three reasons", {0, 0, 1, 1, 0, 1, 0}, 3, 3, 0.729},
      // The syllable-count reason scales by the syllable counts, not by its base 0.5.
      {"one syllable missing", {0, 0, 0, 0, 1, 0, 0}, 4, 3, 0.75},
      {"one syllable more", {0, 1, 0, 0, 1, 0, 0}, 2, 3, 1.35},
      {"three syllables for one", {0, 0, 0, 0, 2, 0, 0}, 1, 3, 3.0},
      {"no text count", {0, 0, 0, 0, 0, 0, 0}, -1, 3, 1.0},
      {"empty text", {0, 0, 0, 0, 3, 0, 0}, 0, 3, 1.0},
      {"no discount factors", {}, 4, 3, 1.0},
  };
  macroClass set;
  modelsMake(set, 2);
  for (const Case& c : cases) {
    scoreFiles files;
    mlfClass mlf;
    mlf.m_syl.push_back(nodeOf("ba1", 0, 9, {rankedPhone("m00+b", 0, 0, 9, {0, 1}, {-1.0f, -2.0f}, 1, 1.0f)}));
    mlf.m_discountFactor = c.factors;
    mlf.m_textSylNum = c.textSylNum;
    mlf.m_pathSylNum = c.pathSylNum;
    measure(mlf, files, set);
    for (int k = 0; k < 3; ++k) {
      EXPECT_GT(mlf.m_timberScorePair[k].orig, 0.0f) << c.what;
      // A ratio above 1 raises the score, but never off the scale.
      EXPECT_NEAR(mlf.m_timberScorePair[k].final, std::min(mlf.m_timberScorePair[k].orig * c.ratio, 100.0),
                  1e-5 * mlf.m_timberScorePair[k].orig)
          << c.what << " " << k;
    }
    EXPECT_EQ(mlf.m_origTimberScore, mlf.m_timberScorePair[1].orig) << c.what;
    EXPECT_EQ(mlf.m_timberScore, mlf.m_timberScorePair[1].final) << c.what;
    EXPECT_EQ(mlf.m_score, mlf.m_timberScore) << c.what;
  }
}

TEST(MlfConfidence, ReadsTheSharedParameterFilesOncePerRecord) {
  scoreFiles files;
  macroClass set;
  modelsMake(set, 2);
  const mlfClass fresh = onePhoneRecord(rankedAmong(1, 2));
  mlfClass mlf = fresh;
  mlf.m_discountFactor = {0, 1, 0, 0, 0, 0, 0};

  testing::internal::CaptureStdout();
  mlf.confidenceMeasure(0, 0, files.param, set);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\tRead " + files.param.scoreDiscountParamFile + "...\n");
  EXPECT_THAT(mlf.m_rank2scoreParam, ElementsAre(0.1f, 1.0f, 0.0f));
  EXPECT_THAT(mlf.m_discountRatio, ElementsAre(0.9f, 0.9f, 0.9f, 0.9f, 0.5f, 0.9f, 0.9f));
  const float score = mlf.m_timberScore;

  // Gone or changed files make no difference to a record that has read them.
  files.dir.write("rank2score.txt", "1 1 1\n");
  std::remove(files.param.scoreDiscountParamFile.c_str());
  testing::internal::CaptureStdout();
  mlf.confidenceMeasure(0, 0, files.param, set);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(mlf.m_timberScore, score);
  EXPECT_THAT(mlf.m_rank2scoreParam, ElementsAre(0.1f, 1.0f, 0.0f));

  mlfClass other = fresh;
  testing::internal::CaptureStdout();
  const std::string message = fatalOf([&] { other.confidenceMeasure(0, 0, files.param, set); });
  testing::internal::GetCapturedStdout();
  EXPECT_THAT(message, ContainsRegex("^Cannot open file .*discount\\.txt"));
  EXPECT_THAT(other.m_rank2scoreParam, ElementsAre(1.0f, 1.0f, 1.0f));
}

// What follows the numbers a scan needs (a remark, labels, a byte-order mark before them) is
// not read: the scores are those of the bare numbers.
TEST(MlfConfidence, ParameterFilesMayHoldWordsAfterTheirNumbers) {
  macroClass set;
  modelsMake(set, 2);
  const mlfClass fresh = onePhoneRecord(rankedAmong(1, 2));
  scoreFiles plain;
  mlfClass expected = fresh;
  expected.m_discountFactor = {0, 1, 0, 0, 0, 0, 0};
  measure(expected, plain, set);
  struct Case {
    const char* rank2score;
    const char* discount;
  } cases[] = {
      {"0.1 1 0 % a, b and c of the bell curve\n", "0.9 0.9 0.9 0.9 0.5 0.9 0.9\n"},
      {"0.1\n1\n0\nbell curve 7 8\n", "0.9 0.9 0.9 0.9 0.5 0.9 0.9 reasons 0 to 6\n% 0.1\n"},
      {"\xEF\xBB\xBF" "0.1 1 0\n", "\xEF\xBB\xBF" "0.9 0.9 0.9 0.9 0.5 0.9 0.9\n"},
  };
  for (const Case& c : cases) {
    scoreFiles files;
    files.dir.write("rank2score.txt", c.rank2score);
    files.dir.write("discount.txt", c.discount);
    mlfClass mlf = fresh;
    mlf.m_discountFactor = {0, 1, 0, 0, 0, 0, 0};
    measure(mlf, files, set);
    EXPECT_THAT(mlf.m_rank2scoreParam, ElementsAre(0.1f, 1.0f, 0.0f)) << c.rank2score;
    EXPECT_THAT(mlf.m_discountRatio, ElementsAre(0.9f, 0.9f, 0.9f, 0.9f, 0.5f, 0.9f, 0.9f)) << c.discount;
    EXPECT_EQ(mlf.m_timberScore, expected.m_timberScore) << c.rank2score;
  }
}

TEST(MlfConfidence, MissingShortOrUnreadableParameterFilesAreFatal) {
  macroClass set;
  modelsMake(set, 2);
  const mlfClass record = onePhoneRecord(rankedAmong(0, 2));
  struct Case {
    const char* rank2score;  // null: no file
    const char* discount;
    const char* pattern;
  };
  const Case cases[] = {
      {nullptr, "0.9 0.9 0.9 0.9 0.9 0.9 0.9", "^Cannot open file .*rank2score\\.txt"},
      {"0.1 1", "0.9 0.9 0.9 0.9 0.9 0.9 0.9",
       "^Error: .*rank2score\\.txt holds 2 numbers, the bell curve needs 3 \\(line [0-9]+ of mlfConfidence\\)$"},
      {"0.1 1 0", nullptr, "^Cannot open file .*discount\\.txt"},
      {"0.1 1 0", "0.9 0.9 0.9",
       "^Error: .*discount\\.txt holds 3 discount ratios for 7 discount reasons \\(line [0-9]+ of mlfConfidence\\)$"},
      // The numbers end at the first word: too few came before it.
      {"0.1 1 % bell curve 0", "0.9 0.9 0.9 0.9 0.9 0.9 0.9",
       "^Error: .*rank2score\\.txt holds 2 numbers, the bell curve needs 3 \\(line [0-9]+ of mlfConfidence\\)$"},
      {"0.1 1 0", "0.9 0.9 0.9\n\n0.9 0.9\n0.9 abc 0.9",
       "^Error: .*discount\\.txt holds 6 discount ratios for 7 discount reasons"},
      // A scan of numbers would have taken each of these for a number, or NaN.
      {"0.1 1x 0", "0.9 0.9 0.9 0.9 0.9 0.9 0.9",
       "^Error: .*rank2score\\.txt, line 1: \"1x\" is not a number \\(line [0-9]+ of mlfConfidence\\)$"},
      {"nan inf 0", "0.9 0.9 0.9 0.9 0.9 0.9 0.9", "^Error: .*rank2score\\.txt, line 1: \"nan\" is not a number"},
      {"0.1 1 0", "0.9 0.9 0.9\n\n0.9 0.9 0.9 0.9 0.9\n0.9 -Infinity", "^Error: .*discount\\.txt, line 4: \"-Infinity\" is not a number"},
      {"0.1 1 0", "0.9 0.9 0.9 0.9 0.9 0.9 inf", "^Error: .*discount\\.txt, line 1: \"inf\" is not a number"},
      {"0.1 1 0", "0.9 0.9 0.9 0.9 0.9 0.9 1e39", "^Error: .*discount\\.txt, line 1: \"1e39\" is not a number"},
  };
  for (const Case& c : cases) {
    scratchDir dir;
    recogParam param;
    param.phoneRank2scoreParamFile = c.rank2score ? dir.write("rank2score.txt", c.rank2score) : dir.file("rank2score.txt");
    param.scoreDiscountParamFile = c.discount ? dir.write("discount.txt", c.discount) : dir.file("discount.txt");
    mlfClass mlf = record;
    mlf.m_discountFactor = {0, 0, 0, 0, 0, 0, 0};
    testing::internal::CaptureStdout();
    EXPECT_THAT(fatalOf([&] { mlf.confidenceMeasure(0, 0, param, set); }), ContainsRegex(c.pattern));
    testing::internal::GetCapturedStdout();
  }
}

TEST(MlfConfidence, RejectsPhonesThatWereNotRankedAgainstTheSet) {
  struct Case {
    const char* what;
    phoneInfo phone;
    const char* pattern;
  };
  phoneInfo unequal = rankedPhone("m00+b", 0, 0, 9, {0, 1}, {-1.0f, -2.0f}, 0, 1.0f);
  unequal.competingModelLogLike.pop_back();
  const Case cases[] = {
      {"not ranked at all", phoneOf("m00+b", 0, 9),
       "^confidenceMeasure: phone m00\\+b of node 0 has model index -1 outside the 2 models \\(line [0-9]+ of mlfConfidence\\)$"},
      {"empty lists", rankedPhone("m00+b", 0, 0, 9, {}, {}, 0, 1.0f),
       "^confidenceMeasure: phone m00\\+b of node 0 has no competing models \\(line [0-9]+ of mlfConfidence\\)$"},
      {"lists of different sizes", unequal, "has 2 competing models but 1 log-likelihoods"},
      {"competitor outside the set", rankedPhone("m00+b", 0, 0, 9, {0, 2}, {-1.0f, -2.0f}, 0, 1.0f),
       "has competing model 2 outside the 2 models"},
      {"own model outside the set", rankedPhone("m00+b", 5, 0, 9, {0}, {-1.0f}, 0, 1.0f),
       "has model index 5 outside the 2 models"},
  };
  scoreFiles files;
  macroClass set;
  modelsMake(set, 2);
  for (const Case& c : cases) {
    mlfClass mlf = onePhoneRecord(c.phone);
    mlf.m_timberScore = 12.0f;
    EXPECT_THAT(fatalOf([&] { mlf.confidenceMeasure(0, 0, files.param, set); }), ContainsRegex(c.pattern)) << c.what;
    EXPECT_EQ(mlf.m_timberScore, 12.0f) << c.what;  // the record is left as it was
  }

  mlfClass mlf = onePhoneRecord(rankedAmong(0, 2));
  EXPECT_THAT(fatalOf([&] { mlf.confidenceMeasure(0, 1, files.param, set); }),
              ContainsRegex("^confidenceMeasure: node range 0\\.\\.1 outside the 1 nodes \\(line [0-9]+ of mlfConfidence\\)$"));
}

TEST(MlfConfidence, ScoresAPathRankedByThePhoneRanking) {
  // sil, then a+b spoken as itself, then a+b spoken as e+b, then sil: 6 frames each.
  // List order sets the means: x+b lies beyond sil, so a+b is second best for e+b's frames.
  const strVec names{"a+b", "e+b", "sil", "x+b"};
  macroClass set;
  modelSetPrepare(set, names);
  std::vector<float> features;
  for (int k : {2, 0, 1, 2}) speakModel(features, k, 2);
  mlfClass mlf;
  mlf.m_syl.push_back(nodeOf("sil", 0, 5, {phoneOf("sil", 0, 5)}));
  mlf.m_syl.push_back(nodeOf("ab", 6, 11, {phoneOf("a+b", 6, 11)}));
  mlf.m_syl.push_back(nodeOf("ab", 12, 17, {phoneOf("a+b", 12, 17)}));
  mlf.m_syl.push_back(nodeOf("sil", 18, 23, {phoneOf("sil", 18, 23)}));
  mlf.m_textSylNum = 2;
  mlf.m_pathSylNum = 2;
  scoreFiles files;
  stateScorer scorer(set, set.MMF().modelNum);
  mlf.phoneRanking(features.data(), FIXTURE_VECTOR_SIZE, spokenFrameNum(features), scorer, files.param);
  ASSERT_EQ(mlf.m_syl[2].phone[0].rank, 1);

  mlf.discountFactorCompute(0, 3, true);
  EXPECT_THAT(mlf.m_discountFactor, ElementsAre(0, 0, 0, 0, 0, 0, 0));
  measure(mlf, files, set);
  const sylInfo& good = mlf.m_syl[1];
  const sylInfo& wrong = mlf.m_syl[2];
  EXPECT_THAT(good.timberScores, ElementsAre(100.0f, 100.0f, 100.0f, testing::Gt(99.0f)));
  EXPECT_FLOAT_EQ(wrong.timberScores[0], 100.0f / (1.0f + 100.0f / 9.0f));  // rank 1 of 3
  EXPECT_FLOAT_EQ(wrong.timberScores[1], 100.0f / (1.0f + 20.0f / 3.0f));
  EXPECT_LT(wrong.timberScores[2], 100.0f);
  EXPECT_LT(wrong.timberScores[3], 1.0f);
  EXPECT_FLOAT_EQ(mlf.m_timberScore, (100.0f + wrong.timberScores[1]) / 2.0f);
  EXPECT_EQ(mlf.m_score, mlf.m_timberScore);
}
