#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "candidateFixture.h"
#include "fatalCatch.h"
#include "mlfClass.h"
#include "modelSetFixture.h"
#include "testFiles.h"
#include "utilClass.h"
#include "viterbiClass.h"

using namespace tulim;
using namespace tulim::test;
using testing::ContainsRegex;
using testing::ElementsAre;

namespace {

struct span {
  int first, last;
  bool operator==(const span& o) const { return first == o.first && last == o.last; }
};
span spanOf(const int* frameId) { return {frameId[0], frameId[1]}; }
std::ostream& operator<<(std::ostream& os, const span& s) { return os << "[" << s.first << ", " << s.last << "]"; }

void expectUnscored(const mlfClass& mlf) {
  for (const sylInfo& syl : mlf.m_syl) {
    EXPECT_EQ(syl.timberScore, -1.0f);
    EXPECT_THAT(syl.timberScores, ElementsAre(-1.0f, -1.0f, -1.0f, -1.0f));
    for (const phoneInfo& phone : syl.phone) {
      EXPECT_EQ(phone.timberScore, -1.0f);
      EXPECT_THAT(phone.timberScores, ElementsAre(-1.0f, -1.0f, -1.0f, -1.0f));
      EXPECT_EQ(phone.rank, -1);
      EXPECT_EQ(phone.rankRatio, -1.0f);
      EXPECT_EQ(phone.timeRatio, -1.0f);
    }
  }
}

class MlfLabelTest : public pathTest {
 protected:
  scratchDir dir;
};

// Two nodes as the pipeline leaves them after scoring: sil [0, 2] with one phone, ba [3, 7]
// with the phones b [3, 4] and a [5, 7].
mlfClass scoredRecord() {
  mlfClass mlf;
  sylInfo sil;
  sil.name = "sil";
  sil.frameId[0] = 0;
  sil.frameId[1] = 2;
  phoneInfo silPhone;
  silPhone.name = "sil";
  silPhone.modelIndex = 3;
  silPhone.frameId[0] = 0;
  silPhone.frameId[1] = 2;
  silPhone.cumLogLike = -7.5f;
  sil.phone.push_back(silPhone);
  sil.volume = {3.4f, 12.6f};
  sylInfo ba;
  ba.name = "ba";
  ba.text = "\xa4\x4b";
  ba.frameId[0] = 3;
  ba.frameId[1] = 7;
  ba.timberScore = 87.5f;
  ba.volume = {60.5f, -2.5f, 71.2f};
  phoneInfo b;
  b.name = "b";
  b.modelIndex = 1;
  b.frameId[0] = 3;
  b.frameId[1] = 4;
  b.cumLogLike = -12.25f;
  b.timberScore = 90.0f;
  phoneInfo a = b;
  a.name = "a";
  a.modelIndex = 0;
  a.frameId[0] = 5;
  a.frameId[1] = 7;
  a.cumLogLike = -20.0f;
  a.timberScore = 85.0f;
  ba.phone = {b, a};
  mlf.m_syl = {sil, ba};
  mlf.m_score = 87.5f;
  mlf.m_timberScore = 86.25f;
  mlf.m_timberScorePair[0] = {80.0f, 79.5f};
  mlf.m_timberScorePair[1] = {88.0f, 86.25f};
  mlf.m_timberScorePair[2] = {70.0f, 69.0f};
  mlf.m_discountFactor = {0, 1, 0, 2, 0, 0, 1};
  return mlf;
}

const char* const kScoreHeader =
    "% score=87.5\n"
    "% origTimberScores=[80, 88, 70]\n"
    "% finalTimberScores=[79.5, 86.25, 69]\n"
    "% discountFactor=[0 1 0 2 0 0 1 ]\n"
    "% discountReason={'\xb8\xf4\xae\x7c\xa8\xab\xa4\xa3\xa7\xb9\xa5\xfe', "
    "'\xb9\x4c\xb5\x75\xad\xb5\xb8\x60\xaa\xba\xad\xd3\xbc\xc6', "
    "'\xb9\x4c\xaa\xf8\xad\xb5\xb8\x60\xaa\xba\xad\xd3\xbc\xc6', "
    "'\xb6\x57\xb9\x4c"
    "0.25\xac\xed\xaa\xbasp\xaa\xba\xad\xd3\xbc\xc6', "
    "'\xb9\xea\xbb\xda\xad\xb5\xb8\x60\xad\xd3\xbc\xc6\xa9\x4d\xa7\xe4\xa5\x58\xa8\xd3\xad\xb5\xb8\x60\xad\xd3\xbc\xc6"
    "\xaa\xba\xae\x74\xb2\xa7', "
    "'\xb3\xcc\xaa\xf8\xa9\x4d\xb3\xcc\xb5\x75\xad\xb5\xb8\x60\xaa\xba\xa4\xf1\xad\xc8\xa4\x6a\xa9\xf3"
    "4', 'sil\xaa\xba\xad\xb5\xb6\x71\xb9\x4c\xa4\x6a'}\n"
    "% discountReason={'Incomplete Viterbi search path', 'No. of over-short syllables', 'No. of overlong "
    "syllables', 'No. of sp longer than 0.25 sec', 'Difference between identified and actual no. of syllables', "
    "'Ratio between the longest and shortest syllables greater than 4', 'Volume of sil too large'}\n";

}  // namespace

// ---- Segmentation --------------------------------------------------------------------------

TEST_F(MlfLabelTest, Path2mlfSegmentsOneSyllableIntoItsPhones) {
  auto c = pathCandidate({{1, 6, {4, 9, 15}}});
  mlfClass mlf;
  mlf.path2mlf(*c, net, dict.m_pronDict, mac);
  ASSERT_EQ(mlf.m_syl.size(), 1u);
  const sylInfo& syl = mlf.m_syl[0];
  EXPECT_EQ(syl.name, "bac");
  EXPECT_EQ(syl.text, "\xa4\x54");
  EXPECT_EQ(spanOf(syl.frameId), (span{0, 15}));
  EXPECT_EQ(syl.logProb, -40.0f);
  ASSERT_EQ(syl.phone.size(), 3u);
  const char* names[] = {"b", "a", "c"};
  const int models[] = {1, 0, 2};
  const span spans[] = {{0, 4}, {5, 9}, {10, 15}};
  const float scores[] = {-12.5f, -25.0f, -40.0f};
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(syl.phone[j].name, names[j]);
    EXPECT_EQ(syl.phone[j].modelIndex, models[j]);
    EXPECT_EQ(spanOf(syl.phone[j].frameId), spans[j]);
    EXPECT_EQ(syl.phone[j].cumLogLike, scores[j]);
  }
  expectUnscored(mlf);
}

TEST_F(MlfLabelTest, Path2mlfReplacesTheNodesWithTwoSyllables) {
  auto c = pathCandidate({{3, 2, {3}}, {0, 3, {7, 12}}});
  mlfClass mlf = scoredRecord();  // replaced whole, scores reset
  mlf.path2mlf(*c, net, dict.m_pronDict, mac);
  ASSERT_EQ(mlf.m_syl.size(), 2u);
  EXPECT_EQ(mlf.m_syl[0].name, "sil");
  EXPECT_EQ(mlf.m_syl[0].text, "");
  EXPECT_EQ(spanOf(mlf.m_syl[0].frameId), (span{0, 3}));
  EXPECT_EQ(mlf.m_syl[0].logProb, -10.0f);
  ASSERT_EQ(mlf.m_syl[0].phone.size(), 1u);
  EXPECT_EQ(mlf.m_syl[0].phone[0].name, "sil");
  EXPECT_EQ(spanOf(mlf.m_syl[0].phone[0].frameId), (span{0, 3}));
  EXPECT_EQ(mlf.m_syl[1].name, "ba");
  EXPECT_EQ(mlf.m_syl[1].text, "\xa4\x4b");
  EXPECT_EQ(spanOf(mlf.m_syl[1].frameId), (span{4, 12}));
  EXPECT_EQ(mlf.m_syl[1].logProb, -32.5f);
  ASSERT_EQ(mlf.m_syl[1].phone.size(), 2u);
  EXPECT_EQ(mlf.m_syl[1].phone[0].name, "b");
  EXPECT_EQ(spanOf(mlf.m_syl[1].phone[0].frameId), (span{4, 7}));
  EXPECT_EQ(mlf.m_syl[1].phone[1].name, "a");
  EXPECT_EQ(mlf.m_syl[1].phone[1].modelIndex, 0);
  EXPECT_EQ(spanOf(mlf.m_syl[1].phone[1].frameId), (span{8, 12}));
  expectUnscored(mlf);
}

TEST_F(MlfLabelTest, Path2mlfDropsPhonesWithoutASyllableNode) {
  struct Case {
    const char* what;
    std::function<void(arenaCandidate&)> change;
    std::vector<pathSyl> path;
    const char* warning;
    std::vector<size_t> phonesPerNode;
  };
  const std::vector<Case> cases = {
      {"last syllable never closed", [](arenaCandidate& c) { c.sylNum = 1; }, {{3, 2, {3}}, {0, 3, {7, 12}}},
       "Warning: 2 of 3 phones of the path lie outside its 1 syllables", {1}},
      {"first phone not at position 0", [](arenaCandidate& c) { c.phonePos[0] = 1; }, {{0, 3, {7, 12}}},
       "Warning: 2 of 2 phones of the path lie outside its 1 syllables", {0}},
  };
  for (const Case& k : cases) {
    auto c = pathCandidate(k.path);
    k.change(*c);
    mlfClass mlf;
    testing::internal::CaptureStdout();
    mlf.path2mlf(*c, net, dict.m_pronDict, mac);
    EXPECT_THAT(testing::internal::GetCapturedStdout(), testing::StartsWith(k.warning)) << k.what;
    ASSERT_EQ(mlf.m_syl.size(), k.phonesPerNode.size()) << k.what;
    for (size_t i = 0; i < mlf.m_syl.size(); ++i) EXPECT_EQ(mlf.m_syl[i].phone.size(), k.phonesPerNode[i]) << k.what;
  }
}

TEST_F(MlfLabelTest, Path2mlfRejectsNodesAndPositionsOutsideTheNetAndLexicon) {
  mlfClass mlf;
  auto c = pathCandidate({{3, 9, {3}}});
  EXPECT_THAT(fatalMessage([&] { mlf.path2mlf(*c, net, dict.m_pronDict, mac); }),
              ContainsRegex("in node 9 outside the 7 nodes of the net \\(line [0-9]+ of mlfLabel\\)"));
  c = pathCandidate({{3, 2, {3, 5}}});  // sil has one model
  EXPECT_THAT(fatalMessage([&] { mlf.path2mlf(*c, net, dict.m_pronDict, mac); }),
              ContainsRegex("position 1 outside the 1 models of syllable sil"));
}

TEST_F(MlfLabelTest, SegmentsTheBestCompletePathOfTheSearch) {
  // sil, ba (b a), sil, each model two frames per state at its means.
  netClass searchNet;
  searchNet.netCreate({"VERSION=1.0", "N=5\tL=4", "I=0\tW=!NULL", "I=1\tW=!NULL", "I=2\tW=sil",
                       "I=3\tW=ba@-1@\xa4\x4b", "I=4\tW=sil", "J=0\tS=0\tE=2", "J=1\tS=2\tE=3", "J=2\tS=3\tE=4",
                       "J=3\tS=4\tE=1"},
                      dict);
  std::vector<float> features;
  for (int model : {3, 1, 0, 3})  // sil, b, a, sil in the fixture's list order
    for (int state = 0; state < 3; ++state)
      for (int repeat = 0; repeat < 2; ++repeat) {
        const std::vector<float> frame = fixtureFrame(model, state);
        features.insert(features.end(), frame.begin(), frame.end());
      }
  const int frameNum = static_cast<int>(features.size()) / FIXTURE_VECTOR_SIZE;
  stateScorer scorer(mac, mac.MMF().modelNum);
  viterbiClass search(500);
  const int count = search.search(searchNet.m_node, dict, features.data(), FIXTURE_VECTOR_SIZE, frameNum, 100, scorer,
                                  1e6f, 0);
  const int best = utilClass::bestPathSelect(search.m_order, count, searchNet.m_node, dict.m_pronDict);
  ASSERT_GE(best, 0);
  mlfClass mlf;
  mlf.path2mlf(*search.m_order[best], searchNet, dict.m_pronDict, mac);
  ASSERT_EQ(mlf.m_syl.size(), 3u);
  EXPECT_EQ(mlf.m_syl[0].name, "sil");
  EXPECT_EQ(spanOf(mlf.m_syl[0].frameId), (span{0, 5}));
  EXPECT_EQ(mlf.m_syl[1].name, "ba");
  EXPECT_EQ(mlf.m_syl[1].text, "\xa4\x4b");
  EXPECT_EQ(spanOf(mlf.m_syl[1].frameId), (span{6, 17}));
  EXPECT_EQ(spanOf(mlf.m_syl[2].frameId), (span{18, 23}));
  ASSERT_EQ(mlf.m_syl[1].phone.size(), 2u);
  EXPECT_EQ(mlf.m_syl[1].phone[0].name, "b");
  EXPECT_EQ(spanOf(mlf.m_syl[1].phone[0].frameId), (span{6, 11}));
  EXPECT_EQ(mlf.m_syl[1].phone[1].name, "a");
  EXPECT_EQ(spanOf(mlf.m_syl[1].phone[1].frameId), (span{12, 17}));
  EXPECT_EQ(mlf.m_syl[2].phone.size(), 1u);
}

// ---- Label input -------------------------------------------------------------------------

TEST_F(MlfLabelTest, LabFileReadBuildsNodesFromTheirFirstPhones) {
  const std::string file = dir.write("in.lab",
                                     "% a comment\n"
                                     "0 300000 a -12.5 ba\r\n"
                                     "\n"
                                     "300000 500000 b -20\n"
                                     "500000 3000000000 sil -31.5 sil extra fields\n"
                                     "3000000000 3000100000 zz 0\n");
  mlfClass mlf;
  mlf.labFileRead(file);
  ASSERT_EQ(mlf.m_syl.size(), 2u);
  const sylInfo& ba = mlf.m_syl[0];
  EXPECT_EQ(ba.name, "ba");
  EXPECT_EQ(spanOf(ba.frameId), (span{0, 4}));
  EXPECT_EQ(ba.logProb, -20.0f);
  ASSERT_EQ(ba.phone.size(), 2u);
  EXPECT_EQ(ba.phone[0].name, "a");
  EXPECT_EQ(spanOf(ba.phone[0].frameId), (span{0, 2}));
  EXPECT_EQ(ba.phone[0].cumLogLike, -12.5f);
  EXPECT_EQ(ba.phone[1].name, "b");
  EXPECT_EQ(spanOf(ba.phone[1].frameId), (span{3, 4}));
  // Six fields start a node named by the fifth; times past 32 bits.
  const sylInfo& sil = mlf.m_syl[1];
  EXPECT_EQ(sil.name, "sil");
  EXPECT_EQ(spanOf(sil.frameId), (span{5, 30000}));
  ASSERT_EQ(sil.phone.size(), 2u);
  EXPECT_EQ(spanOf(sil.phone[0].frameId), (span{5, 29999}));
  EXPECT_EQ(sil.phone[1].cumLogLike, 0.0f);
  EXPECT_EQ(sil.logProb, 0.0f);
  EXPECT_EQ(sil.phone[0].modelIndex, -1);
  expectUnscored(mlf);
}

TEST_F(MlfLabelTest, LabFileReadRejectsMalformedLines) {
  struct Case {
    const char* content;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"0 300000 a -1 ba\n\n300000 500000 b\n", "Line 3 of .*bad\\.lab \\(300000 500000 b\\): fewer than 4 fields"},
      {"% c\n0 300000 a -1\n", "Line 2 of .*bad\\.lab .*: the first label has no node name"},
      {"0 99999999999999999999 a -1 ba\n", "Time 99999999999999999999 in line 1 of .*bad\\.lab is out of range"},
      // Each of these once read as a phone: reversed or empty spans, scores and times of 0.
      {"0 300000 a -1 ba\n500000 300000 b -2\n", "Line 2 of .*bad\\.lab .*: the span from 500000 to 300000 holds no frame"},
      {"300000 300000 a -1 ba\n", "Line 1 of .*bad\\.lab .*: the span from 300000 to 300000 holds no frame"},
      {"0 300000 a abc ba\n", "Line 1 of .*bad\\.lab .*: the score \"abc\" is not a number"},
      {"0 300000 a nan ba\n", "Line 1 of .*bad\\.lab .*: the score \"nan\" is not a number"},
      {"0 3e5 a -1 ba\n", "Line 1 of .*bad\\.lab .*: the time \"3e5\" is not a whole number"},
      {"x 300000 a -1 ba\n", "Line 1 of .*bad\\.lab .*: the time \"x\" is not a whole number"},
  };
  for (const Case& c : cases) {
    const std::string file = dir.write("bad.lab", c.content);
    mlfClass mlf;
    EXPECT_THAT(fatalMessage([&] { mlf.labFileRead(file); }),
                ContainsRegex(std::string(c.message) + ".*\\(line [0-9]+ of mlfLabel\\)"))
        << c.content;
  }
  mlfClass mlf;
  EXPECT_THAT(fatalMessage([&] { mlf.labFileRead(dir.file("missing.lab")); }), ContainsRegex("Cannot open file"));
}

// ---- Label writers -----------------------------------------------------------------------

TEST_F(MlfLabelTest, WriteSylLevelLeavesOutSilAndEndsWithoutALineEnd) {
  mlfClass mlf = scoredRecord();
  sylInfo trailing;
  trailing.name = "sil";
  mlf.m_syl.push_back(trailing);
  mlf.writeSylLevel(dir.file("syl.mlf"));
  EXPECT_EQ(readFile(dir.file("syl.mlf")),
            "#!MLF!#\n"
            "\"This is the phone time generated by mlfClass::writeSylLevel().\"\n"
            "300000 800000 ba\n"
            ".");
  mlfClass empty;
  empty.writeSylLevel(dir.file("empty.mlf"));
  EXPECT_EQ(readFile(dir.file("empty.mlf")),
            "#!MLF!#\n\"This is the phone time generated by mlfClass::writeSylLevel().\"\n.");
}

TEST_F(MlfLabelTest, WritePhoneLevelForms) {
  const mlfClass mlf = scoredRecord();
  const std::string title = "\"This is the phone time generated by mlfClass::writePhoneLevel().\"";
  const std::string plain =
      "000000 300000 sil -7.5 sil\n"
      "300000 500000 b -12.25 ba\n"
      "500000 800000 a -20\n";
  const std::string scored =
      "000000\t300000\tsil#-1\t-7.5\tsil##-1\n"
      "300000\t500000\tb#90\t-12.25\tba#\xa4\x4b#87.5\n"
      "500000\t800000\ta#85\t-20\n";
  // Volumes are rounded to integers, halves away from zero.
  const std::string scoredWithVolumes =
      "000000\t300000\tsil#-1\t-7.5\tsil##-1#3_13\n"
      "300000\t500000\tb#90\t-12.25\tba#\xa4\x4b#87.5#61_-3_71\n"
      "500000\t800000\ta#85\t-20\n";
  struct Case {
    const char* what;
    std::function<void(const std::string&)> write;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"plain", [&](const std::string& f) { mlf.writePhoneLevel(f); }, plain},
      {"plain, short form false", [&](const std::string& f) { mlf.writePhoneLevel(f, false); }, plain},
      {"F", [&](const std::string& f) { mlf.writePhoneLevel(f, true, false, false); },
       "#!MLF!#\n" + title + "\n" + plain + "."},
      {"F, volumes need scores", [&](const std::string& f) { mlf.writePhoneLevel(f, true, false, true); },
       "#!MLF!#\n" + title + "\n" + plain + "."},
      {"S", [&](const std::string& f) { mlf.writePhoneLevel(f, false, true, false); }, kScoreHeader + scored},
      {"S V short form", [&](const std::string& f) { mlf.writePhoneLevel(f, true); },
       kScoreHeader + scoredWithVolumes},
      {"F S", [&](const std::string& f) { mlf.writePhoneLevel(f, true, true, false); },
       "#!MLF!#\n" + std::string(kScoreHeader) + title + "#86.25\n" + scored + "."},
      {"F S V", [&](const std::string& f) { mlf.writePhoneLevel(f, true, true, true); },
       "#!MLF!#\n" + std::string(kScoreHeader) + title + "#86.25\n" + scoredWithVolumes + "."},
  };
  for (const Case& c : cases) {
    const std::string file = dir.file("phone.mlf");
    c.write(file);
    EXPECT_EQ(readFile(file), c.expected) << c.what;
  }
}

TEST_F(MlfLabelTest, PlainPhoneLevelReadsBackAsLabels) {
  const mlfClass mlf = scoredRecord();
  mlf.writePhoneLevel(dir.file("plain.lab"));
  mlfClass back;
  back.labFileRead(dir.file("plain.lab"));
  ASSERT_EQ(back.m_syl.size(), 2u);
  EXPECT_EQ(back.m_syl[1].name, "ba");
  EXPECT_EQ(spanOf(back.m_syl[1].frameId), (span{3, 7}));
  EXPECT_EQ(back.m_syl[1].phone[1].cumLogLike, -20.0f);
}

TEST_F(MlfLabelTest, ScoredPhoneLevelRoundTrips) {
  for (bool withVolume : {false, true}) {
    const mlfClass mlf = scoredRecord();
    mlf.writePhoneLevel(dir.file("scored.mlf"), true, true, withVolume);
    mlfClass back;
    back.m_syl.resize(5);  // replaced
    back.phoneLevelRead(dir.file("scored.mlf"));
    EXPECT_EQ(back.m_timberScore, 86.25f);
    ASSERT_EQ(back.m_syl.size(), mlf.m_syl.size());
    for (size_t i = 0; i < mlf.m_syl.size(); ++i) {
      const sylInfo& a = mlf.m_syl[i];
      const sylInfo& b = back.m_syl[i];
      EXPECT_EQ(b.name, a.name);
      EXPECT_EQ(b.text, a.text);
      EXPECT_EQ(b.timberScore, a.timberScore);
      EXPECT_EQ(spanOf(b.frameId), spanOf(a.frameId));
      EXPECT_EQ(b.logProb, a.phone.back().cumLogLike);
      ASSERT_EQ(b.phone.size(), a.phone.size());
      for (size_t j = 0; j < a.phone.size(); ++j) {
        EXPECT_EQ(b.phone[j].name, a.phone[j].name);
        EXPECT_EQ(spanOf(b.phone[j].frameId), spanOf(a.phone[j].frameId));
        EXPECT_EQ(b.phone[j].timberScore, a.phone[j].timberScore);
        EXPECT_EQ(b.phone[j].cumLogLike, a.phone[j].cumLogLike);
      }
    }
  }
}

TEST_F(MlfLabelTest, PhoneLevelReadRejectsMalformedLines) {
  const std::string head = "#!MLF!#\n% score=1\n\"title\"#50\n";
  struct Case {
    std::string content;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"#!MLF!#\n", "has no title line"},
      {"#!MLF!#\n\"title\"\n", "Line 2 of .*: no '#' before the score"},
      {head + "0\t300000\tsil#-1\n", "Line 4 of .*: fewer than 4 fields"},
      {head + "0\t300000\tsil#-1\t-7.5\tsil#x\n", "Line 4 of .*: the node field is not name#text#score"},
      {head + "0\t300000\tsil#-1\t-7.5\n", "Line 4 of .*: the first label has no node name"},
      {head + "0\t300000\tsil#-1\t-7.5\tsil##-1\n300000\t500000\tb\t-9\n",
       "Line 5 of .*: the phone field is not name#score"},
      {"#!MLF!#\n\"title\"#abc\n", "Line 2 of .*: the score \"abc\" is not a number"},
      {head + "0\t300000\tsil#-1\t-7.5\tsil##x\n", "Line 4 of .*: the score \"x\" is not a number"},
      {head + "0\t300000\tsil#y\t-7.5\tsil##-1\n", "Line 4 of .*: the score \"y\" is not a number"},
      {head + "0\t300000\tsil#-1\t-7.5z\tsil##-1\n", "Line 4 of .*: the score \"-7.5z\" is not a number"},
      {head + "300000\t0\tsil#-1\t-7.5\tsil##-1\n", "Line 4 of .*: the span from 300000 to 0 holds no frame"},
  };
  for (const Case& c : cases) {
    const std::string file = dir.write("bad.mlf", c.content);
    mlfClass mlf;
    EXPECT_THAT(fatalMessage([&] { mlf.phoneLevelRead(file); }),
                ContainsRegex(std::string(c.message) + ".*\\(line [0-9]+ of mlfLabel\\)"))
        << c.content;
  }
}

// A record with competing models: phones outside the segmentation, silence phones and
// unscored nodes are left out of both reports.
mlfClass rankedRecord() {
  mlfClass mlf = scoredRecord();
  mlf.m_phoneFrameNum = 5;
  phoneInfo& b = mlf.m_syl[1].phone[0];
  b.competingModelIndex = {1, 2};
  b.competingModelLogLike = {-30.5f, -41.25f};
  b.rank = 1;
  b.rankRatio = 1.0f;
  b.timeRatio = 0.4f;
  b.timberScores[0] = 90.0f;
  b.timberScores[1] = 91.5f;
  b.timberScores[2] = 92.0f;
  phoneInfo& a = mlf.m_syl[1].phone[1];
  a.competingModelIndex = {2, 0};
  a.competingModelLogLike = {-50.0f, -51.0f};
  a.rank = 2;
  a.rankRatio = 0.5f;
  a.timeRatio = 0.6f;
  mlf.m_syl[1].timberScores[0] = 80.0f;
  mlf.m_syl[1].timberScores[1] = 87.5f;
  mlf.m_syl[1].timberScores[2] = 70.25f;
  phoneInfo silPhone;
  silPhone.name = "sil+b";
  silPhone.competingModelIndex = {3};
  silPhone.competingModelLogLike = {-1.0f};
  phoneInfo outside = silPhone;
  outside.name = "c";
  outside.frameId[0] = -1;
  mlf.m_syl[1].phone.push_back(silPhone);
  mlf.m_syl[1].phone.push_back(outside);
  mlf.m_syl[0].phone[0].competingModelIndex = {3};  // in a sil node
  mlf.m_syl[0].phone[0].competingModelLogLike = {-2.0f};
  return mlf;
}

TEST_F(MlfLabelTest, CompetingModelWriteListsThreeLinesPerScoredPhone) {
  const mlfClass mlf = rankedRecord();
  mlf.competingModelWrite(mac, dir.file("comp.txt"));
  EXPECT_EQ(readFile(dir.file("comp.txt")),
            "% \xae\xe6\xa6\xa1\xbb\xa1\xa9\xfa\xa1\x47\xa8\x43\xa4\x54\xa6\x43\xac\xb0\xa4\x40\xad\xd3\xb3\xe6\xa6\xec\n"
            "% \xb2\xc4\xa4\x40\xa6\x43\xac\x4f modelName, modelIndex, frameNum\n"
            "% \xb2\xc4\xa4\x47\xa6\x43\xac\x4f compModelIndex1, compModelIndex2, ...\n"
            "% \xb2\xc4\xa4\x54\xa6\x43\xac\x4f logProb1, logProb2, ...\n"
            "b 1 2\n"
            "1 2 \n"
            "-30.5 -41.25 \n"
            "a 0 3\n"
            "2 0 \n"
            "-50 -51 \n");
}

TEST_F(MlfLabelTest, ScoreReportWriteShowsPhonesScoresAndDiscounts) {
  const mlfClass mlf = rankedRecord();
  mlf.scoreReportWrite(mac, dir.file("report.txt"));
  EXPECT_EQ(readFile(dir.file("report.txt")),
            "1: ba [3 7] (80, 87.5, 70.25)\n"
            "\t0: b [3 4]\n"
            "\t\t1: b(-30.5) 2: c(-41.25) \n"
            "\t\tComp. model index: 1 2 \n"
            "\t\tRank ratio: 1/2=1\n"
            "\t\tTime weight: 2/5=0.4%\n"
            "\t\tScore: 90, 91.5, 92\n"
            "\t1: a [5 7]\n"
            "\t\t2: c(-50) 0: a(-51) \n"
            "\t\tComp. model index: 2 0 \n"
            "\t\tRank ratio: 2/2=0.5\n"
            "\t\tTime weight: 3/5=0.6%\n"
            "\t\tScore: -1, -1, -1\n"
            "\n"
            "\xad\xec\xa9\x6c\xa4\xc0\xbc\xc6 = 80, 88, 70\n"
            "\xad\xd7\xa5\xbf\xa4\xc0\xbc\xc6 = 79.5, 86.25, 69\n"
            "\n"
            "m_discountFactor[0] = 0\xa1\x5d\xb8\xf4\xae\x7c\xa8\xab\xa4\xa3\xa7\xb9\xa5\xfe\xa1\x5e\n"
            "m_discountFactor[1] = 1\xa1\x5d\xb9\x4c\xb5\x75\xad\xb5\xb8\x60\xaa\xba\xad\xd3\xbc\xc6\xa1\x5e\n"
            "m_discountFactor[2] = 0\xa1\x5d\xb9\x4c\xaa\xf8\xad\xb5\xb8\x60\xaa\xba\xad\xd3\xbc\xc6\xa1\x5d\xb6\x57"
            "\xb9\x4c"
            "0.7\xac\xed\xa1\x5e\xa1\x5e\n"
            "m_discountFactor[3] = 2\xa1\x5d\xb6\x57\xb9\x4c"
            "0.25\xac\xed\xaa\xbasp\xaa\xba\xad\xd3\xbc\xc6\xa1\x5e\n"
            "m_discountFactor[4] = 0\xa1\x5d\xb9\xea\xbb\xda\xad\xb5\xb8\x60\xad\xd3\xbc\xc6\xa9\x4d\xa7\xe4\xa5\x58"
            "\xa8\xd3\xad\xb5\xb8\x60\xad\xd3\xbc\xc6\xaa\xba\xae\x74\xb2\xa7\xa1\x5e\n"
            "m_discountFactor[5] = 0\xa1\x5d\xb3\xcc\xaa\xf8\xa9\x4d\xb3\xcc\xb5\x75\xad\xb5\xb8\x60\xaa\xba\xa4\xf1"
            "\xad\xc8\xa4\x6a\xa9\xf3"
            "4\xa1\x5e\n"
            "m_discountFactor[6] = 1\xa1\x5dsil\xaa\xba\xad\xb5\xb6\x71\xb9\x4c\xa4\x6a\xa1\x5e\n");
}

TEST_F(MlfLabelTest, ScoreReportWriteRejectsUnknownCompetingModels) {
  mlfClass mlf = rankedRecord();
  mlf.m_syl[1].phone[0].competingModelIndex = {1, 9};
  EXPECT_THAT(fatalMessage([&] { mlf.scoreReportWrite(mac, dir.file("report.txt")); }),
              ContainsRegex("Model index 9 outside the 4 models"));
  mlf.m_syl[1].phone[0].competingModelIndex = {1};
  EXPECT_THAT(fatalMessage([&] { mlf.scoreReportWrite(mac, dir.file("report.txt")); }),
              ContainsRegex("1 competing models but 2 log-likelihoods"));
}

TEST_F(MlfLabelTest, WritersReportAFullDiskInsteadOfACutFile) {
  const mlfClass scored = scoredRecord();
  const mlfClass ranked = rankedRecord();
  const std::function<void()> writers[] = {
      [&] { scored.writeSylLevel("/dev/full"); },
      [&] { scored.writePhoneLevel("/dev/full"); },
      [&] { scored.writePhoneLevel("/dev/full", true, true, true); },
      [&] { ranked.competingModelWrite(mac, "/dev/full"); },
      [&] { ranked.scoreReportWrite(mac, "/dev/full"); },
  };
  for (const auto& write : writers)
    EXPECT_THAT(expectFatal(write), testing::MatchesRegex("Cannot write file /dev/full: No space left on device \\(line [0-9]+ of utility\\)"));
}
