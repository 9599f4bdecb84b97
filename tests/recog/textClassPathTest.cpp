#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "fatalCatch.h"
#include "textClass.h"

using namespace tulim;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using tulim::test::fatalMessage;
using tulim::test::quietFatalMessage;

namespace {

// Dictionary entries by syllable; ids are positions.
const strVec kSyls{"a", "b", "c", "d", "sil", "sp", "x", "y"};

dictClass pathDict() {
  dictClass dict;
  for (const std::string& s : kSyls) dict.m_pronDict.push_back(pronEntry{s, {0}});
  return dict;
}

// A zeroed candidate whose closed syllables are the given ones.
std::unique_ptr<arenaCandidate> candidateOf(const strVec& syls) {
  std::unique_ptr<arenaCandidate> c(new arenaCandidate());
  for (const std::string& s : syls) {
    c->sylId.push_back(static_cast<int>(std::find(kSyls.begin(), kSyls.end(), s) - kSyls.begin()));
    c->sylNum++;
  }
  return c;
}

recogParam params(int mode, const char* function = "recog") {
  recogParam p;
  p.comparisonMode = mode;
  p.function = function;
  p.language = "chinese";
  return p;
}

struct pathResult {
  std::string path;
  std::vector<int> textIndex, lineIndex;
  int begin, num;
  std::string error;
};

pathResult mapPath(const strVec& sylVs, const strVec& path, const recogParam& param) {
  textClass text;
  text.m_sylVs = sylVs;
  dictClass dict = pathDict();
  auto candidate = candidateOf(path);
  arenaCandidate* order[1] = {candidate.get()};
  pathResult r;
  r.error = quietFatalMessage([&] { r.path = text.pinyin2text(0, order, dict, r.textIndex, r.lineIndex, param); });
  r.begin = text.m_matchSylBegin;
  r.num = text.m_matchSylNum;
  return r;
}

}  // namespace

TEST(Pinyin2text, MatchesLinesUnderEachComparisonMode) {
  const strVec lines{"a-b\t0", "a-b-c\t1"};
  recogParam assessSoft = params(1, "assess");
  assessSoft.usePaddedSoftSil = 1;
  recogParam netType1 = params(1);
  netType1.netType = 1;
  recogParam startAnywhere = params(1, "assess");
  startAnywhere.sylFile = "syl.txt";
  startAnywhere.addLink4startAnywhere = 1;
  struct Case {
    const char* what;
    strVec sylVs;
    strVec path;
    recogParam param;
    std::string result;
    std::vector<int> textIndex, lineIndex;
  } cases[] = {
      {"equal line wins", lines, {"sil", "a", "b", "sil"}, params(1), "a-b", {0}, {0}},
      {"prefix", lines, {"a"}, params(1), "a", {0, 1}, {0, 1}},
      {"containment", lines, {"b"}, params(2), "b", {0, 1}, {0, 1}},
      {"containment of both", lines, {"a", "b"}, params(2), "a-b", {0, 1}, {0, 1}},
      {"soft silences of assess", lines, {"a", "sil", "b"}, assessSoft, "a-b", {0}, {0}},
      {"inner sil counts in recog", lines, {"a", "sil", "b"}, params(1), "", {}, {}},
      {"two lines of one text", {"a-b\t3", "x\t1", "a-b\t3"}, {"a", "b"}, params(1), "a-b", {3}, {0, 2}},
      {"sausage without syllable file", lines, {"sil", "x", "sp", "y", "sil"}, netType1, "x-y", {0}, {-1}},
      {"contained only with start anywhere", lines, {"b", "c"}, startAnywhere, "b-c", {1}, {1}},
  };
  for (const Case& c : cases) {
    pathResult r = mapPath(c.sylVs, c.path, c.param);
    if (c.lineIndex.empty()) {
      EXPECT_THAT(r.error, HasSubstr("Cannot find sylPath within m_sylVs")) << c.what;
      continue;
    }
    EXPECT_EQ(r.error, "") << c.what;
    EXPECT_EQ(r.path, c.result) << c.what;
    EXPECT_EQ(r.textIndex, c.textIndex) << c.what;
    EXPECT_EQ(r.lineIndex, c.lineIndex) << c.what;
    EXPECT_EQ(r.begin, -1) << c.what;
  }
}

TEST(Pinyin2text, LongerPathMatchesNoLine) {
  pathResult r = mapPath({"a-b\t0", "a-b-c\t1"}, {"a", "b", "c", "d"}, params(1));
  EXPECT_THAT(r.error, testing::MatchesRegex("Error in textClass::pinyin2text\\(\\): Cannot find sylPath within "
                                            "m_sylVs \\(line [0-9]+ of file text\\)"));
}

TEST(Pinyin2text, AllSilencePathMatchesNothing) {
  // Without the guard, "-" would begin every line and report text 0 as recognised.
  const char* const noText =
      "Error in textClass::pinyin2text\\(\\): None of the candidate texts was found in the wave: the best path "
      "\"[a-zA-Z-]*\" holds no syllable \\(line [0-9]+ of file text\\)";
  for (int mode : {1, 2, 3}) {
    pathResult r = mapPath({"a-b\t0"}, {"sil", "sil"}, params(mode));
    EXPECT_THAT(r.error, testing::MatchesRegex(noText)) << mode;
  }
  for (const strVec& path : {strVec{"sil"}, strVec{"sil", "sp", "sil"}}) {
    pathResult r = mapPath({"a-b\t0"}, path, params(1));
    EXPECT_THAT(r.error, testing::MatchesRegex(noText)) << path.size();
  }
}

TEST(Pinyin2text, AssessmentOfWhatWasNotSaidReportsItsTextWithoutLine) {
  struct Case {
    const char* what;
    strVec path;
    int mode;
    std::string result;
  } cases[] = {
      {"silence", {"sil", "sil"}, 1, ""},
      {"silence in mode 3", {"sil", "sil"}, 3, "sil-sil"},
      {"a path of no line", {"sil", "c", "d", "sil"}, 1, "c-d"},
  };
  for (const Case& c : cases) {
    pathResult r = mapPath({"a-sp-b\t0"}, c.path, params(c.mode, "assess"));
    EXPECT_EQ(r.error, "") << c.what;
    EXPECT_EQ(r.path, c.result) << c.what;
    EXPECT_THAT(r.textIndex, ElementsAre(0)) << c.what;
    EXPECT_TRUE(r.lineIndex.empty()) << c.what;
  }
}

TEST(Pinyin2text, ModeThreeFindsTheStretchOfThePath) {
  // Fillers and silences stay in the path, so the match position is a node index.
  pathResult r = mapPath({"q\t0", "x-y\t2", "b\t1"}, {"sil", "a", "b", "x", "y", "sil"}, params(3));
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.path, "sil-a-b-x-y-sil");
  EXPECT_THAT(r.lineIndex, ElementsAre(1, 2));
  EXPECT_THAT(r.textIndex, ElementsAre(1, 2));
  EXPECT_EQ(r.begin, 3);  // the first match (x-y) begins at node 3
  EXPECT_EQ(r.num, 2);
}

TEST(Pinyin2text, FatalCases) {
  pathResult zero = mapPath({"a\t0"}, {}, params(1));
  EXPECT_EQ(zero.error, "The best syllable path has zero length!");
  pathResult unknown = mapPath({"a\t0"}, {"a"}, params(7));
  EXPECT_EQ(unknown.error, "Unknown comparisonMode = 7");

  // A count past the candidate's arrays is refused before any syllable is read.
  textClass text;
  text.m_sylVs = {"a\t0"};
  dictClass dict = pathDict();
  auto candidate = candidateOf({"a"});
  candidate->sylNum = MAX_SYL_NUM + 1;
  arenaCandidate* order[1] = {candidate.get()};
  std::vector<int> textIndex, lineIndex;
  const std::string error = fatalMessage([&] { text.pinyin2text(0, order, dict, textIndex, lineIndex, params(1)); });
  EXPECT_THAT(error, testing::MatchesRegex("Candidate with sylNum = 1001 outside 0 to MAX_SYL_NUM = 1000 "
                                           "\\(line [0-9]+ of text\\)"));
}
