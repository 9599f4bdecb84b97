#include "stringUtil.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "fatalCatch.h"
#include "testFiles.h"

using namespace tulim;
using testing::ElementsAre;
using testing::ElementsAreArray;

TEST(StrSplit, KeepsEmptyPiecesAndAppendsOnRequest) {
  struct Case {
    const char* input;
    char delim;
    strVec expected;
  } cases[] = {
      {"", '#', {}},
      {"#", '#', {"", ""}},
      {"a##b", '#', {"a", "", "b"}},
      {"a#b#", '#', {"a", "b", ""}},
      {"#a", '#', {"", "a"}},
      {"a\tb", '\t', {"a", "b"}},
      {"\xa4\x40-\xa4\x41", '-', {"\xa4\x40", "\xa4\x41"}},
  };
  for (const Case& c : cases) {
    strVec out{"old"};
    strSplit(c.input, c.delim, out);
    EXPECT_EQ(out, c.expected) << '"' << c.input << '"';
  }
  strVec out{"kept"};
  strSplit("x#y", '#', out, true);
  EXPECT_THAT(out, ElementsAre("kept", "x", "y"));
}

TEST(StrTrim, RemovesAsciiWhiteSpaceOnlyAtBothEnds) {
  struct Case {
    std::string input, expected;
  } cases[] = {
      {"  a b \t\r\n", "a b"}, {"\v\fx\v\f", "x"}, {"   ", ""}, {"", ""},
      // bytes >= 0x80 are never white space, even 0xa0 (no-break space in Latin-1)
      {"\xa0\xa4\x40\xa0", "\xa0\xa4\x40\xa0"},
  };
  for (const Case& c : cases) {
    std::string s = c.input;
    strTrim(s);
    EXPECT_EQ(s, c.expected);
  }
  char buffer[] = "text \t\r\n\v";
  strTrimRight(buffer);
  EXPECT_STREQ(buffer, "text \t\r\n\v");  // VT is not one of the four it cuts
  char plain[] = "text \t\r\n";
  strTrimRight(plain);
  EXPECT_STREQ(plain, "text");
}

TEST(StrCase, FoldsAsciiLettersOnly) {
  std::string s = "AbZ\xc4\xe4-9";
  strToLower(s);
  EXPECT_EQ(s, "abz\xc4\xe4-9");
  strToUpper(s);
  EXPECT_EQ(s, "ABZ\xc4\xe4-9");
  char* dup = nullptr;
  strLowerDup("MAC.Macb", &dup);
  EXPECT_STREQ(dup, "mac.macb");
  free(dup);
}

TEST(StrReplaceAll, NeverSearchesInsertedText) {
  struct Case {
    std::string input, from, to, expected;
  } cases[] = {
      {"aaa", "a", "aa", "aaaaaa"}, {"a-b-c", "-", "", "abc"}, {"abc", "", "x", "abc"},
      {"xyxy", "xy", "y", "yy"},    {"none", "z", "q", "none"},
  };
  for (const Case& c : cases) {
    std::string s = c.input;
    strReplaceAll(s, c.from, c.to);
    EXPECT_EQ(s, c.expected) << c.input << " " << c.from;
  }
  char buffer[] = "a_b_c";
  EXPECT_EQ(strReplaceChar(buffer, '_', '+'), 5);
  EXPECT_STREQ(buffer, "a+b+c");
}

TEST(StrToInt, ReadsLikeAtoiAndSaturates) {
  struct Case {
    const char* input;
    int expected;
  } cases[] = {
      {"  42", 42},          {"-7x", -7},          {"2.5", 2},   {"word", 0}, {"", 0},
      {"+3", 3},             {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1},
      {"-2147483648", -2147483647 - 1},
  };
  for (const Case& c : cases) EXPECT_EQ(strToInt(c.input), c.expected) << c.input;
}

TEST(StrToExact, ReadTheWholeTextOrNothing) {
  struct Case {
    const char* input;
    bool isInt;
    int intValue;
    bool isDouble;
    double doubleValue;
    bool isFloat;
  } cases[] = {
      {" 42\t", true, 42, true, 42, true},     {"-7", true, -7, true, -7, true},
      {"+3", true, 3, true, 3, true},           {"2.5", false, 0, true, 2.5, true},
      {"-.5e1", false, 0, true, -5, true},      {"1e39", false, 0, true, 1e39, false},
      {"-7x", false, 0, false, 0, false},       {"x1", false, 0, false, 0, false},
      {"", false, 0, false, 0, false},          {" ", false, 0, false, 0, false},
      {"-", false, 0, false, 0, false},         {"1 2", false, 0, false, 0, false},
      {"nan", false, 0, false, 0, false},       {"inf", false, 0, false, 0, false},
      {"-infinity", false, 0, false, 0, false}, {"0x10", false, 0, false, 0, false},
      {"1e999", false, 0, false, 0, false},     {"2147483647", true, 2147483647, true, 2147483647, true},
      {"2147483648", false, 0, true, 2147483648.0, true},
      {"-2147483648", true, -2147483647 - 1, true, -2147483648.0, true},
  };
  for (const Case& c : cases) {
    int i = 123;
    double d = 123;
    float f = 123;
    EXPECT_EQ(strToIntExact(c.input, i), c.isInt) << c.input;
    EXPECT_EQ(i, c.isInt ? c.intValue : 123) << c.input;
    EXPECT_EQ(strToDoubleExact(c.input, d), c.isDouble) << c.input;
    EXPECT_EQ(d, c.isDouble ? c.doubleValue : 123) << c.input;
    EXPECT_EQ(strToFloatExact(c.input, f), c.isFloat) << c.input;
    EXPECT_EQ(f, c.isFloat ? static_cast<float>(c.doubleValue) : 123.0f) << c.input;
  }
}

TEST(WordCount, CountsRunsUpToFirstLineEnd) {
  const char text[] = " one  two\tthree\nfour";
  EXPECT_EQ(wordCount(text, static_cast<int>(strlen(text))), 3);
  EXPECT_EQ(wordCount(text, 6), 1);   // " one  "
  EXPECT_EQ(wordCount(text, 7), 2);   // " one  t"
}

TEST(Join, JoinsWithDelimiterBetweenElements) {
  std::string out = "old";
  strVecJoin({}, "-", out);
  EXPECT_EQ(out, "");
  strVecJoin({"a", "b", "c"}, "--", out);
  EXPECT_EQ(out, "a--b--c");
  EXPECT_EQ(stringJoin({"x"}, " "), "x");
  intVecJoin({3, -1, 0}, ",", out);
  EXPECT_EQ(out, "3,-1,0");
  intVecJoin({}, ",", out);
  EXPECT_EQ(out, "");
}

TEST(StrVecCombine, FirstPositionVariesFastest) {
  strVec out;
  strVecCombine({{"x", "y"}, {"p", "q"}}, out);
  EXPECT_THAT(out, ElementsAre("x-p", "y-p", "x-q", "y-q"));
  strVecCombine({{"a", "b", "c"}}, out);
  EXPECT_THAT(out, ElementsAre("a", "b", "c"));
  strVecCombine({{"a"}, {"b"}, {"c", "d"}}, out);
  EXPECT_THAT(out, ElementsAre("a-b-c", "a-b-d"));
  strVecCombine({{"x", "y"}, {}, {"c"}}, out);
  EXPECT_TRUE(out.empty());
  strVecCombine({{"x", "y"}, {"p", "q", "r"}, {"1", "2"}}, out);
  ASSERT_EQ(out.size(), 12u);
  EXPECT_EQ(out[0], "x-p-1");
  EXPECT_EQ(out[7], "y-p-2");
  EXPECT_EQ(out[11], "y-r-2");
}

TEST(StrVecLinSearch, FirstOccurrenceDecidesThePosition) {
  const strVec vec{"cab", "abab", "ab", "xaby", "zz"};
  struct Case {
    int matchPos;
    std::vector<int> expected;
  } cases[] = {{0, {0, 1, 2, 3}}, {1, {1, 2}}, {2, {0, 2}}, {3, {2}}};
  for (const Case& c : cases) {
    std::vector<int> out{99};
    strVecLinSearch(vec, "ab", out, c.matchPos);
    EXPECT_EQ(out, c.expected) << c.matchPos;
  }
  std::vector<int> out;
  strVecLinSearch(vec, "none", out, 7);  // no element holds the key: no error
  EXPECT_TRUE(out.empty());
  tulim::test::envScope temp("temp", nullptr);
  try {
    strVecLinSearch(vec, "ab", out, 7);
    ADD_FAILURE() << "no error";
  } catch (char* message) {
    EXPECT_THAT(message, testing::MatchesRegex("Unknown matchPos in strVecLinSearch \\(line [0-9]+ of stringUtil\\)"));
  }
}

TEST(StrVecBinSearch, FindsExactOrPrefixWithinBounds) {
  const strVec vec{"a", "ab", "abc", "b", "\xa4\x40"};  // byte order: 0xa4 after ASCII
  struct Case {
    std::string key;
    bool prefix;
    std::vector<int> expected;
  } cases[] = {
      {"ab", false, {1}},  {"abd", false, {}}, {"zzz", false, {}},    {"", false, {}},
      {"\xa4\x40", false, {4}}, {"b", true, {3}},   {"abcd", true, {}}, {"\xa4", true, {4}},
      {"\xff", true, {}},
  };
  for (const Case& c : cases) {
    std::vector<int> out{99};
    strVecBinSearch(vec, c.key, out, c.prefix);
    EXPECT_EQ(out, c.expected) << c.key << " " << c.prefix;
  }
  std::vector<int> out;
  strVecBinSearch({}, "a", out, false);
  EXPECT_TRUE(out.empty());
}

TEST(StrVecHelpers, FindRemoveEmptyAndUniqueIndex) {
  EXPECT_EQ(strVecFind({"xa", "ab", "b"}, "b"), 1);
  EXPECT_EQ(strVecFind({"xa"}, "q"), -1);

  strVec withEmpty{"", "a", "", "b", ""};
  strVecRemoveEmpty(withEmpty);
  EXPECT_THAT(withEmpty, ElementsAre("a", "b"));

  strVec vec{"b", "a", "b"};
  std::vector<int> index;
  uniqueIndexGet(vec, index);
  EXPECT_THAT(vec, ElementsAre("a", "b"));
  EXPECT_THAT(index, ElementsAre(1, 0));
}

TEST(StrVecPrint, PrintsIndexedLinesOrWritesFile) {
  testing::internal::CaptureStdout();
  strVecPrint({}, "empty");
  strVecPrint({"x", "y"}, "v");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "empty has zero element!\nv[0] = x\nv[1] = y\n");

  tulim::test::scratchDir dir;
  testing::internal::CaptureStdout();
  strVecPrint({"x", "y"}, "v", dir.file("out.txt"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(tulim::test::readFile(dir.file("out.txt")), "x\ny\n");
}

TEST(CompareFunctions, OrderValuesAndTreatNanAsEqual) {
  int a = 1, b = 2;
  EXPECT_EQ(intCompare(&a, &b), -1);
  EXPECT_EQ(intCompare(&b, &a), 1);
  EXPECT_EQ(intCompare(&a, &a), 0);
  float nan = std::nanf(""), one = 1.0f;
  EXPECT_EQ(floatCompare(&nan, &one), 0);
  double x = -0.5, y = -0.25;
  EXPECT_EQ(doubleCompare(&x, &y), -1);
}

TEST(BlankChars, IsBlankCharAndIsWhiteSpace) {
  for (int c : std::initializer_list<int>{0, '\t', '\n', '\r', ' '}) EXPECT_EQ(isBlankChar(c), 1) << c;
  for (int c : std::initializer_list<int>{'\v', '\f', 'a', 0xa0}) EXPECT_EQ(isBlankChar(c), 0) << c;
  for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) EXPECT_TRUE(isWhiteSpace(c));
  EXPECT_FALSE(isWhiteSpace('\xa0'));
  EXPECT_FALSE(isWhiteSpace('\0'));
}

TEST(StringUtil, StrVecPrintToAFileReportsAFullDisk) {
  EXPECT_THAT(tulim::test::expectFatal([] { strVecPrint(strVec{"a"}, "v", "/dev/full"); }),
              testing::MatchesRegex("Cannot write file /dev/full: No space left on device \\(line [0-9]+ of utility\\)"));
}
