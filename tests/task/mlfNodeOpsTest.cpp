#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>

#include "dictClass.h"
#include "fatalCatch.h"
#include "mlfClass.h"
#include "recogParam.h"
#include "testFiles.h"

using namespace tulim;
using testing::ElementsAre;
using testing::MatchesRegex;
using tulim::test::scratchDir;
using tulim::test::fatalMessage;

namespace {

// Nodes of the given names, each over the given inclusive frame span, without phones.
mlfClass nodesOf(const strVec& names, const std::vector<std::pair<int, int>>& spans = {}) {
  mlfClass mlf;
  for (size_t i = 0; i < names.size(); ++i) {
    sylInfo syl;
    syl.name = names[i];
    if (i < spans.size()) {
      syl.frameId[0] = spans[i].first;
      syl.frameId[1] = spans[i].second;
    }
    mlf.m_syl.push_back(syl);
  }
  return mlf;
}

phoneInfo phoneOf(const std::string& name, int first, int last, unsigned char pitched = 1) {
  phoneInfo phone;
  phone.name = name;
  phone.frameId[0] = first;
  phone.frameId[1] = last;
  phone.pitched = pitched;
  return phone;
}

strVec textsOf(const mlfClass& mlf) {
  strVec texts;
  for (const sylInfo& syl : mlf.m_syl) texts.push_back(syl.text);
  return texts;
}

}  // namespace

// ---- Node texts ---------------------------------------------------------------------------

TEST(SylTextSet, HandsTheUnitsToTheScoredNodesInTurn) {
  struct Case {
    const char* language;
    std::string text;
    int startAnywhere;
    strVec nodes;
    strVec before;  // texts of the segmentation
    strVec after;
  } cases[] = {
      {"chinese", "\xa7\x41\xa6\x6e", 0, {"sil", "ni", "hao", "sil"}, {"", "", "", ""}, {"", "\xa7\x41", "\xa6\x6e", ""}},
      // Fewer units than nodes: the rest get the empty text; a stale text is cleared.
      {"chinese", "\xa7\x41", 0, {"sil", "ni", "sp", "hao"}, {"x", "x", "x", "x"}, {"", "\xa7\x41", "", ""}},
      {"chinese", "\xa7\x41\xa6\x6e\xa7\x41", 0, {"ni", "filler", "hao"}, {"", "", ""}, {"\xa7\x41", "", "\xa6\x6e"}},
      {"english", "hello world", 0, {"sil", "hello", "sp", "world", "fillerV"}, {"", "", "", "", ""},
       {"", "hello", "", "world", ""}},
      {"japanese", "\x82\xa0\x82", 0, {"a", "fillerC", "i", "u", "e"}, {"", "", "", "", ""}, {"X", "", "X", "X", ""}},
      {"taiwanese", "li2 ho2", 0, {"li", "ho"}, {"x", "y"}, {"", ""}},
      {"chinese", "\xa7\x41\xa6\x6e", 1, {"sil", "ni", "hao", "sp"}, {"s", "\xa6\x6e", "\xa7\x41", "p"},
       {"", "\xa6\x6e", "\xa7\x41", ""}},
  };
  for (const Case& c : cases) {
    mlfClass mlf = nodesOf(c.nodes);
    for (size_t i = 0; i < c.before.size(); ++i) mlf.m_syl[i].text = c.before[i];
    recogParam param;
    param.language = c.language;
    param.addLink4startAnywhere = c.startAnywhere;
    mlf.sylTextSet(c.text, param);
    EXPECT_EQ(textsOf(mlf), c.after) << c.language << " " << c.text;
  }
}

// ---- Voicing marks ------------------------------------------------------------------------

TEST(QiYinApply, MarksSilencesAndListedBaseNamesUnvoiced) {
  scratchDir dir;
  recogParam param;
  param.qiYinFile = dir.write("qiyin.txt", "p\n\nk\r\n%t\n");
  dictClass dict;
  dict.m_qiYinList = {"a"};
  mlfClass mlf = nodesOf({"sil", "pa", "ka"});
  mlf.m_syl[0].phone = {phoneOf("sil", 0, 4, 1)};
  mlf.m_syl[1].phone = {phoneOf("sil+p", 5, 5), phoneOf("p+a", 6, 8, 1), phoneOf("a", 9, 12, 0), phoneOf("sp", 13, 13)};
  mlf.m_syl[2].phone = {phoneOf("k+a", 14, 16), phoneOf("pa", 17, 18, 0), phoneOf("x-p+a", 19, 20, 0),
                        phoneOf("%t", 21, 22)};
  mlf.qiYinApply(dict, param);

  // Lines are kept whole, a '%' line included; the list is replaced.
  EXPECT_THAT(dict.m_qiYinList, ElementsAre("p", "k", "%t"));
  std::vector<int> pitched;
  for (const sylInfo& syl : mlf.m_syl)
    for (const phoneInfo& phone : syl.phone) pitched.push_back(phone.pitched);
  EXPECT_THAT(pitched, ElementsAre(0, 0, 0, 1, 0, 0, 1, 1, 0));
}

TEST(QiYinApply, RequiresTheFile) {
  scratchDir dir;
  dictClass dict;
  mlfClass mlf = nodesOf({"pa"});
  for (const std::string& name : {std::string(), dir.file("missing.txt")}) {
    recogParam param;
    param.qiYinFile = name;
    EXPECT_NE(fatalMessage([&] { mlf.qiYinApply(dict, param); }), "") << name;
  }
}

// ---- Volumes and frame shift ---------------------------------------------------------------

TEST(PhoneVolumeSet, TakesTheFrameVolumesInsideTheFrameCount) {
  std::vector<int> volume(100);
  for (int f = 0; f < 100; ++f) volume[f] = 1000 + f;
  mlfClass mlf = nodesOf({"sil", "a", "b", "sil"}, {{0, 2}, {3, 97}, {98, 101}, {102, 110}});
  mlf.m_syl[0].volume = {5.0f, 6.0f, 7.0f, 8.0f};
  mlf.m_syl[3].volume = {1.0f};
  mlf.phoneVolumeSet(volume.data(), 100);
  EXPECT_THAT(mlf.m_syl[0].volume, ElementsAre(1000.0f, 1001.0f, 1002.0f));
  EXPECT_EQ(mlf.m_syl[1].volume.size(), 95u);
  EXPECT_EQ(mlf.m_syl[1].volume.back(), 1097.0f);
  EXPECT_THAT(mlf.m_syl[2].volume, ElementsAre(1098.0f, 1099.0f));
  EXPECT_TRUE(mlf.m_syl[3].volume.empty());

  // Frames before the first are left out the same way.
  mlfClass early = nodesOf({"a"}, {{-2, 1}});
  early.phoneVolumeSet(volume.data(), 100);
  EXPECT_THAT(early.m_syl[0].volume, ElementsAre(1000.0f, 1001.0f));
}

TEST(FrameShift, MovesNodesAndPhonesAlike) {
  mlfClass mlf = nodesOf({"a", "b"}, {{0, 9}, {10, 14}});
  mlf.m_syl[0].phone = {phoneOf("a1", 0, 4), phoneOf("a2", 5, 9)};
  mlf.m_syl[1].phone = {phoneOf("b", 10, 14)};
  mlf.frameShift(12);
  EXPECT_THAT(mlf.m_syl[0].frameId, ElementsAre(12, 21));
  EXPECT_THAT(mlf.m_syl[0].phone[0].frameId, ElementsAre(12, 16));
  EXPECT_THAT(mlf.m_syl[0].phone[1].frameId, ElementsAre(17, 21));
  EXPECT_THAT(mlf.m_syl[1].frameId, ElementsAre(22, 26));
  EXPECT_THAT(mlf.m_syl[1].phone[0].frameId, ElementsAre(22, 26));
  mlf.frameShift(-12);
  EXPECT_THAT(mlf.m_syl[0].frameId, ElementsAre(0, 9));
  EXPECT_THAT(mlf.m_syl[1].phone[0].frameId, ElementsAre(10, 14));
}

// ---- Duration similarity -------------------------------------------------------------------

TEST(DurationSimilarity, WeighsDurationRatiosByTheSecondRecord) {
  // Lengths 5, 10, 20, 5 and 7, 20, 20, 9.
  const mlfClass a = nodesOf({"sil", "x", "y", "sil"}, {{0, 4}, {5, 14}, {15, 34}, {35, 39}});
  const mlfClass b = nodesOf({"sil", "x", "y", "sil"}, {{0, 6}, {7, 26}, {27, 46}, {47, 55}});
  EXPECT_EQ(mlfClass::durationSimilarity(a, a), 1.0f);
  EXPECT_EQ(mlfClass::durationSimilarity(a, b), 0.5f * 0.5f + 0.5f * 1.0f);
  EXPECT_FLOAT_EQ(mlfClass::durationSimilarity(b, a), 10.0f / 30.0f * 0.5f + 20.0f / 30.0f * 1.0f);

  // Only a's last node decides whether the last position is left out.
  mlfClass noSil = a;
  noSil.m_syl[3].name = "z";
  EXPECT_FLOAT_EQ(mlfClass::durationSimilarity(noSil, b), 20.0f / 49 * 0.5f + 20.0f / 49 + 9.0f / 49 * 5.0f / 9);
  // The longer record's extra nodes are not compared.
  mlfClass longer = b;
  longer.m_syl.push_back(longer.m_syl[1]);
  EXPECT_EQ(mlfClass::durationSimilarity(a, longer), mlfClass::durationSimilarity(a, b));

  // A span whose frame count does not fit an int still has its length.
  const mlfClass huge = nodesOf({"sil", "x", "y"}, {{0, 4}, {-2000000000, 2000000000}, {0, 999999999}});
  EXPECT_FLOAT_EQ(mlfClass::durationSimilarity(huge, a), 10.0f / 30 * 10.0f / 4000000001.0f + 20.0f / 30 * 20.0f / 1e9f);
  EXPECT_FLOAT_EQ(mlfClass::durationSimilarity(huge, huge), 1.0f);
}

TEST(DurationSimilarity, IsZeroWithoutAPositionToCompare) {
  const mlfClass one = nodesOf({"x"}, {{0, 4}});
  const mlfClass twoSil = nodesOf({"x", "sil"}, {{0, 4}, {5, 9}});
  const mlfClass none;
  EXPECT_EQ(mlfClass::durationSimilarity(one, one), 0.0f);
  EXPECT_EQ(mlfClass::durationSimilarity(twoSil, twoSil), 0.0f);
  EXPECT_EQ(mlfClass::durationSimilarity(none, twoSil), 0.0f);
}

// ---- Spectral boundary of an unvoiced phone ------------------------------------------------

namespace {

constexpr int BOUNDARY_FRAME = 64;  // frames of 64 samples, hop 32
constexpr int BOUNDARY_OVERLAP = 32;

// Silence, then a loud tone from sample toneStart on.
std::vector<int> toneAfter(int toneStart, int length) {
  std::vector<int> wave(static_cast<size_t>(length), 0);
  for (int i = toneStart; i < length; ++i) wave[i] = static_cast<int>(std::lround(8000.0 * std::sin(i * 0.7)));
  return wave;
}

}  // namespace

TEST(SpectrogramBoundarySet, MovesTheEndOfAnUnvoicedSecondPhoneToTheSpectralChange) {
  struct Case {
    const char* what;
    std::vector<phoneInfo> phones;
    int toneFrame;  // first whole tone frame, counted from phone 1's first frame
    int end1, begin2;
  } cases[] = {
      // Frame 3 of the span is silent and frame 5 whole tone: the largest change is at 3.
      {"at the change", {phoneOf("s", 0, 9), phoneOf("p", 10, 19, 0), phoneOf("a", 20, 29)}, 5, 13, 14},
      {"no change: 2 frames", {phoneOf("s", 0, 9), phoneOf("p", 10, 19, 0), phoneOf("a", 20, 29)}, 40, 12, 13},
      {"voiced phone 1 kept", {phoneOf("s", 0, 9), phoneOf("p", 10, 19, 1), phoneOf("a", 20, 29)}, 5, 19, 20},
      {"two phones kept", {phoneOf("s", 0, 9), phoneOf("p", 10, 29, 0)}, 5, 29, 29},
      // The change at 6 lies past the short phone 2, which keeps its last frame.
      {"phone 2 kept", {phoneOf("s", 0, 9), phoneOf("p", 10, 12, 0), phoneOf("a", 13, 14), phoneOf("n", 15, 29)},
       8, 13, 14},
      // A phone 2 that ends before it begins sets no limit, and its end is not measured in an int.
      {"corrupt phone 2", {phoneOf("s", 0, 9), phoneOf("p", 10, 19, 0), phoneOf("a", 20, INT_MIN), phoneOf("n", 20, 29)},
       5, 13, 14},
  };
  for (const Case& c : cases) {
    mlfClass mlf = nodesOf({"spa"}, {{0, 29}});
    mlf.m_syl[0].phone = c.phones;
    const std::vector<int> wave = toneAfter(32 * (10 + c.toneFrame), 1024);
    mlf.spectrogramBoundarySet(wave.data(), static_cast<int>(wave.size()), BOUNDARY_FRAME, BOUNDARY_OVERLAP);
    const std::vector<phoneInfo>& phones = mlf.m_syl[0].phone;
    EXPECT_EQ(phones[1].frameId[0], 10) << c.what;
    EXPECT_EQ(phones[1].frameId[1], c.end1) << c.what;
    if (phones.size() > 2) {
      EXPECT_EQ(phones[2].frameId[0], c.begin2) << c.what;
      EXPECT_EQ(phones[2].frameId[1], c.phones[2].frameId[1]) << c.what;
    }
    EXPECT_THAT(mlf.m_syl[0].frameId, ElementsAre(0, 29)) << c.what;
  }
}

TEST(SpectrogramBoundarySet, RejectsASpanBeyondTheWave) {
  mlfClass mlf = nodesOf({"spa"}, {{0, 29}});
  mlf.m_syl[0].phone = {phoneOf("s", 0, 9), phoneOf("p", 10, 19, 0), phoneOf("a", 20, 29)};
  const std::vector<int> wave = toneAfter(0, 991);  // the span ends at sample 32 * 29 + 63 = 991
  EXPECT_THAT(fatalMessage([&] { mlf.spectrogramBoundarySet(wave.data(), 991, BOUNDARY_FRAME, BOUNDARY_OVERLAP); }),
              MatchesRegex("Error: node 0 \\(spa\\) spans samples 320 to 991 outside the wave of 991 samples "
                           "\\(line [0-9]+ of mlfNodeOps\\)"));
  EXPECT_EQ(mlf.m_syl[0].phone[1].frameId[1], 19);
}
