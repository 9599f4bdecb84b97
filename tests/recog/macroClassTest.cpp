#include "macroClass.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "binaryImage.h"
#include "fatalCatch.h"
#include "modelSetFixture.h"
#include "testFiles.h"
#include "utility.h"
#include "workerPool.h"

using namespace tulim;
using tulim::test::envScope;
using tulim::test::readFile;
using tulim::test::scratchDir;
using testing::MatchesRegex;
using tulim::test::expectFatal;

namespace {

const hmmModel& byName(const macroClass& set, const std::string& name) {
  for (const hmmModel& model : set.MMF().model)
    if (model.str == name) return model;
  throw std::runtime_error("no model " + name);
}

// " v v ... v" with 13 values, the first one replaced by first when given.
std::string vec13(const std::string& v, const std::string& first = "") {
  std::string text;
  for (int d = 0; d < 13; d++) text += " " + (d == 0 && !first.empty() ? first : v);
  return text + "\n";
}

std::string gaussian(const std::string& mean, const std::string& var, const std::string& gconst,
                     const std::string& firstVar = "") {
  std::string text = "<MEAN> 13\n" + vec13(mean) + "<VARIANCE> 13\n" + vec13(var, firstVar);
  if (!gconst.empty()) text += "<GCONST> " + gconst + "\n";
  return text;
}

// Every field that the image and the text carry, compared exactly.
void expectSameModels(const macroClass& a, const macroClass& b) {
  ASSERT_EQ(a.MMF().modelNum, b.MMF().modelNum);
  ASSERT_EQ(a.MMF().streamNum, b.MMF().streamNum);
  for (int s = 0; s < a.MMF().streamNum; s++) EXPECT_EQ(a.MMF().streamWidth[s], b.MMF().streamWidth[s]);
  for (size_t i = 0; i < a.MMF().model.size(); i++) {
    const hmmModel& x = a.MMF().model[i];
    const hmmModel& y = b.MMF().model[i];
    SCOPED_TRACE(x.str);
    EXPECT_EQ(x.str, y.str);
    ASSERT_EQ(x.stateNum, y.stateNum);
    for (int k = 0; k < x.stateNum - 2; k++) {
      for (int s = 0; s < a.MMF().streamNum; s++) {
        const hmmStream& p = x.state[k].stream[s];
        const hmmStream& q = y.state[k].stream[s];
        ASSERT_EQ(p.mixtureNum, q.mixtureNum);
        for (int m = 0; m < p.mixtureNum; m++) {
          EXPECT_EQ(p.mixture[m].mixtureWeight, q.mixture[m].mixtureWeight);
          EXPECT_EQ(p.mixture[m].gconst, q.mixture[m].gconst);
          for (int d = 0; d < MAX_PARAM_NUM; d++) {
            EXPECT_EQ(p.mixture[m].mean[d], q.mixture[m].mean[d]);
            EXPECT_EQ(p.mixture[m].variance[d], q.mixture[m].variance[d]);
          }
        }
      }
    }
    for (int r = 0; r < x.stateNum; r++)
      for (int c = 0; c < x.stateNum; c++) EXPECT_EQ(x.transProb[r][c], y.transProb[r][c]);
  }
}

class MacroClassTest : public testing::Test {
 protected:
  envScope m_noLog{"temp", nullptr};
  scratchDir m_dir;
};

// ---- The "mac" text reader ---------------------------------------------------------------

// Models out of name order; each state shows one of the shapes real files take.
std::string craftedText() {
  std::string t = "~o\n<STREAMINFO> 3 13 13 13\n<VECSIZE> 39<NULLD><MFCC_E_D_A><DIAGC>\r\n";
  t += "~h \"x-a+b\"\n<BEGINHMM>\n<NUMSTATES> 5\n";
  // <SWEIGHTS> alone: one mixture per stream without <MIXTURE> lines, except the optional one
  // of stream 3. Variance floors in stream 1.
  t += "<STATE> 2\n<SWEIGHTS> 3\n 0.5 0.25 0.25\n";
  t += "<STREAM> 1\n<MEAN> 13\n" + vec13("1") + "<VARIANCE> 13\n 0 2e31" + vec13("4").substr(4) +
       "<GCONST> 1.5\n";
  t += "<STREAM> 2\n" + gaussian("2", "1", "2.5");
  t += "<STREAM> 3\n<MIXTURE> 1 1.0\n" + gaussian("3", "1", "3.5");
  // Stream 1 lists 2 of 4 mixtures, one with <RCLASS>; stream 2 has no <GCONST>; stream 3 has
  // a zero weight and a mixture without <GCONST> followed by another one.
  t += "<STATE> 3\n<NUMMIXES> 4 1 2\n<SWEIGHTS> 3\n 1.0 1.0 1.0\n";
  t += "<STREAM> 1\n<MIXTURE> 1 0.75\n<RCLASS> 7\n" + gaussian("10", "1", "11.0");
  t += "<MIXTURE> 2 0.25\n" + gaussian("20", "2", "12.0");
  t += "<STREAM> 2\n" + gaussian("30", "1", "");
  t += "<STREAM> 3\n<MIXTURE> 1 0.0\n" + gaussian("40", "1", "");
  t += "<MIXTURE> 2 1.0\n" + gaussian("50", "1", "52.0");
  t += "<STATE> 4\n<NUMMIXES> 1 1 1\n<SWEIGHTS> 3\n 1 1 1\n";
  for (int s = 1; s <= 3; s++) t += strFormat("<STREAM> %d\n", s) + gaussian("60", "1", "61");
  t += "<TRANSP> 5\n 0 1 0 0 0\n 0 0.5 0.5 0 0\n 0 0 0.5 0.5 0\n 0 0 0 0.5 0.5\n 0 0 0 0 0\n<ENDHMM>\n";
  t += "~h \"a\"\n<BEGINHMM>\n<NUMSTATES> 3\n<STATE> 2\n<SWEIGHTS> 3\n 1 1 1\n";
  for (int s = 1; s <= 3; s++) t += strFormat("<STREAM> %d\n", s) + gaussian("70", "1", "71");
  t += "<TRANSP> 3\n 0 1 0\n 0 0.25 0.75\n 0 0 0\n<ENDHMM>\n";
  return t;
}

enum class field { weight, mean, variance, gconst, mixtureNum, streamWeight, trans, stateNum };

struct craftedCase {
  const char* what;
  const char* model;
  int state, stream, mixture;  // for trans: row, column
  field f;
  int d;
  float raw;
  float prepared;
};

float fieldValue(const macroClass& set, const craftedCase& c) {
  const hmmModel& model = byName(set, c.model);
  if (c.f == field::stateNum) return static_cast<float>(model.stateNum);
  if (c.f == field::trans) return model.transProb[c.state][c.stream];
  const hmmState& state = model.state[c.state - 2];
  if (c.f == field::streamWeight) return state.streamWeight[c.stream - 1];
  const hmmStream& stream = state.stream[c.stream - 1];
  if (c.f == field::mixtureNum) return static_cast<float>(stream.mixtureNum);
  const hmmMixture& mix = stream.mixture[c.mixture - 1];
  switch (c.f) {
    case field::weight: return mix.mixtureWeight;
    case field::mean: return mix.mean[c.d];
    case field::variance: return mix.variance[c.d];
    default: return mix.gconst;
  }
}

TEST_F(MacroClassTest, ReadsEveryShapeOfTheCraftedTextRawAndPrepared) {
  const std::string path = m_dir.write("crafted.mac", craftedText());
  const craftedCase cases[] = {
      {"three emitting states", "x-a+b", 0, 0, 0, field::stateNum, 0, 5, 5},
      {"one emitting state", "a", 0, 0, 0, field::stateNum, 0, 3, 3},
      {"stream weights as read", "x-a+b", 2, 2, 0, field::streamWeight, 0, 0.25f, 0.25f},
      {"<SWEIGHTS> alone: one mixture", "x-a+b", 2, 1, 0, field::mixtureNum, 0, 1, 1},
      {"<SWEIGHTS> alone: weight 1", "x-a+b", 2, 1, 1, field::weight, 0, 1, 0},
      {"mean", "x-a+b", 2, 1, 1, field::mean, 12, 1, 1},
      {"variance 0 floors to 1e-30", "x-a+b", 2, 1, 1, field::variance, 0, 0, 1e30f},
      {"variance above 1e30", "x-a+b", 2, 1, 1, field::variance, 1, 2e31f, 1e-30f},
      {"variance inverted", "x-a+b", 2, 1, 1, field::variance, 2, 4, 0.25f},
      {"gconst", "x-a+b", 2, 1, 1, field::gconst, 0, 1.5f, 1.5f},
      {"<MIXTURE> line in a one-mixture stream", "x-a+b", 2, 3, 1, field::mean, 0, 3, 3},
      {"... keeps its gconst", "x-a+b", 2, 3, 1, field::gconst, 0, 3.5f, 3.5f},
      {"<RCLASS> skipped", "x-a+b", 3, 1, 1, field::mean, 5, 10, 10},
      {"... weight", "x-a+b", 3, 1, 1, field::weight, 0, 0.75f, logf(0.75f)},
      {"declared 4 mixtures", "x-a+b", 3, 1, 0, field::mixtureNum, 0, 4, 4},
      {"second mixture", "x-a+b", 3, 1, 2, field::weight, 0, 0.25f, logf(0.25f)},
      {"second mixture variance", "x-a+b", 3, 1, 2, field::variance, 7, 2, 0.5f},
      {"unlisted mixture 3: dead", "x-a+b", 3, 1, 3, field::weight, 0, 0, LZERO},
      {"unlisted mixture 4: dead", "x-a+b", 3, 1, 4, field::weight, 0, 0, LZERO},
      {"unlisted mixture: zero variance floored", "x-a+b", 3, 1, 4, field::variance, 0, 0, 1e30f},
      {"one mixture without <GCONST>", "x-a+b", 3, 2, 1, field::gconst, 0, 0, 0},
      {"... read whole", "x-a+b", 3, 2, 1, field::mean, 12, 30, 30},
      {"zero weight", "x-a+b", 3, 3, 1, field::weight, 0, 0, LZERO},
      {"mixture without <GCONST> keeps its slot", "x-a+b", 3, 3, 1, field::mean, 0, 40, 40},
      {"... with gconst 0", "x-a+b", 3, 3, 1, field::gconst, 0, 0, 0},
      {"the next mixture follows", "x-a+b", 3, 3, 2, field::mean, 0, 50, 50},
      {"... with its own gconst", "x-a+b", 3, 3, 2, field::gconst, 0, 52, 52},
      {"<NUMMIXES> of 1", "x-a+b", 4, 3, 1, field::weight, 0, 1, 0},
      {"entry transition", "x-a+b", 0, 1, 0, field::trans, 0, 1, 0},
      {"self loop", "x-a+b", 1, 1, 0, field::trans, 0, 0.5f, logf(0.5f)},
      {"zero transition is dead", "x-a+b", 1, 3, 0, field::trans, 0, 0, LZERO},
      {"exit row", "x-a+b", 4, 4, 0, field::trans, 0, 0, LZERO},
      {"three-state model", "a", 1, 2, 0, field::trans, 0, 0.75f, logf(0.75f)},
  };
  macroClass raw, prepared;
  raw.macroRead(path, false);
  prepared.macroRead(path, true);
  for (const craftedCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FLOAT_EQ(fieldValue(raw, c), c.raw);
    EXPECT_FLOAT_EQ(fieldValue(prepared, c), c.prepared);
  }
  EXPECT_EQ(raw.MMF().modelNum, 2);
  EXPECT_EQ(raw.MMF().model[0].str, "x-a+b") << "raw reading keeps file order";
  EXPECT_EQ(prepared.MMF().model[0].str, "a");
  EXPECT_EQ(raw.MMF().header, "<VECSIZE> 39<NULLD><MFCC_E_D_A><DIAGC>");
  EXPECT_EQ(raw.MMF().streamNum, 3);
}

// Numbers of every form a text may hold read to the float that strtof gives: the short "%e"
// form on its fast path (halfway cases, the edges of that path) and the rest on the general
// one (a sign, hexadecimal, more digits, underflow, the largest float).
TEST_F(MacroClassTest, ReadsEveryNumberFormAsStrtofDoes) {
  const std::vector<std::string> numbers = {
      "7.570191e+00", "-2.548812e-02", "1.000000e+00", "-0.000000e+00", "9.999999e+09", "1.677722e+07",
      "16777216",     "16777217",      "33554431",     "1.0000001",     "0.1",          "-.5",
      "5.",           "1e10",          "1e-10",        "1e11",          "1e-11",        "+1.5",
      "0x1.8p1",      "1e-40",         "1e-50",        "3.4028235e38",  "1.17549435e-38", "123456789012",
      "2.0000001",    "8.3886085e6",   "0000000000001", "1E2",          "4.2e+003",     "-9.5367431640625e-07",
      "1e-400",       "1e+0038"};
  for (size_t k = 0; k < numbers.size(); k += 13) {
    SCOPED_TRACE(numbers[k]);
    std::string mean;
    std::vector<float> expected;
    for (size_t d = 0; d < 13; d++) {
      const std::string& n = numbers[std::min(k + d, numbers.size() - 1)];
      mean += " " + n;
      expected.push_back(strtof(n.c_str(), nullptr));
    }
    std::string text = "~o\n<STREAMINFO> 1 13\n<VECSIZE> 13<MFCC>\n~h \"m\"\n<BEGINHMM>\n<NUMSTATES> 3\n";
    text += "<STATE> 2\n<SWEIGHTS> 1\n 1.0\n<MEAN> 13\n" + mean + "\n<VARIANCE> 13\n" + vec13("1") + "<GCONST> 1\n";
    text += "<TRANSP> 3\n 0 1 0\n 0 0.5 0.5\n 0 0 0\n<ENDHMM>\n";
    macroClass set;
    set.macroRead(m_dir.write("numbers.mac", text), false);
    for (size_t d = 0; d < 13; d++) {
      const float got = set.MMF().model[0].state[0].stream[0].mixture[0].mean[d];
      EXPECT_EQ(memcmp(&got, &expected[d], sizeof got), 0) << numbers[std::min(k + d, numbers.size() - 1)];
    }
  }
}

TEST_F(MacroClassTest, SingleStreamFileHasNoStreamLines) {
  std::string text = "~o\n<STREAMINFO> 1 13\n<VECSIZE> 13<MFCC>\n~h \"m\"\n<BEGINHMM>\n<NUMSTATES> 3\n";
  text += "<STATE> 2\n<NUMMIXES> 2\n<SWEIGHTS> 1\n 1.0\n";
  text += "<MIXTURE> 1 0.5\n" + gaussian("1", "1", "1") + "<MIXTURE> 2 0.5\n" + gaussian("2", "1", "2");
  text += "<TRANSP> 3\n 0 1 0\n 0 0.5 0.5\n 0 0 0\n<ENDHMM>\n";
  macroClass set;
  set.macroRead(m_dir.write("one.mac", text), false);
  ASSERT_EQ(set.MMF().modelNum, 1);
  EXPECT_EQ(set.MMF().streamNum, 1);
  EXPECT_EQ(set.MMF().model[0].state[0].stream[0].mixtureNum, 2);
  EXPECT_EQ(set.MMF().model[0].state[0].stream[0].mixture[1].mean[0], 2.0f);
}

TEST_F(MacroClassTest, FixtureTextAndFixtureFillAgree) {
  const strVec names = {"sil", "a+b", "b+sil"};
  macroClass fromText, fromFill;
  fromText.macroRead(test::writeModelSet(m_dir, "fixture.mac", names), true);
  test::modelSetPrepare(fromFill, names);
  expectSameModels(fromText, fromFill);
  EXPECT_EQ(fromText.MMF().header, fromFill.MMF().header);
}

TEST_F(MacroClassTest, ByteOrderMarkBeforeTheTextIsDropped) {
  const strVec names = {"sil", "a+b"};
  const std::string text = test::modelSetText(names);
  macroClass plain, marked;
  plain.macroRead(m_dir.write("plain.mac", text), true);
  marked.macroRead(m_dir.write("marked.mac", "\xEF\xBB\xBF" + text), true);
  expectSameModels(plain, marked);
  EXPECT_EQ(plain.MMF().header, marked.MMF().header);
}

// The file and line a message of the text reader names, then its own source line.
#define IN_BAD_MAC " in \"[^\"]*bad.mac\" line [0-9]+ \\(line [0-9]+ of macro\\)"

TEST_F(MacroClassTest, RejectsMalformedTextWithItsMessage) {
  struct Case {
    const char* find;
    std::string replace;
    const char* message;  // regex
    const char* printed;
  };
  const Case cases[] = {
      {"<BEGINHMM>", "<BEGIN>", "modelId=0, str1=<BEGIN>, Cannot find \"<BEGINHMM>\"" IN_BAD_MAC, ""},
      {"<SWEIGHTS> 3\n 1.0 1.0 1.0\n<STREAM> 1", "<NUMMIXES> 33 1 1\n<SWEIGHTS> 3\n 1 1 1\n<STREAM> 1",
       "Error: mixtureNum=33 exceeds MAX_MIXTURE_NUM=32" IN_BAD_MAC, ""},
      {"<SWEIGHTS> 3\n 1.0 1.0 1.0\n<STREAM> 1", "<NUMMIXES> 0 1 1\n<SWEIGHTS> 3\n 1 1 1\n<STREAM> 1",
       "Error: mixtureNum=0 is below 1" IN_BAD_MAC, ""},
      {"<SWEIGHTS>", "<WEIGHTS>",
       "ERROR: fail to read <NUMMIXES> or <SWEIGHTS> at modelId = 0, stateId = 2" IN_BAD_MAC, ""},
      {"<STREAM> 1", "<STREEM> 1", "str1=<STREEM>, temp=1, Cannot find \"<STREAM>\"" IN_BAD_MAC,
       "modelId=0 (x), stateId=2\n"},
      {"<MEAN>", "<MEEN>", "Error: Cannot find \"<MEAN>\"" IN_BAD_MAC, ""},
      {"<MEAN> 13", "<MEAN> 12", "Error: MAX_PARAM_NUM = 13 != 12!" IN_BAD_MAC, ""},
      {"<VARIANCE> 13", "<VARIANCE> 14", "Error: MAX_PARAM_NUM = 13 != 14!" IN_BAD_MAC, ""},
      {"<VARIANCE>", "<VARIANCES>", "Cannot find \"<VARIANCE>\"" IN_BAD_MAC, ""},
      {"<VARIANCE> 13", "<VARIANCES> 12", "Error: MAX_PARAM_NUM = 13 != 12!" IN_BAD_MAC, ""},
      {"<VARIANCE> 13", "<VARIANCES> 13", "Cannot find \"<VARIANCE>\"" IN_BAD_MAC, ""},
      {"<VARIANCE> 13", "<VARIANCE> x", "Error: .*: the <VARIANCE> size must be an integer, found \"x\" .*", ""},
      {"<TRANSP>", "<TRANS>", "Error: Cannot find \"<TRANSP>\"" IN_BAD_MAC, ""},
      {"<ENDHMM>", "<END>", "Error: Not reading <ENDHMM>, modelId=0" IN_BAD_MAC, ""},
      {"<STREAMINFO> 3", "<STREAMINFO> 4", "Error: streamNum=4 of .* is outside 1..MAX_STREAM_NUM=3 .*", ""},
      {"<STREAMINFO> 3", "<STREAMINFO> 0", "Error: streamNum=0 of .* is outside 1..MAX_STREAM_NUM=3 .*", ""},
      {"3 13 13 13", "3 13 14 13", "Error: streamWidth=14 of .* is outside 1..MAX_PARAM_NUM=13 .*", ""},
      {"<NUMSTATES> 5", "<NUMSTATES> 6", "Error: stateNum=6 of model x is outside 3..MAX_STATE_NUM\\+2=5 .*", ""},
      {"<NUMSTATES> 5", "<NUMSTATES> 2", "Error: stateNum=2 of model x is outside 3..MAX_STATE_NUM\\+2=5 .*", ""},
      {"\"x\"", "\"" + std::string(50, 'n') + "\"", "Error: model name \"n+\" has 50 bytes, MAX_MODEL_NAME_LEN=50 allows 49 .*",
       ""},
      {"<VECSIZE>", "<VECSIZE> " + std::string(990, 'h'),
       "Error: header of .* has 10[0-9][0-9] bytes, MAX_HEADER_LEN=1000 allows 999 .*", ""},
      {"\"x\"", "x", "Error: .* line 4: the model name must be in double quotes .*", ""},
      {"\"x\"", "\"x", "Error: .* the model name has no closing double quote .*", ""},
      {"<GCONST> ", "<GCONST> nan ", "Error: .*: gconst must be a finite number, found \"nan\" \\(line [0-9]+ of macro\\)",
       ""},
      {"<MEAN> 13\n 0", "<MEAN> 13\n 0x", "Error: .*: mean must be a finite number, found \"0x\" .*", ""},
      {"<GCONST> ", "<GCONST> 1e-9999999999 ",
       "Error: .*bad.mac\" line [0-9]+: gconst has an exponent out of range, found \"1e-9999999999\" .*", ""},
      {"<MEAN> 13\n 0", "<MEAN> 13\n 2.5E+401",
       "Error: .*bad.mac\" line [0-9]+: mean has an exponent out of range, found \"2.5E\\+401\" .*", ""},
      {"<MEAN> 13\n 0", "<MEAN> 13\n 1e99999999999999999999",
       "Error: .*: mean has an exponent out of range, found \"1e99999999999999999999\" .*", ""},
      {"<NUMSTATES> 5", "<NUMSTATES> 5.0", "Error: .*: stateNum must be an integer, found \"5.0\" .*", ""},
      {"<ENDHMM>\n", "<ENDHMM>\njunk\n", "Error: .*: expected \"~h\" of model 1, found \"junk\" .*", ""},
      {"~h", "~hmm", "Error: .*: expected \"~h\" of model 0, found \"~hmm\" .*", ""},
  };
  const std::string good = test::modelSetText({"x"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.replace.substr(0, 40));
    std::string text = good;
    size_t at = text.find(c.find);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, strlen(c.find), c.replace);
    const std::string path = m_dir.write("bad.mac", text);
    macroClass set;
    testing::internal::CaptureStdout();
    std::string message = expectFatal([&] { set.macroRead(path, true); });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    EXPECT_THAT(message, MatchesRegex(c.message));
    EXPECT_EQ(set.MMF().modelNum, 0);
  }
}

// A name given twice would leave one of the two models unreachable by name; both the set in
// order and one out of order are refused. The messages name the file and the line.
TEST_F(MacroClassTest, RejectsModelNamesGivenTwiceAndNamesTheLineOfEachFault) {
  const std::string inOrder = test::modelSetText({"a", "b", "b"});
  macroClass set;
  EXPECT_THAT(expectFatal([&] { set.macroRead(m_dir.write("twice.mac", inOrder), true); }),
              MatchesRegex("Error: model \"b\" is defined twice in \".*twice.mac\" line [0-9]+ \\(line [0-9]+ of macro\\)"));
  EXPECT_EQ(set.MMF().modelNum, 0);
  const std::string outOfOrder = test::modelSetText({"b", "a", "b"});
  EXPECT_THAT(expectFatal([&] { set.macroRead(m_dir.write("twice.mac", outOfOrder), true); }),
              MatchesRegex("Error: model \"b\" is defined twice in \".*twice.mac\" \\(line [0-9]+ of macro\\)"));

  // The line of the fault itself: the second model's "<BEGINHMM>", misspelt.
  std::string text = test::modelSetText({"a", "b"});
  const size_t second = text.find("<BEGINHMM>", text.find("\"b\""));
  text.replace(second, strlen("<BEGINHMM>"), "<BEGIN>");
  const int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(second), '\n'));
  EXPECT_THAT(expectFatal([&] { set.macroRead(m_dir.write("bad.mac", text), true); }),
              testing::HasSubstr(strFormat("Cannot find \"<BEGINHMM>\" in \"%s\" line %d (line",
                                           m_dir.file("bad.mac").c_str(), line)));
}

// ---- Texts parsed in parts on several threads --------------------------------------------

// Names "m00".."m<n-1>", in name order.
strVec manyNames(int n) {
  strVec names;
  for (int k = 0; k < n; k++) names.push_back(strFormat("m%02d", k));
  return names;
}

int lineOf(const std::string& text, size_t offset) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n'));
}

// Texts split in parts of a model or two, as many as there are threads, so that two parts
// meet between any two models on some machine or other.
class MacroClassPartsTest : public MacroClassTest {
 protected:
  MacroClassPartsTest() { macroClass::textPartBytesSet(1); }
  ~MacroClassPartsTest() override { macroClass::textPartBytesSet(macroClass::TEXT_PART_BYTES); }
  static constexpr int MODELS = 24;
};

// The models read are those of the whole text, in name order or not, and a name that holds a
// line like a model's first is still one name; a text of the size that is split by default too.
TEST_F(MacroClassPartsTest, ReadsATextInPartsAsItReadsItWhole) {
  strVec inOrder = manyNames(MODELS);
  strVec reversed(inOrder.rbegin(), inOrder.rend());
  strVec swapped = inOrder;
  for (int k = 0; k + 1 < MODELS; k += 2) std::swap(swapped[k], swapped[k + 1]);
  strVec lineInName = inOrder;
  lineInName[MODELS / 2] += "\n~h n\n<BEGINHMM>";
  lineInName[MODELS / 4] += "\n~h x";
  lineInName[MODELS - 1] += "\n~h";
  const bool split = workerPool::shared().threadNum() > 1;
  // The text of names read from file: the models of names, read in parts when inParts.
  auto expectRead = [&](const std::string& file, const strVec& names, bool inParts) {
    macroClass fromText, fromFill;
    fromText.macroRead(file, true);
    if (split && inParts) {
      EXPECT_GT(macroClass::textPartsRead(), 1u);
    }
    test::modelSetPrepare(fromFill, names);
    expectSameModels(fromText, fromFill);
  };
  for (strVec* names : {&inOrder, &reversed, &swapped, &lineInName}) {
    SCOPED_TRACE(names->front() + " .. " + names->back());
    expectRead(test::writeModelSet(m_dir, "parts.mac", *names), *names, names != &lineInName);
  }

  // As a Windows tool writes it: a byte-order mark and "\r\n" line ends.
  std::string windows = "\xef\xbb\xbf";
  for (char c : test::modelSetText(inOrder)) windows += c == '\n' ? std::string("\r\n") : std::string(1, c);
  expectRead(m_dir.write("windows.mac", windows), inOrder, true);

  macroClass::textPartBytesSet(macroClass::TEXT_PART_BYTES);
  strVec large;
  for (int k = 0; k < 2600; k++) large.push_back(strFormat("m%04d", k));
  const std::string text = test::modelSetText(large);
  ASSERT_GT(text.size(), 2 * macroClass::TEXT_PART_BYTES);
  expectRead(m_dir.write("large.mac", text), large, true);
}

// A fault of a text read in parts is reported as a parse of the whole text reports it: the
// first one, at its line, printed and logged once; a name given twice, within a part or where
// two meet.
TEST_F(MacroClassPartsTest, AFaultIsReportedAsTheWholeParseReportsIt) {
  const strVec names = manyNames(MODELS);
  const std::string good = test::modelSetText(names);
  auto modelAt = [&](const std::string& text, int k) { return text.find("~h \"" + names[k] + "\""); };
  struct Case {
    std::vector<int> models;  // the models whose first find is replaced, the first fault last
    const char* find;
    const char* replace;
    const char* message;      // with the model's index
    const char* printed;      // before the message, with the model's index and name
  };
  std::vector<Case> cases;
  for (int k = 0; k < MODELS; k++) {
    cases.push_back({{k}, "<BEGINHMM>", "<BEGIN>", "modelId=%d, str1=<BEGIN>, Cannot find \"<BEGINHMM>\"", ""});
    cases.push_back({{k}, "<ENDHMM>", "<END>", "Error: Not reading <ENDHMM>, modelId=%d", ""});
  }
  cases.push_back({{MODELS - 2, 1}, "<BEGINHMM>", "<BEGIN>", "modelId=%d, str1=<BEGIN>, Cannot find \"<BEGINHMM>\"", ""});
  cases.push_back({{MODELS / 2}, "<STREAM> 1", "<STREEM> 1", "str1=<STREEM>, temp=1, Cannot find \"<STREAM>\"",
                   "modelId=%d (%s), stateId=2\n"});
  scratchDir logs;
  envScope temp("temp", logs.path().c_str());
  for (const Case& c : cases) {
    SCOPED_TRACE(strFormat("%s in model %d", c.replace, c.models.back()));
    std::string text = good;
    for (int k : c.models) {
      const size_t at = text.find(c.find, modelAt(text, k));
      text.replace(at, strlen(c.find), c.replace);
    }
    const int k = c.models.back();
    const size_t fault = text.find(c.replace, modelAt(text, k));
    const std::string path = m_dir.write("bad.mac", text);
    macroClass set;
    // Caught here: expectFatal turns the log off.
    std::string message;
    testing::internal::CaptureStdout();
    try {
      set.macroRead(path, true);
      ADD_FAILURE() << "read without a fault";
    } catch (char* raised) {
      message = raised;
    }
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(message, strFormat(c.message, k) + strFormat(" in \"%s\" line %d (line ", path.c_str(),
                                                          lineOf(text, fault)) +
                           message.substr(message.rfind("(line ") + 6));
    const std::string said = strFormat(c.printed, k, names[static_cast<size_t>(k)].c_str()) + "\nSaved error log";
    EXPECT_EQ(printed.substr(0, said.size()), said);
    EXPECT_EQ(printed.find("Saved error log", said.size()), std::string::npos) << printed;
    EXPECT_EQ(set.MMF().modelNum, 0);
  }

  // Text before the first model, and a name given twice far apart where the only two models
  // out of order are in one part or in two.
  {
    std::string text = good;
    text.insert(modelAt(text, 0), "junk\n");
    EXPECT_THAT(expectFatal([&] { macroClass().macroRead(m_dir.write("junk.mac", text), true); }),
                testing::HasSubstr("expected \"~h\" of model 0, found \"junk\""));
  }
  for (int k = 2; k < MODELS; k++) {
    strVec apart = names;
    apart[static_cast<size_t>(k)] = names[0];
    const std::string path = test::writeModelSet(m_dir, "apart.mac", apart);
    EXPECT_THAT(expectFatal([&] { macroClass().macroRead(path, true); }),
                MatchesRegex(strFormat("Error: model \"m00\" is defined twice in \"%s\" \\(line [0-9]+ of macro\\)",
                                       path.c_str())))
        << k;
  }
  for (int k = 1; k < MODELS; k++) {
    strVec twice = names;
    twice[static_cast<size_t>(k)] = twice[static_cast<size_t>(k) - 1];
    const std::string text = test::modelSetText(twice);
    const std::string line = "~h \"" + twice[static_cast<size_t>(k)] + "\"";
    const size_t second = text.find(line, text.find(line) + 1);
    const std::string path = m_dir.write("twice.mac", text);
    macroClass set;
    EXPECT_THAT(expectFatal([&] { set.macroRead(path, true); }),
                testing::HasSubstr(strFormat("Error: model \"%s\" is defined twice in \"%s\" line %d (line ",
                                             twice[static_cast<size_t>(k)].c_str(), path.c_str(), lineOf(text, second))))
        << k;
  }
}

TEST_F(MacroClassTest, RejectsEveryTruncationOfTheText) {
  const std::string good = test::modelSetText({"x"});
  const size_t complete = good.rfind("<ENDHMM>") + strlen("<ENDHMM>");
  for (size_t n = 0; n < complete; n++) {
    const std::string path = m_dir.write("cut.mac", good.substr(0, n));
    macroClass set;
    std::string message = expectFatal([&] { set.macroRead(path, true); });
    ASSERT_THAT(message, testing::HasSubstr("cut.mac\"")) << "cut at " << n;
  }
  const std::string headerOnly = m_dir.write("empty.mac", good.substr(0, good.find("~h")));
  macroClass set;
  EXPECT_THAT(expectFatal([&] { set.macroRead(headerOnly, true); }),
              MatchesRegex("Error: \".*empty.mac\" holds no model \\(line [0-9]+ of macro\\)"));
}

TEST_F(MacroClassTest, ChoosesTheReaderByExtension) {
  macroClass source;
  test::modelSetFill(source, {"m"});
  const std::string text = test::modelSetText({"m"});
  struct Case {
    const char* name;
    bool image;
    bool accepted;
  };
  const Case cases[] = {
      {"set.mac", false, true},  {"set.MAC", false, true},  {"set.macb", true, true},
      {"set.MACB", true, true},  {"set.Mac", false, false}, {"set.Macb", true, false},
      {"set.txt", false, false}, {"set", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = m_dir.file(c.name);
    if (c.image)
      source.macbWrite(path);
    else
      m_dir.write(c.name, text);
    macroClass set;
    if (c.accepted) {
      set.macroRead(path, false);
      EXPECT_EQ(set.MMF().modelNum, 1);
    } else {
      const std::string message = expectFatal([&] { set.macroRead(path, false); });
      const std::string prefix = "Error in reading \"" + path + "\": ";
      EXPECT_EQ(message.substr(0, prefix.size()), prefix);
      EXPECT_THAT(message.substr(prefix.size()),
                  MatchesRegex("The only allowed extension are \"mac\" and \"macb\" \\(line [0-9]+ of macro\\) \n"));
    }
  }
}

TEST_F(MacroClassTest, MissingFileIsFatal) {
  macroClass set;
  EXPECT_THAT(expectFatal([&] { set.macroRead(m_dir.file("none.mac"), true); }),
              MatchesRegex("Cannot open file .*none.mac: No such file or directory \\(line [0-9]+ of utility\\)"));
}

// ---- Lookup, substitution, count file ----------------------------------------------------

TEST_F(MacroClassTest, FindsOrSubstitutesModels) {
  macroClass set;
  test::modelSetPrepare(set, {"y-b+sil", "x-a+c", "sp", "x-a+b", "y-b+a", "sil"});
  // Sorted: sil sp x-a+b x-a+c y-b+a y-b+sil
  struct Case {
    const char* name;
    int index;
    const char* printed;
  };
  const Case cases[] = {
      {"sil", 0, ""},
      {"x-a+c", 3, ""},
      {"y-b+sil", 5, ""},
      {"x-a+q", 2, "Warning of model substitution: x-a+q is replaced by x-a+b\n"},
      {"y-b+q", 5, "Warning of model substitution: y-b+q is replaced by y-b+sil\n"},
      {"z-q+r", 0, "Warning of model substitution: z-q+r is replaced by sil\n"},
      {"x-a+", 2, "Warning of model substitution: x-a+ is replaced by x-a+b\n"},
      {"filler", -1, ""},
      {"fillerC", -1, ""},
      {"fillerV", -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::internal::CaptureStdout();
    EXPECT_EQ(set.findModelIndex(c.name), c.index);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
  }
  EXPECT_THAT(expectFatal([&] { set.findModelIndex("abc"); }),
              MatchesRegex("Error in macroClass::findSubstituteModel\\(\\): Cannot find '\\+' sign, modelStr=abc "
                           "\\(line [0-9]+ of macro\\) \n"));
}

TEST_F(MacroClassTest, SilenceMissingFromSetAndEmptySetGiveMinusOne) {
  macroClass set;
  test::modelSetPrepare(set, {"a+b"});
  testing::internal::CaptureStdout();
  EXPECT_EQ(set.findModelIndex("sil"), -1);
  EXPECT_EQ(set.findModelIndex("sp"), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  macroClass empty;
  EXPECT_EQ(empty.findModelIndex("a+b"), -1);
  EXPECT_EQ(empty.findModelIndex("a"), -1);
}

TEST_F(MacroClassTest, ModelCountFileSetsLogCountsAndWarnsOnMismatch) {
  macroClass set;
  test::modelSetPrepare(set, {"c", "a", "b"});
  const std::string path = m_dir.write("count.txt", "% counts\na\t10\n\nz\t20\nc\t1\n");
  testing::internal::CaptureStdout();
  set.modelCountRead(path);
  EXPECT_THAT(testing::internal::GetCapturedStdout(),
              MatchesRegex("Warning: Mismatched model count file " + path + "! \\(line [0-9]+ of macro\\)\n"));
  EXPECT_FLOAT_EQ(set.MMF().model[0].logCount, logf(10));
  EXPECT_FLOAT_EQ(set.MMF().model[1].logCount, logf(20)) << "applied despite the other name";
  EXPECT_EQ(set.MMF().model[2].logCount, 0.0f);

  testing::internal::CaptureStdout();
  set.modelCountRead("");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "no count file set";
  for (const hmmModel& model : set.MMF().model) EXPECT_EQ(model.logCount, 0.0f);
}

// Count files as training tools write them: models never seen get 0 (or no line at all), and
// a file made for a larger set still counts the models it has lines for.
TEST_F(MacroClassTest, ModelCountFileOfZeroCountsShortOrLongReadsWhatItHolds) {
  struct Case {
    const char* text;
    std::vector<float> logCounts;  // of a, b, c
    const char* warning;           // regular expression of the printed text
  } cases[] = {
      {"a\t4\nb\t0\nc\t-2\n", {logf(4), 0, 0}, ""},
      {"a\t4\nb\t0\n", {logf(4), 0, 0}, ""},
      {"a\t4\n", {logf(4), 0, 0}, ""},
      {"% nothing counted\n", {0, 0, 0}, ""},
      {"\xEF\xBB\xBF" "a\t4\nb\t5\nc\t6\n", {logf(4), logf(5), logf(6)}, ""},
      {"a\t4\nb\t5\nc\t6\n% more\nd\t7\ne\t8\n", {logf(4), logf(5), logf(6)},
       "Warning: model count file .*count.txt has 5 lines for 3 models; line 5 and the lines after it are "
       "ignored\n"},
      {"a\t99999999999\nb\t+3\nc\t 6 \n", {logf(99999999999.0f), logf(3), logf(6)}, ""},
  };
  macroClass set;
  test::modelSetPrepare(set, {"c", "a", "b"});
  for (const Case& c : cases) {
    const std::string path = m_dir.write("count.txt", c.text);
    testing::internal::CaptureStdout();
    set.modelCountRead(path);
    EXPECT_THAT(testing::internal::GetCapturedStdout(), MatchesRegex(c.warning)) << c.text;
    for (size_t i = 0; i < 3; i++) EXPECT_FLOAT_EQ(set.MMF().model[i].logCount, c.logCounts[i]) << c.text << i;
  }
}

TEST_F(MacroClassTest, ModelCountFileThatCannotBeOpenedIsNamedInAWarning) {
  macroClass set;
  test::modelSetPrepare(set, {"a", "b"});
  for (const std::string& path : {m_dir.file("missing.cnt"), m_dir.path()}) {
    testing::internal::CaptureStdout();
    set.modelCountRead(path);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning: cannot open the model count file " + path + "; no model counts are used\n");
    for (const hmmModel& model : set.MMF().model) EXPECT_EQ(model.logCount, 0.0f);
  }
}

TEST_F(MacroClassTest, RejectsCountFileLinesThatHoldNoCount) {
  macroClass set;
  test::modelSetPrepare(set, {"a", "b"});
  const std::string noCount = m_dir.write("nocount.txt", "a\t1\nb 2\n");
  EXPECT_THAT(expectFatal([&] { set.modelCountRead(noCount); }),
              MatchesRegex("Error: line 2 of model count file .* has no TAB-separated count .*"));
  for (const char* count : {"abc", "12x", "", "1.5", "1e3", "-", "0x10", "nan"}) {
    const std::string bad = m_dir.write("bad.txt", std::string("a\t1\n% the second\nb\t") + count + "\n");
    EXPECT_THAT(expectFatal([&] { set.modelCountRead(bad); }),
                MatchesRegex("Error: line 3 of model count file " + bad + " has the count \"" + count +
                             "\", not a whole number \\(line [0-9]+ of macro\\)"))
        << count;
  }
}

TEST_F(MacroClassTest, GetModelNamesListsArrayOrder) {
  macroClass set;
  test::modelSetPrepare(set, {"b", "a"});
  strVec names = {"stale"};
  set.getModelNames(names);
  EXPECT_EQ(names, (strVec{"a", "b"}));
}

// ---- Sorting, preparation, appending -----------------------------------------------------

TEST_F(MacroClassTest, SortsByUnsignedBytesWithinTheRange) {
  macroClass set;
  test::modelSetFill(set, {"z", "\xa4\x40", "b", "a", "B"});
  set.sortModels(1, 3);
  strVec names;
  set.getModelNames(names);
  EXPECT_EQ(names, (strVec{"z", "a", "b", "\xa4\x40", "B"}));
  set.sortModels(0, set.MMF().modelNum - 1);
  set.getModelNames(names);
  EXPECT_EQ(names, (strVec{"B", "a", "b", "z", "\xa4\x40"}));
  EXPECT_EQ(set.MMF().model[3].state[0].stream[0].mixture[0].mean[0], test::fixtureMean(0, 0))
      << "whole records move";
}

TEST_F(MacroClassTest, PreparingTwiceIsFatal) {
  macroClass set;
  test::modelSetFill(set, {"a"});
  set.prepareModels();
  EXPECT_THAT(expectFatal([&] { set.prepareModels(); }),
              MatchesRegex("Error: transProb\\[0\\]\\[0\\]=-1e\\+10 < 0 in model a: set already prepared\\? .*"));
}

TEST_F(MacroClassTest, NegativeWeightOfPreparedImageIsFatal) {
  macroClass set;
  test::modelSetFill(set, {"a"});
  set.MMFEdit().model[0].state[1].stream[2].mixture[0].mixtureWeight = 0.5f;
  set.prepareModels();
  const std::string path = m_dir.file("prepared.macb");
  set.macbWrite(path);
  macroClass again;
  EXPECT_THAT(expectFatal([&] { again.macroRead(path, true); }),
              MatchesRegex("Error: mixtureWeight=-0.693147 < 0 in model a, state 3, stream 3, mixture 1: set "
                           "already prepared\\? \\(line [0-9]+ of macro\\)"));
}

void twoMixtureSet(macroClass& set);

TEST_F(MacroClassTest, AppendCopiesAndResortsWithoutPreparing) {
  macroClass set, other;
  test::modelSetFill(set, {"m", "c"});
  test::modelSetFill(other, {"k", "a"});
  testing::internal::CaptureStdout();
  set.macroAppend(other);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "MMF.modelNum=2, mac2.MMF.modelNum=2, new=4\n");
  strVec names;
  set.getModelNames(names);
  EXPECT_EQ(names, (strVec{"a", "c", "k", "m"}));
  EXPECT_EQ(set.MMF().modelNum, 4);
  EXPECT_EQ(set.MMF().model[0].state[0].stream[0].mixture[0].mixtureWeight, 1.0f);
  EXPECT_EQ(other.MMF().modelNum, 2);

  macroClass empty;
  testing::internal::CaptureStdout();
  empty.macroAppend(other);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(empty.MMF().streamNum, 3) << "an empty set takes the stream layout";
  EXPECT_EQ(empty.MMF().streamWidth[2], 13);

  macroClass freed;
  twoMixtureSet(freed);  // one stream
  freed.macroFree();
  testing::internal::CaptureStdout();
  freed.macroAppend(other);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "MMF.modelNum=0, mac2.MMF.modelNum=2, new=2\n");
  EXPECT_EQ(freed.MMF().streamNum, 3) << "a freed set is empty too";
  EXPECT_EQ(freed.MMF().streamWidth[1], 13);

  macroClass narrow;
  test::modelSetFill(narrow, {"n"});
  narrow.MMFEdit().streamWidth[1] = 12;
  testing::internal::CaptureStdout();
  EXPECT_THAT(expectFatal([&] { set.macroAppend(narrow); }),
              MatchesRegex("Error: cannot append a set of another stream layout .*"));
  testing::internal::GetCapturedStdout();
}

// ---- The "macb" image ----------------------------------------------------------------------

// Two five-state models, one stream of two mixtures per state, distinct values everywhere.
void twoMixtureSet(macroClass& set) {
  set.macroFree();
  hmmSet& mmf = set.MMFEdit();
  mmf.streamNum = 1;
  mmf.streamWidth[0] = 13;
  mmf.header = "<VECSIZE> 13<MFCC>";
  mmf.model.resize(2);
  mmf.modelNum = 2;
  float v = 0.25f;
  for (size_t i = 0; i < 2; i++) {
    hmmModel& model = mmf.model[i];
    model.str = i == 0 ? "b" : "a";
    model.stateNum = 5;
    model.logCount = 3.0f;
    for (int k = 0; k < 3; k++) {
      model.state[k].streamWeight[0] = 1.0f;
      hmmStream& stream = model.state[k].stream[0];
      stream.mixtureNum = 2;
      for (int m = 0; m < 2; m++) {
        stream.mixture[m].mixtureWeight = m == 0 ? 0.25f : 0.75f;
        for (int d = 0; d < 13; d++) {
          stream.mixture[m].mean[d] = (v += 0.25f);
          stream.mixture[m].variance[d] = (v += 0.25f);
        }
        stream.mixture[m].gconst = (v += 0.25f);
      }
    }
    for (int r = 0; r < 5; r++)
      for (int c = 0; c < 5; c++) model.transProb[r][c] = (v += 0.25f);
  }
}

// The image of twoMixtureSet, as written to a file.
std::string twoMixtureImage(const scratchDir& dir) {
  macroClass set;
  twoMixtureSet(set);
  const std::string path = dir.file("set.macb");
  set.macbWrite(path);
  return readFile(path);
}

// The bytes with the little-endian 32-bit field at offset replaced.
std::string patched32(std::string bytes, size_t offset, uint32_t bits) {
  for (int b = 0; b < 4; b++) bytes[offset + b] = static_cast<char>((bits >> (8 * b)) & 0xff);
  return bytes;
}

TEST_F(MacroClassTest, ImageRoundTripKeepsEveryValueAndHasThePinnedSize) {
  macroClass set;
  twoMixtureSet(set);
  const std::string path = m_dir.file("set.macb");
  set.macbWrite(path);
  const std::string bytes = readFile(path);
  ASSERT_EQ(bytes.size(), 1712u);
  EXPECT_EQ(bytes.substr(0, 12), std::string("\x02\0\0\0\x01\0\0\0\x0d\0\0\0", 12));
  EXPECT_EQ(bytes.substr(12, 50), std::string("b") + std::string(49, '\0'));
  EXPECT_EQ(bytes.substr(62, 8), std::string("\x05\0\0\0\0\0\x80\x3f", 8)) << "stateNum 5, weight 1.0f";

  macroClass back;
  back.macroRead(path, false);
  expectSameModels(set, back);
  EXPECT_EQ(back.MMF().header, "") << "not in the image";
  EXPECT_EQ(back.MMF().model[0].logCount, 0.0f) << "not in the image";
  EXPECT_EQ(back.MMF().model[0].state[0].stream[0].mixture[2].mixtureWeight, 0.0f);

  macroClass fromBuffer;
  fromBuffer.macbReadFromBuffer(bytes.data(), bytes.size());
  expectSameModels(set, fromBuffer);
}

// The mixtures of an image share one block with the set read from it; copies, appended
// models and grown streams hold their own and outlive it.
TEST_F(MacroClassTest, CopiesOfAnImageSetOutliveItAndItsStreamsStillGrow) {
  macroClass set;
  twoMixtureSet(set);
  const std::string path = m_dir.file("set.macb");
  set.macbWrite(path);
  macroClass copy, appended;
  {
    macroClass read;
    read.macroRead(path, false);
    copy = read;
    appended.macroAppend(read);
    hmmStream& stream = read.MMFEdit().model[0].state[0].stream[0];
    stream.mixture[MAX_MIXTURE_NUM - 1].gconst = 7.0f;
    EXPECT_EQ(stream.mixture[MAX_MIXTURE_NUM - 1].gconst, 7.0f);
    EXPECT_EQ(stream.mixture[MAX_MIXTURE_NUM - 2].gconst, 0.0f) << "slots made on the way are zero";
    EXPECT_EQ(stream.mixture[0].mixtureWeight, set.MMF().model[0].state[0].stream[0].mixture[0].mixtureWeight);
  }
  expectSameModels(set, copy);
  set.sortModels(0, set.MMF().modelNum - 1);  // as appending leaves them
  expectSameModels(set, appended);
}

TEST_F(MacroClassTest, PreparedReadsOfTextImageAndBufferAgree) {
  const strVec names = {"sil", "k+a", "a+sil", "sp"};
  macroClass raw, expected, fromImage, fromBuffer;
  test::modelSetFill(raw, names);
  test::modelSetPrepare(expected, names);
  const std::string path = m_dir.file("set.MACB");
  raw.macbWrite(path);
  fromImage.macroRead(path, true);
  expectSameModels(expected, fromImage);
  const std::string bytes = readFile(path);
  fromBuffer.macroReadFromBuffer(bytes.data(), bytes.size());
  expectSameModels(expected, fromBuffer);
}

TEST_F(MacroClassTest, RejectsEveryTruncatedImage) {
  const std::string bytes = twoMixtureImage(m_dir);
  for (size_t n = 0; n < bytes.size(); n++) {
    macroClass back;
    std::string message = expectFatal([&] { back.macbReadFromBuffer(bytes.data(), n); });
    ASSERT_THAT(message, MatchesRegex("Error: .*")) << "cut at " << n;
    EXPECT_EQ(back.MMF().modelNum, 0);
  }
}

TEST_F(MacroClassTest, RejectsImageWithCountBeyondItsLimitOrTheBytesLeft) {
  const std::string good = twoMixtureImage(m_dir);
  auto patched = [&](size_t offset, int32_t value) { return patched32(good, offset, static_cast<uint32_t>(value)); };
  // Offsets: 0 modelNum, 4 streamNum, 8 width, 12 name, 62 stateNum, 66 weight, 70 mixtureNum.
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  };
  std::string unterminated = good;
  for (size_t i = 12; i < 62; i++) unterminated[i] = 'n';
  const Case cases[] = {
      {"huge modelNum", patched(0, 0x7fffffff), "Error: truncated image .*: 2147483647 models of [0-9]+ bytes .*"},
      {"modelNum beyond the bytes", patched(0, 3), "Error: truncated image .*"},
      {"negative modelNum", patched(0, -1), "Error: modelNum=-1 of .* is negative .*"},
      {"four streams", patched(4, 4), "Error: streamNum=4 of image .* is outside 1..MAX_STREAM_NUM=3 .*"},
      {"wide stream", patched(8, 14), "Error: streamWidth=14 of image .* is outside 1..MAX_PARAM_NUM=13 .*"},
      {"six states", patched(62, 6), "Error: stateNum=6 of model b is outside 3..MAX_STATE_NUM\\+2=5 .*"},
      {"33 mixtures", patched(70, 33),
       "Error: mixtureNum=33 exceeds MAX_MIXTURE_NUM=32 in image \".*bad.macb\", model b, state 2, stream 1 "
       "\\(line [0-9]+ of macro\\)"},
      {"mixtures beyond the bytes", patched(70, 32), "Error: truncated image .*: 32 mixtures of 112 bytes .*"},
      {"negative mixtures", patched(70, -5), "Error: mixtureNum=-5 is below 1 .*"},
      {"name without NUL", unterminated,
       "Error: model name in image .* is not NUL-terminated within MAX_MODEL_NAME_LEN=50 bytes .*"},
      {"trailing byte", good + "x", "Error: image .* has 1 bytes after its end at offset 1712 .*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bad = m_dir.write("bad.macb", c.bytes);
    macroClass back;
    EXPECT_THAT(expectFatal([&] { back.macroRead(bad, true); }), MatchesRegex(c.message));
  }
}

// A NaN or infinite value of an image would change the scores without a word: each is refused
// with the image, model, state, stream and mixture it stands in.
TEST_F(MacroClassTest, RefusesNonFiniteImageValuesNamingWhereTheyStand) {
  const std::string good = twoMixtureImage(m_dir);
  const uint32_t nan = 0x7fc00000u, inf = 0x7f800000u;
  // Offsets: 66 stream weight, 74 weight of mixture 1, 78 its means, 130 its variances, 182
  // its gconst, 186 mixture 2; the transitions close the model at 762.
  struct Case {
    size_t offset;
    uint32_t bits;
    const char* message;
  };
  const Case cases[] = {
      {66, nan, "streamWeight=nan in image \".*bad.macb\", model b, state 2, stream 1 is"},
      {74, nan, "mixtureWeight=nan in image \".*bad.macb\", model b, state 2, stream 1, mixture 1 is"},
      {86, nan, "mean=nan in image \".*bad.macb\", model b, state 2, stream 1, mixture 1 is"},
      {130, inf, "variance=inf in image \".*bad.macb\", model b, state 2, stream 1, mixture 1 is"},
      {182, inf, "gconst=inf in image \".*bad.macb\", model b, state 2, stream 1, mixture 1 is"},
      {190, nan, "mean=nan in image \".*bad.macb\", model b, state 2, stream 1, mixture 2 is"},
      {762, nan, "transProb=nan in image \".*bad.macb\", model b is"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    const std::string bad = m_dir.write("bad.macb", patched32(good, c.offset, c.bits));
    macroClass back;
    EXPECT_THAT(expectFatal([&] { back.macroRead(bad, true); }),
                MatchesRegex(std::string("Error: ") + c.message + " not a finite number \\(line [0-9]+ of macro\\)"));
    EXPECT_EQ(back.MMF().modelNum, 0);
  }
}

// ---- The "mac" text writer ---------------------------------------------------------------

TEST_F(MacroClassTest, TextWriteReadsBackTheSameModels) {
  macroClass set;
  twoMixtureSet(set);
  set.MMFEdit().model[1].state[2].stream[0].mixtureNum = 1;  // the optional <MIXTURE> line case
  set.MMFEdit().model[1].state[2].stream[0].mixture[0].mixtureWeight = 1.0f;
  const std::string path = m_dir.file("set.mac");
  set.macTextWrite(path);
  macroClass back;
  back.macroRead(path, false);
  expectSameModels(set, back);
  EXPECT_EQ(back.MMF().header, set.MMF().header);
}

TEST_F(MacroClassTest, ImageConvertedToTextReadsBack) {
  macroClass set;
  twoMixtureSet(set);
  const std::string image = m_dir.file("set.macb");
  set.macbWrite(image);
  macroClass fromImage;
  fromImage.macroRead(image, false);
  ASSERT_EQ(fromImage.MMF().header, "");
  const std::string text = m_dir.file("set.mac");
  fromImage.macTextWrite(text);
  const std::string start = "~o\n<STREAMINFO> 1 13\n\n~h \"b\"\n";
  EXPECT_EQ(readFile(text).substr(0, start.size()), start) << "the header line stays empty";
  macroClass back;
  back.macroRead(text, false);
  expectSameModels(set, back);
  EXPECT_EQ(back.MMF().header, "");
}

// A one-state model with one stream of width 2 keeps the pinned texts short.
void tinySet(macroClass& set) {
  set.macroFree();
  hmmSet& mmf = set.MMFEdit();
  mmf.streamNum = 1;
  mmf.streamWidth[0] = 2;
  mmf.header = "<VECSIZE> 2<USER>";
  mmf.model.resize(1);
  mmf.modelNum = 1;
  hmmModel& model = mmf.model[0];
  model.str = "t";
  model.stateNum = 3;
  model.state[0].streamWeight[0] = 0.5f;
  hmmStream& stream = model.state[0].stream[0];
  stream.mixtureNum = 3;
  stream.mixture[0] = {0.25f, {1.5f, -2}, {0.5f, 4}, 7};
  stream.mixture[1] = {0.0f, {9, 9}, {9, 9}, 9};
  stream.mixture[2] = {0.75f, {3, 0}, {1, 2}, 8};
  model.transProb[0][1] = 1;
  model.transProb[1][1] = 0.5f;
  model.transProb[1][2] = 0.5f;
}

TEST_F(MacroClassTest, TextWriterPinsItsFormatAndLeavesOutZeroWeights) {
  macroClass set;
  tinySet(set);
  const std::string path = m_dir.file("tiny.mac");
  set.macTextWrite(path);
  EXPECT_EQ(readFile(path),
            "~o\n<STREAMINFO> 1 2\n<VECSIZE> 2<USER>\n~h \"t\"\n<BEGINHMM>\n<NUMSTATES> 3\n<STATE> 2\n"
            "<NUMMIXES> 3\n<SWEIGHTS> 1\n 1.000000e+00\n"
            "<MIXTURE> 1 2.500000e-01\n<MEAN> 2\n 1.500000e+00 -2.000000e+00\n<VARIANCE> 2\n 5.000000e-01 "
            "4.000000e+00\n<GCONST> 7.000000e+00\n"
            "<MIXTURE> 3 7.500000e-01\n<MEAN> 2\n 3.000000e+00 0.000000e+00\n<VARIANCE> 2\n 1.000000e+00 "
            "2.000000e+00\n<GCONST> 8.000000e+00\n"
            "<TRANSP> 3\n 0.000000e+00 1.000000e+00 0.000000e+00\n 0.000000e+00 5.000000e-01 5.000000e-01\n"
            " 0.000000e+00 0.000000e+00 0.000000e+00\n<ENDHMM>\n");

  hmmSet& mmf = set.MMFEdit();
  mmf.streamNum = 2;
  mmf.streamWidth[1] = 1;
  mmf.model[0].state[0].stream[1].mixtureNum = 1;
  mmf.model[0].state[0].stream[1].mixture[0] = {1, {6}, {2}, 3};
  set.macTextWrite(path);
  EXPECT_THAT(readFile(path), testing::HasSubstr("<NUMMIXES> 3 1\n<SWEIGHTS> 2\n 1.000000e+00 1.000000e+00\n"
                                                 "<STREAM> 1\n<MIXTURE> 1 2.500000e-01\n"));
  EXPECT_THAT(readFile(path), testing::HasSubstr("<GCONST> 8.000000e+00\n<STREAM> 2\n<MIXTURE> 1 1.000000e+00\n"
                                                 "<MEAN> 1\n 6.000000e+00\n"));
}

TEST_F(MacroClassTest, PrintWritesOneModelReadably) {
  macroClass set;
  tinySet(set);
  set.MMFEdit().model[0].state[0].stream[0].mixtureNum = 1;
  const std::string path = m_dir.file("model.txt");
  set.print(0, path);
  EXPECT_EQ(readFile(path),
            "\tModel index = 0\n\tMMF.modelNum = 1\n\tMMF.streamNum = 1\n\tMMF.model[0].stateNum = 3\n"
            "\tMMF.model[0].str = t\n\t\tState index = 0\n\t\t\tStream index = 0\n"
            "\t\t\t\tstreamWeight[0] = 0.500000\n\t\t\t\tMixture index = 0\n"
            "\t\t\t\t\tmixtureWeight = 0.250000\n\t\t\t\t\tgconst = 7.000000\n"
            "\t\t\t\t\tmean = 1.500000 -2.000000 \n\t\t\t\t\tvariance = 0.500000 4.000000 \n"
            "\tMMF.model[0].transProb = \n"
            "\t\t0.000000 \t1.000000 \t0.000000 \n\t\t0.000000 \t0.500000 \t0.500000 \n"
            "\t\t0.000000 \t0.000000 \t0.000000 \n");
  EXPECT_THAT(expectFatal([&] { set.print(1, path); }),
              MatchesRegex("Error: model index 1 is outside 0..0 \\(line [0-9]+ of macro\\)"));
}

TEST_F(MacroClassTest, WritersMakeAFullDiskFatalNamingTheFile) {
  macroClass set;
  tinySet(set);
  const std::function<void()> writes[] = {
      [&] { set.macTextWrite("/dev/full"); },
      [&] { set.macbWrite("/dev/full"); },
      [&] { set.print(0, "/dev/full"); },
  };
  for (const std::function<void()>& write : writes)
    EXPECT_THAT(expectFatal(write), MatchesRegex("Cannot write file /dev/full: No space left on device \\(line [0-9]+ of utility\\)"));
}

// ---- Ordered export ------------------------------------------------------------------------

class workingDir {
 public:
  explicit workingDir(const std::string& dir) {
    char* old = getcwd(nullptr, 0);
    m_old = old ? old : ".";
    free(old);
    if (chdir(dir.c_str()) != 0) ADD_FAILURE() << "chdir " << dir;
  }
  ~workingDir() {
    if (chdir(m_old.c_str()) != 0) ADD_FAILURE() << "chdir back";
  }

 private:
  std::string m_old;
};

std::vector<float> floatsOf(const std::string& bytes) {
  binaryImage image("floats", bytes.data(), bytes.size());
  std::vector<float> values;
  while (image.bytesLeft() >= 4) values.push_back(image.getFloat());
  return values;
}

TEST_F(MacroClassTest, OrderedExportFollowsTheNameList) {
  macroClass set;
  tinySet(set);
  hmmModel proto = set.MMF().model[0];
  proto.state[0].stream[0].mixtureNum = 1;
  hmmSet& mmf = set.MMFEdit();
  mmf.model.assign(3, proto);
  mmf.modelNum = 3;
  mmf.model[0].str = "a";
  mmf.model[1].str = "b";
  mmf.model[2].str = "sil";
  mmf.model[1].state[0].stream[0].mixture[0].mean[0] = 11;
  mmf.model[2].state[0].stream[0].mixture[0].mean[0] = 22;
  workingDir cwd(m_dir.path());
  m_dir.write("ModelNames.txt", "1 b\n2 a\n");
  set.orderedModelExport("export.bin");
  const std::vector<float> expected = {
      2, 2,                                      // modelNum - 1, streamWidth[0]
      1, 0.25e7f, logf(0.25f), 22, -2, 0.5f, 4,  // sil: mixtures, 1e7 w, log w, means, variances
      1, 1, 0.25e5f, logf(0.25f), 11, -2, 0.5f, 4,     // b: emitting states, then its state
      1, 1, 0.25e5f, logf(0.25f), 1.5f, -2, 0.5f, 4};  // a
  EXPECT_EQ(floatsOf(readFile(m_dir.file("export.bin"))), expected);

  m_dir.write("ModelNames.txt", "1 b\n2 q\n");
  EXPECT_THAT(expectFatal([&] { set.orderedModelExport("export.bin"); }),
              MatchesRegex("Error: can not find model name \"a\" in \"ModelNames.txt\" \\(line [0-9]+ of macro\\)"));
  m_dir.write("ModelNames.txt", "1 b\n");
  EXPECT_THAT(expectFatal([&] { set.orderedModelExport("export.bin"); }),
              MatchesRegex("Error: \"ModelNames.txt\" lists 1 names, 3 models need 2 .*"));
  m_dir.write("ModelNames.txt", "1 b\n2 abcdefghijklmnopqrst\n");
  EXPECT_THAT(expectFatal([&] { set.orderedModelExport("export.bin"); }),
              MatchesRegex("Error: name \"abcdefghijklmnopqrst\" .* MAX_EXPORT_NAME_LEN=20 allows 19 .*"));
}

// ---- HTK parameter files -----------------------------------------------------------------

TEST(MacroClassHtk, ByteReverseSwapsEnds) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {{"", ""}, {"a", "a"}, {"ab", "ba"}, {"abc", "cba"}, {"abcd", "dcba"}};
  for (const Case& c : cases) {
    std::string s = c.in;
    macroClass::byteReverse(&s[0], static_cast<int>(s.size()));
    EXPECT_EQ(s, c.out);
  }
}

TEST(MacroClassHtk, ReadsHeaderFieldsAndFrames) {
  envScope noLog("temp", nullptr);
  scratchDir dir;
  binaryImage image("htk");
  image.putInt32(2);
  image.putInt32(100000);
  image.putBytes("\x08\x00\x06\x80", 4);  // sample size 8, kind 0x8006
  for (float v : {1.5f, -2.0f, 3.25f, 4.0f}) image.putFloat(v);
  const std::string path = dir.file("f.htk");
  image.save(path);
  EXPECT_EQ(macroClass::htkHeaderField(path, 0), 2);
  EXPECT_EQ(macroClass::htkHeaderField(path, 1), 100000);
  EXPECT_EQ(macroClass::htkHeaderField(path, 2), 8);
  EXPECT_EQ(macroClass::htkHeaderField(path, 3), 0x8006);
  EXPECT_EQ(macroClass::htkHeaderField(path, 4), -1);
  EXPECT_EQ(macroClass::htkDataRead(path, 2, 8), (std::vector<float>{1.5f, -2.0f, 3.25f, 4.0f}));
  EXPECT_EQ(macroClass::htkDataRead(path, 1, 8), (std::vector<float>{1.5f, -2.0f}));
  EXPECT_THAT(expectFatal([&] { macroClass::htkDataRead(path, 3, 8); }), MatchesRegex("Error: truncated image .*"));
  const std::string shortFile = dir.write("short.htk", std::string("\x01\0\0\0", 4));
  EXPECT_THAT(expectFatal([&] { macroClass::htkHeaderField(shortFile, 0); }),
              MatchesRegex("Error: truncated image .*"));
}

}  // namespace
