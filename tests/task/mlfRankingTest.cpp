#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "fatalCatch.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "modelSetFixture.h"
#include "recogParam.h"
#include "spokenFeatures.h"
#include "testFiles.h"
#include "textClass.h"
#include "stateScorer.h"

using namespace tulim;
using testing::ElementsAre;
using testing::MatchesRegex;
using testing::UnorderedElementsAreArray;
using tulim::test::scratchDir;
using tulim::test::fatalMessage;

namespace {

struct phoneSpec {
  std::string name;
  int first, last;
};
struct nodeSpec {
  std::string name;
  std::vector<phoneSpec> phones;
};

mlfClass recordOf(const std::vector<nodeSpec>& nodes) {
  mlfClass mlf;
  for (const nodeSpec& node : nodes) {
    sylInfo syl;
    syl.name = node.name;
    syl.frameId[0] = node.phones.front().first;
    syl.frameId[1] = node.phones.back().last;
    for (const phoneSpec& p : node.phones) {
      phoneInfo phone;
      phone.name = p.name;
      phone.frameId[0] = p.first;
      phone.frameId[1] = p.last;
      syl.phone.push_back(phone);
    }
    mlf.m_syl.push_back(syl);
  }
  return mlf;
}

// A prepared fixture model set (means 20 k + 5 state for the k-th name of the list) and the
// features that its models speak, so that every score order is known from the list order.
struct rankingFixture {
  strVec names;
  macroClass set;
  std::vector<float> features;

  explicit rankingFixture(const strVec& modelNames) : names(modelNames) { test::modelSetPrepare(set, names); }

  // framesPerState frames at each state mean of the named model.
  void speak(const std::string& name, int framesPerState) {
    const int k = static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
    test::speakModel(features, k, framesPerState);
  }
  int index(const std::string& name) const { return set.findModelIndex(name); }
  // Model to have the parameters of another, keeping its name: the two then tie everywhere.
  void copyModel(const std::string& from, const std::string& to) {
    hmmSet& mmf = set.MMFEdit();
    hmmModel& target = mmf.model[static_cast<size_t>(index(to))];
    const std::string name = target.str;
    target = mmf.model[static_cast<size_t>(index(from))];
    target.str = name;
    set.layoutPrepare();
  }
  void rank(mlfClass& mlf, const recogParam& param) {
    stateScorer scorer(set, set.MMF().modelNum);
    mlf.phoneRanking(features.data(), test::FIXTURE_VECTOR_SIZE, test::spokenFrameNum(features), scorer, param);
  }
  float score(const std::string& model, int first, int last) {
    stateScorer scorer(set, set.MMF().modelNum);
    return scorer.modelProb(features.data(), test::FIXTURE_VECTOR_SIZE, first, last, index(model));
  }
};

}  // namespace

TEST(SkippedNode, SkipsExactlyTheUnitsThatAreNotSpeech) {
  for (const char* name : {"sp", "sil", "filler", "fillerC", "fillerV", "", "ba", "SIL", "sil+a", "fillerX"})
    EXPECT_EQ(mlfClass::skippedNode(name), textClass::nonSpeechUnit(name)) << name;
}

TEST(PhoneRanking, OwnModelBestOfItsRightContextRanksFirst) {
  rankingFixture f({"a+b", "e+b", "b", "a+bc", "sil"});
  f.speak("a+b", 2);
  mlfClass mlf = recordOf({{"ab", {{"a+b", 0, 5}}}});
  f.rank(mlf, recogParam());

  const phoneInfo& phone = mlf.m_syl[0].phone[0];
  EXPECT_EQ(phone.modelIndex, f.index("a+b"));
  // b and a+bc hold "+b" too, but not as the end of their names.
  EXPECT_THAT(phone.competingModelIndex, ElementsAre(f.index("a+b"), f.index("e+b")));
  EXPECT_EQ(phone.logLike, f.score("a+b", 0, 5));
  EXPECT_THAT(phone.competingModelLogLike, ElementsAre(phone.logLike, f.score("e+b", 0, 5)));
  EXPECT_LT(phone.competingModelLogLike[1], phone.logLike);
  EXPECT_EQ(phone.rank, 0);
  EXPECT_EQ(phone.rankRatio, 0.0f);
  EXPECT_EQ(phone.timeRatio, 1.0f);
  EXPECT_EQ(mlf.m_rankScoreSum, 0.0f);
  EXPECT_EQ(mlf.m_logLikePerFrame, phone.logLike / 6.0f);
}

TEST(PhoneRanking, TieWithAnotherModelCountsAgainstThePhone) {
  rankingFixture f({"a+b", "e+b", "x+b"});
  f.copyModel("a+b", "e+b");
  f.speak("a+b", 2);
  mlfClass mlf = recordOf({{"ab", {{"a+b", 0, 5}}}});
  f.rank(mlf, recogParam());
  const phoneInfo& phone = mlf.m_syl[0].phone[0];
  ASSERT_EQ(phone.competingModelLogLike.size(), 3u);
  EXPECT_EQ(phone.competingModelLogLike[0], phone.competingModelLogLike[1]);
  EXPECT_EQ(phone.competingModelIndex[2], f.index("x+b"));
  EXPECT_EQ(phone.rank, 1);
  EXPECT_EQ(phone.rankRatio, 1.0f / 3.0f);
}

TEST(PhoneRanking, ForgivesOnlyEquivalentModelsDirectlyAbove) {
  scratchDir dir;
  const std::string eps = dir.write("eps.txt", "% name TAB members\nx+b\ta+b\na+b\te+b\na+b\tx+b\n");
  struct Case {
    strVec names;    // list order sets the means
    std::string spoken;
    strVec bestFirst;
    int rank;        // with e+b as the only equivalent of a+b
  } cases[] = {
      {{"a+b", "e+b", "x+b"}, "x+b", {"x+b", "e+b", "a+b"}, 1},
      {{"a+b", "x+b", "e+b"}, "e+b", {"e+b", "x+b", "a+b"}, 2},
  };
  for (const Case& c : cases) {
    rankingFixture f(c.names);
    f.speak(c.spoken, 2);
    std::vector<int> order;
    for (const std::string& name : c.bestFirst) order.push_back(f.index(name));

    mlfClass plain = recordOf({{"ab", {{"a+b", 0, 5}}}});
    f.rank(plain, recogParam());
    EXPECT_EQ(plain.m_syl[0].phone[0].competingModelIndex, order) << c.spoken;
    EXPECT_EQ(plain.m_syl[0].phone[0].rank, 2) << c.spoken;
    EXPECT_TRUE(plain.m_syl[0].phone[0].equivName.empty());

    recogParam param;
    param.epsFile = eps;
    mlfClass mlf = recordOf({{"ab", {{"a+b", 0, 5}}}});
    f.rank(mlf, param);
    const phoneInfo& phone = mlf.m_syl[0].phone[0];
    EXPECT_THAT(phone.equivName, ElementsAre("e+b")) << "the first set named a+b";
    EXPECT_EQ(phone.rank, c.rank) << c.spoken;
    EXPECT_EQ(phone.rankRatio, c.rank / 3.0f) << c.spoken;
  }
}

TEST(PhoneRanking, CountsScoredNodesAndRankedPhonesOnly) {
  rankingFixture f({"sil", "filler", "sil+n", "n+i", "i", "h+au", "au"});
  f.speak("sil", 2);     // 0..5
  f.speak("sil+n", 1);   // 6..8
  f.speak("n+i", 2);     // 9..14
  f.speak("i", 2);       // 15..20
  f.speak("filler", 2);  // 21..26
  f.speak("h+au", 2);    // 27..32
  f.speak("i", 2);       // 33..38: spoken as i, named au
  mlfClass mlf = recordOf({{"sil", {{"sil", 0, 5}}},
                           {"ni", {{"sil+n", 6, 8}, {"n+i", 9, 14}, {"i", 15, 20}}},
                           {"filler", {{"filler", 21, 26}}},
                           {"hau", {{"h+au", 27, 32}, {"au", 33, 38}}}});
  f.rank(mlf, recogParam());

  EXPECT_EQ(mlf.m_phoneNum, 5);        // the context phone included
  EXPECT_EQ(mlf.m_phoneFrameNum, 24);  // but not its frames
  EXPECT_EQ(mlf.m_scoredSylNum, 2);
  for (const phoneInfo* unranked : {&mlf.m_syl[0].phone[0], &mlf.m_syl[1].phone[0], &mlf.m_syl[2].phone[0]}) {
    EXPECT_EQ(unranked->rank, -1) << unranked->name;
    EXPECT_EQ(unranked->rankRatio, -1.0f) << unranked->name;
    EXPECT_TRUE(unranked->competingModelIndex.empty()) << unranked->name;
  }

  // A name without '+' competes with the models without one.
  const phoneInfo& au = mlf.m_syl[3].phone[1];
  EXPECT_THAT(au.competingModelIndex,
              ElementsAre(f.index("i"), f.index("au"), f.index("filler"), f.index("sil")));
  EXPECT_EQ(au.rank, 1);
  EXPECT_EQ(au.rankRatio, 0.25f);

  float timeSum = 0.0f, logLikeSum = 0.0f;
  for (const phoneInfo* ranked :
       {&mlf.m_syl[1].phone[1], &mlf.m_syl[1].phone[2], &mlf.m_syl[3].phone[0], &mlf.m_syl[3].phone[1]}) {
    EXPECT_EQ(ranked->timeRatio, 0.25f) << ranked->name;
    timeSum += ranked->timeRatio;
    logLikeSum += ranked->logLike;
  }
  EXPECT_EQ(timeSum, 1.0f);
  EXPECT_EQ(mlf.m_syl[1].phone[1].rank, 0);
  EXPECT_EQ(mlf.m_syl[1].phone[2].rank, 0);
  EXPECT_EQ(mlf.m_rankScoreSum, 0.25f * 0.25f);
  EXPECT_FLOAT_EQ(mlf.m_logLikePerFrame, logLikeSum / 24.0f);
}

TEST(PhoneRanking, ShortPhoneTiesAllCompetitorsInQuicksortOrder) {
  rankingFixture f({"a+b", "e+b", "x+b"});
  f.speak("a+b", 2);
  mlfClass mlf = recordOf({{"ab", {{"a+b", 0, 1}}}, {"sil", {{"sil", 2, 5}}}});
  testing::internal::CaptureStdout();
  f.rank(mlf, recogParam());
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;

  const phoneInfo& phone = mlf.m_syl[0].phone[0];
  EXPECT_EQ(phone.logLike, LZERO);
  EXPECT_THAT(phone.competingModelLogLike, ElementsAre(LZERO, LZERO, LZERO));
  // The quicksort of three equal values with pivot position 0 exchanges positions 1 and 2,
  // then 0 and 1: models 0, 1, 2 end as 2, 0, 1, and best first as 1, 0, 2.
  EXPECT_THAT(phone.competingModelIndex, ElementsAre(1, 0, 2));
  EXPECT_EQ(phone.rank, 2);
  EXPECT_EQ(phone.timeRatio, 1.0f);
}

TEST(PhoneRanking, AllModelsButSilencesAndFillersCompeteWhenAsked) {
  rankingFixture f({"sil", "sp", "filler", "fillerC", "fillerV", "a+b", "c+d", "e"});
  f.speak("a+b", 2);  // 0..5
  f.speak("e", 2);    // 6..11
  mlfClass mlf = recordOf({{"x", {{"a+b", 0, 5}, {"sil", 6, 11}}}});
  recogParam param;
  param.useAllModelAsCompetingModel = 1;
  f.rank(mlf, param);

  const phoneInfo& ab = mlf.m_syl[0].phone[0];
  EXPECT_THAT(ab.competingModelIndex, UnorderedElementsAreArray({f.index("a+b"), f.index("c+d"), f.index("e")}));
  EXPECT_EQ(ab.competingModelIndex[0], f.index("a+b"));
  EXPECT_EQ(ab.rank, 0);
  // A silence phone is not among the competitors, so every one of them that scores at
  // least as well counts against it.
  const phoneInfo& sil = mlf.m_syl[0].phone[1];
  EXPECT_EQ(sil.modelIndex, f.index("sil"));
  EXPECT_EQ(sil.logLike, f.score("sil", 6, 11));
  EXPECT_THAT(sil.competingModelIndex, ElementsAre(f.index("e"), f.index("c+d"), f.index("a+b")));
  EXPECT_EQ(sil.rank, 3);
  EXPECT_EQ(sil.rankRatio, 1.0f);
  EXPECT_EQ(mlf.m_rankScoreSum, 0.5f);
}

TEST(PhoneRanking, ReadsEquivalentSetsOnceAndRecomputesTheRest) {
  scratchDir dir;
  rankingFixture f({"a+b", "e+b", "x+b"});
  f.speak("x+b", 2);
  recogParam param;
  param.epsFile = dir.write("eps.txt", "a+b\te+b\n");
  mlfClass mlf = recordOf({{"ab", {{"a+b", 0, 5}}}});
  f.rank(mlf, param);
  EXPECT_EQ(mlf.m_syl[0].phone[0].rank, 1);

  param.epsFile = dir.file("missing.txt");  // m_epsVec is loaded: no file is opened
  f.rank(mlf, param);
  EXPECT_EQ(mlf.m_epsVec.size(), 1u);
  EXPECT_EQ(mlf.m_syl[0].phone[0].rank, 1);
  EXPECT_EQ(mlf.m_phoneNum, 1);
  EXPECT_EQ(mlf.m_phoneFrameNum, 6);
  EXPECT_EQ(mlf.m_scoredSylNum, 1);
  EXPECT_EQ(mlf.m_rankScoreSum, 1.0f / 3.0f);
}

TEST(PhoneRanking, RejectsWhatItCannotScore) {
  scratchDir dir;
  rankingFixture f({"a+b", "e+b"});
  f.speak("a+b", 2);
  struct Case {
    const char* phone;
    int first, last;
    std::string epsFile;
    const char* message;
  };
  const Case cases[] = {
      {"o+b", 0, 5, "", "Error: phone o\\+b of node 0 \\(ab\\) is not a model of the HMM set \\(line [0-9]+ of mlfRanking\\)"},
      {"a+b", 3, 6, "", "Error: phone a\\+b of node 0 \\(ab\\) at frames 3 to 6 is no span of the 6 feature frames \\(line [0-9]+ of mlfRanking\\)"},
      {"a+b", -1, 4, "", "Error: phone a\\+b of node 0 \\(ab\\) at frames -1 to 4 is no span of the 6 feature frames .*"},
      {"a+b", 4, 3, "", "Error: phone a\\+b of node 0 \\(ab\\) at frames 4 to 3 is no span of the 6 feature frames .*"},
      // Its frame count would not even fit an int.
      {"a+b", -2000000000, 2000000000, "",
       "Error: phone a\\+b of node 0 \\(ab\\) at frames -2000000000 to 2000000000 is no span of the 6 feature frames .*"},
      {"a+b", 0, 5, dir.file("missing.txt"), ".*missing.txt.*"},
  };
  for (const Case& c : cases) {
    mlfClass mlf = recordOf({{"ab", {{c.phone, c.first, c.last}}}});
    recogParam param;
    param.epsFile = c.epsFile;
    EXPECT_THAT(fatalMessage([&] { f.rank(mlf, param); }), MatchesRegex(c.message)) << c.phone << " " << c.first;
  }
}
