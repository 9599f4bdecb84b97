#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "dictClass.h"
#include "fatalCatch.h"
#include "macroClass.h"
#include "modelSetFixture.h"
#include "testFiles.h"
#include "textClass.h"
#include "utility.h"
#include "waveFileFixture.h"

using namespace tulim;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::MatchesRegex;
using tulim::test::readFile;
using tulim::test::scratchDir;
using tulim::test::expectFatal;
using tulim::test::le32;

namespace {

macroClass namedModels(const strVec& names) {
  macroClass mac;
  tulim::test::modelSetPrepare(mac, names);
  return mac;
}

struct wpaView {
  std::string word;
  strVec pa;
  bool operator==(const wpaView& o) const { return word == o.word && pa == o.pa; }
};

std::vector<wpaView> view(const std::vector<wpaEntry>& entries) {
  std::vector<wpaView> out;
  for (const wpaEntry& e : entries) out.push_back({e.word, e.pa});
  return out;
}

std::string lenStr(const std::string& s) { return le32(static_cast<int32_t>(s.size())) + s; }

// A pinyin table of three rows: column 1 "krv", column 2 a Big5 spelling, column 3 "hanyu".
const char* const pinyinTableText =
    "1\tba1\t\xa3\x74\xa3\x59\tba1\n"
    "2\tma3\t\xa3\x75\xa3\x59\tma3\n"
    "3\tzhong1\t\xa3\x7e\xa3\xb8\tzhong1\n";

}  // namespace

// ---- English lexicons --------------------------------------------------------------------

TEST(WpaRead, ThreeEnglishFormsGiveTheSameEntries) {
  scratchDir dir;
  std::string text = dir.write("lex.wpa",
                               "% comment\n"
                               "\n"
                               "hello\th_ax_l_ow#h_eh_l_ow\n"
                               "world\tw_er_l_d\n");
  dictClass fromText;
  fromText.wpaRead(text, "english");

  dictClass fromString;
  testing::internal::CaptureStdout();
  fromString.wpaRead("hello h_ax_l_ow#h_eh_l_ow@@%skipped x@world w_er_l_d", "english");
  EXPECT_THAT(testing::internal::GetCapturedStdout(),
              MatchesRegex("Read WPA from the given string \\(line [0-9]+ in dict\\)\\.\\.\\.\n"));

  std::string bin = dir.file("lex.wpab");
  fromText.wpabWrite(bin);
  dictClass fromBinary;
  fromBinary.wpaRead(bin, "english");

  std::vector<wpaView> expected = {{"hello", {"h_ax_l_ow", "h_eh_l_ow"}}, {"world", {"w_er_l_d"}}};
  EXPECT_EQ(view(fromText.m_wpa), expected);
  EXPECT_EQ(view(fromString.m_wpa), expected);
  EXPECT_EQ(view(fromBinary.m_wpa), expected);
  for (const wpaEntry& e : fromBinary.m_wpa) EXPECT_TRUE(e.paTag.empty());
}

TEST(WpabWrite, PinsTheLittleEndianLayout) {
  scratchDir dir;
  dictClass dict;
  dict.m_wpa = {{"ab", {"a_b", "c"}, {}}, {"\xa4\x40", {"d"}, {}}};
  dict.wpabWrite(dir.file("x.wpab"));
  std::string expected =
      le32(2) + lenStr("ab") + le32(2) + lenStr("a_b") + lenStr("c") + lenStr("\xa4\x40") + le32(1) + lenStr("d");
  EXPECT_EQ(readFile(dir.file("x.wpab")), expected);
}

TEST(WpabRead, RejectsCorruptImages) {
  std::string good = le32(1) + lenStr("ab") + le32(1) + lenStr("a_b");
  struct Case {
    const char* name;
    std::string data;
    const char* message;
  } cases[] = {
      {"empty", "", "truncated image \"x.wpab\""},
      {"negative count", le32(-1), "Error in reading \"x.wpab\": entry count -1 does not fit"},
      {"count past the end", le32(3) + lenStr("ab") + le32(0), "entry count 3 does not fit in the 10 bytes left"},
      {"negative word length", le32(1) + le32(-5) + le32(0), "word length -5 is outside"},
      {"word at the limit", le32(1) + le32(1000) + std::string(1000, 'w') + le32(0),
       "word length 1000 is outside [0, MAX_WPA_WORD_LEN = 1000)"},
      {"word past the end", le32(1) + le32(50) + "abc" + le32(0), "truncated image \"x.wpab\""},
      {"PA count past the end", le32(1) + lenStr("ab") + le32(9), "PA count 9 does not fit"},
      {"PA at the limit", le32(1) + lenStr("ab") + le32(1) + le32(100) + std::string(100, 'p'),
       "PA length 100 is outside [0, MAX_WPA_PA_LEN = 100)"},
      {"truncated PA", good.substr(0, good.size() - 1), "truncated image \"x.wpab\""},
      {"bytes after the last entry", good + "z", "image \"x.wpab\" has 1 bytes after its end"},
      {"no pronunciation", le32(1) + lenStr("ab") + le32(0), "x.wpab, entry 0: \"ab\" has an empty pronunciation"},
      {"empty pronunciation", le32(1) + lenStr("ab") + le32(2) + lenStr("a") + le32(0),
       "x.wpab, entry 0: \"ab\" has an empty pronunciation"},
  };
  for (const Case& c : cases) {
    dictClass dict;
    std::string message = expectFatal([&] { dict.wpabReadFromBuffer(c.data.data(), c.data.size(), "x.wpab"); });
    EXPECT_THAT(message, HasSubstr(c.message)) << c.name;
    EXPECT_THAT(message, MatchesRegex(".* \\(line [0-9]+ (in|of) [a-zA-Z]+\\)")) << c.name;
  }
  scratchDir dir;
  std::string file = dir.write("short.wpab", good.substr(0, 6));
  dictClass fromFile;
  EXPECT_THAT(expectFatal([&] { fromFile.wpaRead(file, "english"); }), HasSubstr("short.wpab"));
  dictClass dict;
  dict.wpabReadFromBuffer(good.data(), good.size());
  EXPECT_EQ(view(dict.m_wpa), (std::vector<wpaView>{{"ab", {"a_b"}}}));
}

TEST(WpabWrite, RefusesWordsItsReaderWouldReject) {
  scratchDir dir;
  dictClass dict;
  dict.m_wpa = {{std::string(1000, 'w'), {"a"}, {}}};
  EXPECT_THAT(expectFatal([&] { dict.wpabWrite(dir.file("x.wpab")); }), HasSubstr("MAX_WPA_WORD_LEN = 1000"));
  dict.m_wpa = {{"w", {std::string(100, 'p')}, {}}};
  EXPECT_THAT(expectFatal([&] { dict.wpabWrite(dir.file("x.wpab")); }), HasSubstr("MAX_WPA_PA_LEN = 100"));
  dict.m_wpa = {{"w", {"a", ""}, {}}};
  EXPECT_THAT(expectFatal([&] { dict.wpabWrite(dir.file("x.wpab")); }), HasSubstr("\"w\" has an empty pronunciation"));
}

TEST(WpaTextRead, WrongFieldCountPrintsDiagnosticsAndRaises) {
  scratchDir dir;
  struct Case {
    const char* language;
    std::string good;
    std::string line;
    int fields;
  } cases[] = {
      {"english", "ok\ta", "hello\th_ax\textra", 3},
      {"english", "ok\ta", "hello", 1},
      {"chinese", "\xa4\x41\t1\tx\tt\tx", "\xa4\x40\t1\tx\tt", 4},
  };
  for (const Case& c : cases) {
    std::string file = dir.write("bad.wpa", c.good + "\n" + c.line + "\n");
    dictClass dict;
    dict.pinyinTableRead(dir.write("py.txt", pinyinTableText));
    testing::internal::CaptureStdout();
    std::string message = expectFatal([&] { dict.wpaRead(file, c.language); });
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_THAT(message, MatchesRegex("Wrong format of .*/bad\\.wpa \\(line [0-9]+ in dict\\)"));
    EXPECT_THAT(out, MatchesRegex("line=" + c.line +
                                  " \\(line=[0-9]+, file=dict\\)\n"
                                  "token1\\.size\\(\\)=" +
                                  std::to_string(c.fields) + " \\(line=[0-9]+, file=dict\\)\n"));
  }
}

TEST(WpaTextRead, EmptyPronunciationsAreFormatErrorsWithFileAndLine) {
  scratchDir dir;
  struct Case {
    const char* language;
    std::string line;
  } cases[] = {
      {"english", "do\t"},      {"english", "do\td_o##r_e"}, {"english", "do\t#d_o"},
      {"english", "do\td_o#"},  {"chinese", "\xa4\x40\t\tx\tt\tx"}, {"chinese", "\xa4\x40\t1,4\tx\tt,u\tx"},
  };
  for (const Case& c : cases) {
    const std::string file = dir.write("bad.wpa", "% lexicon\n" + c.line + "\n");
    dictClass dict;
    // Row 4 has an empty spelling in column 3.
    dict.pinyinTableRead(dir.write("py.txt", pinyinTableText + std::string("4\tk\tk\t\n")));
    EXPECT_THAT(expectFatal([&] { dict.wpaRead(file, c.language); }),
                MatchesRegex("Wrong format of .*/bad\\.wpa, line 2: \".*\" has an empty pronunciation "
                             "\\(line [0-9]+ in dict\\)"))
        << c.line;
  }
  dictClass dict;
  EXPECT_THAT(expectFatal([&] { dict.wpaStringRead("re r_e@do d_o##r_e", "english", dict.m_wpa); }),
              MatchesRegex("Wrong format of do d_o##r_e: \"do\" has an empty pronunciation \\(line [0-9]+ in dict\\)"));
}

TEST(WpaRead, LexiconsOutOfOrderAreSortedForTheLookUps) {
  scratchDir dir;
  const std::string text = dir.write("lex.wpa", "re\tr_e\ndo\td_o\nmi\tm_i\n");
  dictClass fromText;
  fromText.wpaRead(text, "english");
  dictClass fromString;
  testing::internal::CaptureStdout();
  fromString.wpaRead("re r_e@do d_o@mi m_i", "english");
  testing::internal::GetCapturedStdout();
  for (const dictClass* dict : {&fromText, &fromString}) {
    EXPECT_EQ(view(dict->m_wpa), (std::vector<wpaView>{{"do", {"d_o"}}, {"mi", {"m_i"}}, {"re", {"r_e"}}}));
    EXPECT_EQ(dict->wpaFind("re"), 2);
  }
}

TEST(WpaStringRead, RejectsMalformedPiecesAndOtherLanguages) {
  dictClass dict;
  testing::internal::CaptureStdout();
  std::string message = expectFatal([&] { dict.wpaStringRead("a x@b c d", "english", dict.m_wpa); });
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(message, MatchesRegex("Wrong format of b c d \\(line [0-9]+ in dict\\)"));
  EXPECT_THAT(out, HasSubstr("line=b c d (line="));
  EXPECT_THAT(out, HasSubstr("token1.size()=3 (line="));
  ASSERT_EQ(dict.m_wpa.size(), 1u) << "what was read before the error stays";

  EXPECT_THAT(expectFatal([&] { dict.wpaStringRead("a x", "chinese", dict.m_wpa); }),
              MatchesRegex("Unsupported language chinese \\(line [0-9]+ in dict\\)"));
}

TEST(WpaRead, EmptyStringLeavesLexiconEmptyAndUnknownExtensionIsFatal) {
  dictClass dict;
  testing::internal::CaptureStdout();
  dict.wpaRead("", "english");
  EXPECT_THAT(testing::internal::GetCapturedStdout(), HasSubstr("Read WPA from the given string"));
  EXPECT_TRUE(dict.m_wpa.empty());

  scratchDir dir;
  std::string file = dir.write("lex.txt", "a\tb\n");
  EXPECT_THAT(expectFatal([&] { dict.wpaRead(file, "english"); }),
              MatchesRegex("Error in reading \".*/lex\\.txt\": The only allowed extension are \"wpa\" and "
                           "\"wpab\" \\(line [0-9]+ of dict\\) \n"));
}

TEST(WpaTextRead, OtherLanguagesReadNothingAndEmptyNameClears) {
  scratchDir dir;
  std::string file = dir.write("lex.wpa", "a\tb\n");
  dictClass dict;
  dict.m_wpaAddenda = {{"old", {"x"}, {}}};
  dict.wpaAddendaRead(file, "japanese");
  EXPECT_TRUE(dict.m_wpaAddenda.empty());
  dict.wpaAddendaRead(file, "english");
  EXPECT_EQ(dict.m_wpaAddenda.size(), 1u);
  dict.wpaAddendaRead("", "english");
  EXPECT_TRUE(dict.m_wpaAddenda.empty());
}

// ---- Chinese lexicon ----------------------------------------------------------------------

TEST(WpaTextRead, ChineseEntriesTakeColumnThreeOfTheNamedRows) {
  scratchDir dir;
  dictClass dict;
  dict.pinyinTableRead(dir.write("py.txt", pinyinTableText));
  ASSERT_EQ(dict.m_pinyinTable.size(), 3u);
  EXPECT_THAT(dict.m_pinyinTable[1], ElementsAre("2", "ma3", "\xa3\x75\xa3\x59", "ma3"));
  std::string file = dir.write("zh.wpa",
                               "\xa4\x40\t3,1\tunused\tt1,t2\tunused\n"
                               "\xa4\x41\t2\tunused\tq\tunused\n");
  dict.wpaRead(file, "chinese");
  ASSERT_EQ(dict.m_wpa.size(), 2u);
  EXPECT_EQ(dict.m_wpa[0].word, "\xa4\x40");
  EXPECT_THAT(dict.m_wpa[0].pa, ElementsAre("zhong1", "ba1"));
  EXPECT_THAT(dict.m_wpa[0].paTag, ElementsAre("t1", "t2"));
  EXPECT_THAT(dict.m_wpa[1].pa, ElementsAre("ma3"));
  EXPECT_EQ(dict.wpaFind("\xa4\x41"), 1);
}

TEST(WpaTextRead, ChineseRowsOutsideTheTableAreFatal) {
  scratchDir dir;
  dictClass dict;
  dict.pinyinTableRead(dir.write("py.txt", pinyinTableText + std::string("4\tshort\n")));
  struct Case {
    const char* rows;
    const char* message;
  } cases[] = {
      {"0", "pinyin table row 0 at line 2 is outside 1..4"},
      {"5", "pinyin table row 5 at line 2 is outside 1..4"},
      {"1,,2", "pinyin table row 0 at line 2"},
      {"4", "pinyin table row 4 named at line 2 has 2 cells, fewer than 4"},
  };
  for (const Case& c : cases) {
    std::string file =
        dir.write("zh.wpa", std::string("\xa4\x40\t1\tu\tt\tu\n\xa4\x41\t") + c.rows + "\tu\tt,t,t\tu\n");
    std::string message = expectFatal([&] { dict.wpaRead(file, "chinese"); });
    EXPECT_THAT(message, MatchesRegex("Wrong format of .*zh\\.wpa: .* \\(line [0-9]+ in dict\\)")) << c.rows;
    EXPECT_THAT(message, HasSubstr(c.message)) << c.rows;
  }
}

TEST(WpaTextRead, MissingChineseTagsAreEmptyWithAWarning) {
  scratchDir dir;
  dictClass dict;
  dict.pinyinTableRead(dir.write("py.txt", pinyinTableText));
  std::string file = dir.write("zh.wpa", "\xa4\x40\t1,2,3\tu\tt1\tu\n");
  testing::internal::CaptureStdout();
  dict.wpaRead(file, "chinese");
  EXPECT_THAT(testing::internal::GetCapturedStdout(), MatchesRegex("Warning: .*zh\\.wpa line 1 has 1 tags for 3 "
                                                                   "alternatives; the missing tags are empty\n"));
  ASSERT_EQ(dict.m_wpa.size(), 1u);
  EXPECT_THAT(dict.m_wpa[0].paTag, ElementsAre("t1", "", ""));
}

// ---- Merging ------------------------------------------------------------------------------

TEST(WpaMerge, ReplacesAWordThatSortsAfterAppendedWords) {
  dictClass dict;
  dict.m_wpa = {{"c", {"c0"}, {}}, {"d", {"d0"}, {}}};
  // With a, a1 and a2 appended first, a plain binary search for "d" over the unsorted
  // vector walks right past it.
  dict.m_wpaAddenda = {{"a", {"a1"}, {}}, {"a1", {"x"}, {}}, {"a2", {"y"}, {}}, {"d", {"d1", "d2"}, {}}};
  testing::internal::CaptureStdout();
  dict.wpaMerge();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\tOld entry: word=d, pa=d0\n"
            "\tNew entry: word=d, pa=d1#d2\n");
  EXPECT_EQ(view(dict.m_wpa),
            (std::vector<wpaView>{{"a", {"a1"}}, {"a1", {"x"}}, {"a2", {"y"}}, {"c", {"c0"}}, {"d", {"d1", "d2"}}}));
  EXPECT_TRUE(dict.m_wpaAddenda.empty());
}

TEST(WpaMerge, LaterAddendumReplacesAnAppendedWord) {
  dictClass dict;
  dict.m_wpa = {{"m", {"m0"}, {}}};
  dict.m_wpaAddenda = {{"z", {"z1"}, {}}, {"b", {"b1"}, {}}, {"z", {"z2"}, {"tag"}}};
  testing::internal::CaptureStdout();
  dict.wpaMerge();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\tOld entry: word=z, pa=z1\n"
            "\tNew entry: word=z, pa=z2\n");
  EXPECT_EQ(view(dict.m_wpa), (std::vector<wpaView>{{"b", {"b1"}}, {"m", {"m0"}}, {"z", {"z2"}}}));
  EXPECT_THAT(dict.m_wpa[2].paTag, ElementsAre("tag"));
  for (const char* w : {"b", "m", "z"}) EXPECT_GE(dict.wpaFind(w), 0) << w;
}

// ---- Pronunciation dictionary ------------------------------------------------------------

TEST(PronDictCreate, EnglishModelNamesUseTheRightContext) {
  macroClass mac = namedModels({"a+b", "b+sil", "c+sil", "sil", "sp"});
  dictClass dict;
  dict.wpaStringRead("ab a_b#c@see c", "english", dict.m_wpa);
  dict.wpaSort();
  dict.pronDictCreate({"ab see\textra", "see"}, mac);
  ASSERT_EQ(dict.m_pronDict.size(), 4u);
  EXPECT_EQ(dict.m_pronDict[0].syl, "a_b");
  EXPECT_EQ(dict.m_pronDict[1].syl, "c");
  EXPECT_EQ(dict.m_pronDict[2].syl, "sil");
  EXPECT_EQ(dict.m_pronDict[3].syl, "sp");
  EXPECT_THAT(dict.m_pronDict[0].modelIndex, ElementsAre(mac.findModelIndex("a+b"), mac.findModelIndex("b+sil")));
  EXPECT_THAT(dict.m_pronDict[1].modelIndex, ElementsAre(mac.findModelIndex("c+sil")));
  EXPECT_THAT(dict.m_pronDict[2].modelIndex, ElementsAre(mac.findModelIndex("sil")));
  EXPECT_THAT(dict.m_pronDict[3].modelIndex, ElementsAre(mac.findModelIndex("sp")));
  EXPECT_EQ(dict.findSyllable("c"), 1);

  scratchDir dir;
  dict.pronDictWrite(dir.file("output.dic"), mac);
  EXPECT_EQ(readFile(dir.file("output.dic")),
            "a_b\ta+b b+sil\n"
            "c\tc+sil\n"
            "sil\tsil\n"
            "sp\tsp\n");
}

TEST(PronDictCreate2, TakesThePronunciationsOfTheTexts) {
  macroClass mac = namedModels({"x+sil", "sil", "sp"});
  dictClass dict;
  dict.pronDictCreate2({"x-sil-x\t0", "sp-x"}, mac);
  ASSERT_EQ(dict.m_pronDict.size(), 3u);
  EXPECT_EQ(dict.m_pronDict[0].syl, "sil");
  EXPECT_EQ(dict.m_pronDict[1].syl, "sp");
  EXPECT_EQ(dict.m_pronDict[2].syl, "x");
}

TEST(PronDictRead, ReadsModelListsAndRefusesEntriesWithoutModels) {
  macroClass mac = namedModels({"a", "b", "c"});
  scratchDir dir;
  std::string file = dir.write("dic.txt",
                               "% comment\n"
                               "ka a b \t\r\n"
                               "\n"
                               "ma c q+r\n");
  dictClass dict;
  dict.pronDictLoad(file, mac);
  ASSERT_EQ(dict.m_pronDict.size(), 2u);
  EXPECT_EQ(dict.m_pronDict[0].syl, "ka");
  EXPECT_THAT(dict.m_pronDict[0].modelIndex, ElementsAre(0, 1));
  EXPECT_EQ(dict.m_pronDict[1].syl, "ma");
  ASSERT_EQ(dict.m_pronDict[1].modelIndex.size(), 2u);
  EXPECT_EQ(dict.m_pronDict[1].modelIndex[0], 2);

  for (const char* line : {"pa\n", "pa \t\n"}) {
    std::string bad = dir.write("bad.txt", std::string("ka a\n") + line);
    dictClass fresh;
    EXPECT_THAT(expectFatal([&] { fresh.pronDictRead(bad, mac); }),
                MatchesRegex("Error in dictClass::pronDictRead when reading .*bad\\.txt: syllable \"pa\" at line 2 "
                             "has no models \\(line [0-9]+ in dict\\)"));
  }
}

TEST(PronDictRead, RefusesEntriesOutOfOrderWithFileAndLine) {
  macroClass mac = namedModels({"a", "b", "c"});
  scratchDir dir;
  for (const char* second : {"do a\n", "mi b\n"}) {
    const std::string file = dir.write("dic.txt", std::string("mi a\n% comment\n") + second + "re c\n");
    dictClass dict;
    EXPECT_THAT(expectFatal([&] { dict.pronDictRead(file, mac); }),
                MatchesRegex("Error in dictClass::pronDictRead when reading .*dic\\.txt: syllable \"(do|mi)\" at line 3 "
                             "does not come after \"mi\"; the entries must be in ascending byte order without "
                             "repeats \\(line [0-9]+ in dict\\)"))
        << second;
  }
}

TEST(PronDictRead, RefusesTinyModelSetsAndMissingFiles) {
  scratchDir dir;
  std::string file = dir.write("dic.txt", "ka a\n");
  dictClass dict;
  macroClass one = namedModels({"a"});
  EXPECT_THAT(expectFatal([&] { dict.pronDictRead(file, one); }),
              MatchesRegex("Error in dictClass::pronDictRead when reading .*dic\\.txt: Macro is too small "
                           "\\(line [0-9]+ in of dict\\)"));
  macroClass two = namedModels({"a", "b"});
  EXPECT_THAT(expectFatal([&] { dict.pronDictRead(dir.file("none.txt"), two); }),
              MatchesRegex("Unable to open .*none\\.txt \\(line [0-9]+ in dict\\)"));
  EXPECT_THAT(expectFatal([&] { dict.pronDictRead(dir.path(), two); }), HasSubstr("Unable to open "));
}

TEST(PronDictWrite, UnknownModelsAreWrittenAsQuestionMarks) {
  macroClass mac = namedModels({"a", "b"});
  dictClass dict;
  dict.m_pronDict = {{"ka", {0, -1, 1}}};
  scratchDir dir;
  dict.pronDictWrite(dir.file("o.dic"), mac);
  EXPECT_EQ(readFile(dir.file("o.dic")), "ka\ta ??? b\n");
  testing::internal::CaptureStdout();
  dict.pronDictPrint(mac);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "m_pronDict[0] = ka: a[0] ???[-1] b[1]\n");
}

TEST(FindSyllable, MissesOutsideTheRangeAndOnAnEmptyDictionary) {
  dictClass dict;
  EXPECT_EQ(dict.findSyllable("a"), -1);
  dict.m_pronDict = {{"b", {0}}, {"d", {0}}, {"f", {0}}};
  struct Case {
    const char* syl;
    int index;
  } cases[] = {{"a", -1}, {"b", 0}, {"c", -1}, {"d", 1}, {"f", 2}, {"g", -1}, {"\xa4\x40", -1}};
  for (const Case& c : cases) EXPECT_EQ(dict.findSyllable(c.syl), c.index) << c.syl;
}

TEST(PronDictSort, SortsByteWiseWithDuplicatesAndSortedInput) {
  dictClass dict;
  strVec syls = {"m", "\xa4\x40", "b", "m", "a", "z", "b", "c"};
  for (size_t i = 0; i < syls.size(); ++i) dict.m_pronDict.push_back({syls[i], {static_cast<int>(i)}});
  dict.pronDictSort(0, static_cast<int>(dict.m_pronDict.size()) - 1);
  strVec got;
  for (const pronEntry& e : dict.m_pronDict) got.push_back(e.syl);
  std::sort(syls.begin(), syls.end());
  EXPECT_EQ(got, syls);
  EXPECT_EQ(dict.m_pronDict.back().syl, "\xa4\x40");

  dictClass big;
  for (int i = 0; i < 2000; ++i) big.m_pronDict.push_back({strFormat("s%06d", 1999 - i), {i}});
  big.pronDictSort(0, 1999);
  EXPECT_EQ(big.m_pronDict[1234].syl, "s001234");
}

// ---- Writers ------------------------------------------------------------------------------

TEST(WpaForTexts, WritesTheEntriesOfTheWordsInTheTexts) {
  dictClass dict;
  dict.wpaStringRead("a x@b y#z@c w", "english", dict.m_wpa);
  textClass text;
  text.m_txtVsNormalized = {"c a", "a q"};
  scratchDir dir;
  testing::internal::CaptureStdout();
  dict.wpaForTexts(dir.file("output.wpa"), text, "english");
  EXPECT_THAT(testing::internal::GetCapturedStdout(),
              MatchesRegex("Warning: Found no PA for \"q\" in .*output\\.wpa! \\(line [0-9]+ in dict\\)\n"));
  EXPECT_EQ(readFile(dir.file("output.wpa")), "a\tx\nc\tw\n");

  dict.wpaWrite(dir.file("all.wpa"));
  EXPECT_EQ(readFile(dir.file("all.wpa")), "a\tx\nb\ty#z\nc\tw\n");
}

TEST(DictWriters, AFullDiskIsFatalNamingTheFile) {
  macroClass mac = namedModels({"a", "b"});
  dictClass dict;
  dict.m_pronDict = {{"ka", {0, 1}}};
  dict.wpaStringRead("a x@c w", "english", dict.m_wpa);
  textClass text;
  text.m_txtVsNormalized = {"c a"};
  const std::function<void()> writes[] = {
      [&] { dict.pronDictWrite("/dev/full", mac); },
      [&] { dict.wpaForTexts("/dev/full", text, "english"); },
      [&] { dict.wpaWrite("/dev/full"); },
      [&] { dict.wpabWrite("/dev/full"); },
  };
  for (const std::function<void()>& write : writes)
    EXPECT_THAT(expectFatal(write), MatchesRegex("Cannot write file /dev/full: No space left on device \\(line [0-9]+ of utility\\)"));
}

TEST(WpaPrint, PrintsWordsAlternativesAndTags) {
  dictClass dict;
  dict.m_wpa = {{"w", {"p", "q"}, {"t", "u"}}};
  dict.m_wpaAddenda = {{"v", {"r"}, {}}};
  testing::internal::CaptureStdout();
  dict.wpaPrint();
  dict.wpaAddendaPrint();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "0: w\tp#q\tt#u\n0: v\tr\t\n");
}

TEST(PronDictBrowse, ShowsEntriesAndEndsAtEndOfInput) {
  macroClass mac = namedModels({"a", "b"});
  dictClass dict;
  dict.m_pronDict = {{"ka", {0, -1}}, {"ma", {1}}};
  scratchDir dir;
  struct Case {
    const char* input;
    const char* tail;
  } cases[] = {
      {"1\n", "Please input a syllable index within [0 1]: \n"},
      {"1\n7\n", "Please input a syllable index within [0 1]: Index out of bound! Exiting...\n"},
  };
  for (const Case& c : cases) {
    FILE* saved = stdin;
    stdin = fopen(dir.write("in.txt", c.input).c_str(), "r");
    testing::internal::CaptureStdout();
    dict.pronDictBrowse(mac);
    std::string out = testing::internal::GetCapturedStdout();
    fclose(stdin);
    stdin = saved;
    EXPECT_EQ(out, std::string("m_pronDict.size() = 2\n"
                               "Please input a syllable index within [0 1]: "
                               "\tSyllable index = 1\n"
                               "\tSyllable string = ma\n"
                               "\tModel number = 1\n"
                               "\tModel index = 1:b \n") +
                       c.tail);
  }
  FILE* saved = stdin;
  stdin = fopen(dir.write("in.txt", "0\n").c_str(), "r");
  testing::internal::CaptureStdout();
  dict.pronDictBrowse(mac);
  std::string out = testing::internal::GetCapturedStdout();
  fclose(stdin);
  stdin = saved;
  EXPECT_THAT(out, HasSubstr("\tModel index = 0:a -1 (?) \n"));
}
