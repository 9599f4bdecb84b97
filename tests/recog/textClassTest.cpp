#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "fatalCatch.h"
#include "testFiles.h"
#include "textClass.h"

using namespace tulim;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::MatchesRegex;
using testing::StartsWith;
using tulim::test::readFile;
using tulim::test::scratchDir;
using tulim::test::expectFatal;

namespace {

// Runs in dir for the life of the object (pronCheck writes into the working directory).
class workingDir {
 public:
  explicit workingDir(const std::string& dir) {
    char buf[4096];
    m_old = getcwd(buf, sizeof buf) ? buf : ".";
    EXPECT_EQ(chdir(dir.c_str()), 0);
  }
  ~workingDir() { EXPECT_EQ(chdir(m_old.c_str()), 0); }

 private:
  std::string m_old;
};

// Two Big5 characters: A with alternatives ba1, ma3, ba1 (duplicate) and B with three.
const std::string charA = "\xa4\x40";
const std::string charB = "\xa4\x41";
const std::string charMissing = "\xa4\x42";

std::vector<wpaEntry> chineseLexicon() {
  return {{charA, {"ma3", "ba1", "ma3"}, {"tm", "tb", "tm2"}}, {charB, {"zi4", "ci2", "si1"}, {"z", "c", "s"}}};
}

std::vector<wpaEntry> englishLexicon() {
  return {{"a", {"ey", "ax"}, {}}, {"cat", {"k_ae_t"}, {}}, {"the", {"dh_ax", "dh_iy"}, {}}};
}

}  // namespace

// ---- Texts ------------------------------------------------------------------------------

TEST(TxtRead, ReadsAFileOrAHashSeparatedString) {
  scratchDir dir;
  textClass text;
  text.txtRead("a#b#c");
  EXPECT_THAT(text.m_txtVs, ElementsAre("a", "b", "c"));
  text.txtRead("a##b");
  EXPECT_THAT(text.m_txtVs, ElementsAre("a", "", "b"));
  text.txtRead(dir.write("t.txt", "one\ntwo\tx\n\nthree\n"));
  EXPECT_THAT(text.m_txtVs, ElementsAre("one", "two\tx", "three"));
}

TEST(TxtRead, EmptyNameOrEmptyFileIsFatal) {
  scratchDir dir;
  textClass text;
  EXPECT_THAT(expectFatal([&] { text.txtRead(""); }),
              MatchesRegex("Error: The given recognizable texts \\(represented as a string delimited by #\\) has a "
                           "length of zero\\. \\(line [0-9]+ of text\\)"));
  std::string empty = dir.write("e.txt", "\n\n");
  EXPECT_THAT(expectFatal([&] { text.txtRead(empty); }),
              MatchesRegex("Error: m_txtVs\\.size\\(\\)=0 when reading \".*e\\.txt\"\\. \\(line [0-9]+ of text\\)"));
}

TEST(TxtMapApply, AppliesEachModeInMapOrder) {
  struct Case {
    const char* name;
    std::vector<txtMapEntry> map;
    const char* language;
    std::string in;
    std::string out;
  } cases[] = {
      {"$ strips trailing", {{".", "", "$"}}, "chinese", "ab...", "ab"},
      {"$ only dots", {{".", "", "$"}}, "chinese", "...", ""},
      {"$ uses the first source character", {{"!?", "", "$"}}, "chinese", "a?!!", "a?"},
      {"^ strips leading", {{" ", "", "^"}}, "chinese", "  a b ", "a b "},
      {"g replaces globally", {{"ab", "x", "g"}}, "chinese", "abcab", "xcx"},
      {"g resumes after the replacement", {{"a", "aa", "g"}}, "chinese", "aa", "aaaa"},
      {"g Big5 bytes", {{"\xa1\x43", "", "g"}}, "chinese", "\xa4\x40\xa1\x43\xa4\x41", "\xa4\x40\xa4\x41"},
      {"other mode does nothing", {{"a", "b", "x"}, {"a", "b", ""}}, "chinese", "aa", "aa"},
      {"only the first mode character counts", {{".", "", "$g"}}, "chinese", "a..", "a"},
      {"english lower-cased first",
       {{"HELLO", "bye", "g"}, {"hello", "hi", "g"}},
       "english",
       "HeLLo World",
       "hi world"},
      {"other languages keep case", {{"hello", "hi", "g"}}, "japanese", "HeLLo", "HeLLo"},
      {"map order", {{"a", "b", "g"}, {"b", "c", "g"}, {"c", "", "$"}}, "chinese", "ab", ""},
  };
  for (const Case& c : cases) {
    textClass text;
    text.m_textNormSp = c.map;
    std::string s = c.in;
    text.txtMapApply(s, c.language);
    EXPECT_EQ(s, c.out) << c.name;
  }
}

TEST(TxtMapRead, ReadsEntriesAndRefusesShortLines) {
  scratchDir dir;
  textClass text;
  text.txtMapRead(dir.write("m.txt", "% comment\n.#x#$#ignored\n\n,##g\n"), '#', text.m_textNormSp);
  ASSERT_EQ(text.m_textNormSp.size(), 2u);
  EXPECT_EQ(text.m_textNormSp[0].source, ".");
  EXPECT_EQ(text.m_textNormSp[0].target, "x");
  EXPECT_EQ(text.m_textNormSp[0].mode, "$");
  EXPECT_EQ(text.m_textNormSp[1].target, "");
  testing::internal::CaptureStdout();
  text.txtMapPrint(text.m_textNormSp);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "0/2: source=., target=x, mode=$\n1/2: source=,, target=, mode=g\n");

  std::string bad = dir.write("bad.txt", "a#b#g\na#b\n");
  EXPECT_THAT(expectFatal([&] { text.txtMapRead(bad, '#', text.m_textNormSp); }),
              MatchesRegex("Error: Parsing error in \".*bad\\.txt\"\\. \\(line [0-9]+ of file text\\)"));
  text.txtMapRead("", '#', text.m_textNormSp);
  EXPECT_TRUE(text.m_textNormSp.empty());
}

TEST(TxtMapApply, RefusesRulesThatLengthenTheTextPastTheLimitNamingTheRule) {
  // Each rule doubles the text: 16 give 65536 bytes, the 17th would give 131072.
  std::string rules = "% doubling\n";
  for (int i = 0; i < 22; ++i) rules += "e#ee#g\n";
  scratchDir dir;
  const std::string map = dir.write("double.tnm", rules);
  textClass text;
  text.txtMapRead(map, '#', text.m_textNormSp);
  std::string s = "e";
  EXPECT_THAT(expectFatal([&] { text.txtMapApply(s, "taiwanese"); }),
              MatchesRegex("Error: the normalisation rule \"e\" -> \"ee\" \\(line 18 of " + map +
                           "\\) would make a text longer than MAX_NORMALIZED_TEXT_LEN = 100000 bytes "
                           "\\(line [0-9]+ of file text\\)"));
  text.m_textNormSp.resize(16);
  s = "e";
  text.txtMapApply(s, "taiwanese");
  EXPECT_EQ(s, std::string(65536, 'e'));
  // Rules made in code have no file to name; shortening rules are never refused.
  text.m_textNormSp = {{"a", std::string(200000, 'b'), "g"}};
  s = "xax";
  EXPECT_THAT(expectFatal([&] { text.txtMapApply(s, "taiwanese"); }), HasSubstr("(the normalisation map)"));
  text.m_textNormSp = {{"bb", "b", "g"}};
  s = std::string(300000, 'b');
  text.txtMapApply(s, "taiwanese");
  EXPECT_EQ(s.size(), 150000u);
}

TEST(TxtNormalize, CutsAtTheFirstTabAndNormalisesEachText) {
  textClass text;
  text.m_textNormSp = {{".", "", "$"}};
  text.txtVsSet({"Hi There.\t7\tx", "ok.."});
  text.txtNormalize("english");
  EXPECT_THAT(text.m_txtVsNormalized, ElementsAre("hi there", "ok"));
}

TEST(Txt2units, SplitsByLanguage) {
  struct Case {
    const char* language;
    std::string text;
    strVec units;
  } cases[] = {
      {"chinese", charA + charB + "\xa4", {charA, charB}},
      // Each blank-separated text pairs its own characters, as the texts of an assessment
      // are joined.
      {"chinese", charA + " " + charB + charA + " " + charB, {charA, charB, charA, charB}},
      {"chinese", charA + "\xa4 " + charB, {charA, charB}},
      {"japanese", "abc", {"X", "X", "X"}},
      {"english", "the cat", {"the", "cat"}},
      {"taiwanese", "the cat", {}},
  };
  for (const Case& c : cases) {
    strVec units = {"kept"};
    textClass::txt2units(c.text, c.language, units);
    strVec expected = {"kept"};
    expected.insert(expected.end(), c.units.begin(), c.units.end());
    EXPECT_EQ(units, expected) << c.language;
  }
}

// ---- Syllable sequences -----------------------------------------------------------------

TEST(Txt2paChinese, ListsEveryCombinationWithTagsFirstCharacterFastest) {
  textClass text;
  text.m_txtVsNormalized = {charA + charB, charB};
  text.txt2paChinese(chineseLexicon());
  EXPECT_THAT(text.m_sylVs, ElementsAre("ba1-ci2\t0", "ma3-ci2\t0", "ba1-si1\t0", "ma3-si1\t0", "ba1-zi4\t0",
                                        "ma3-zi4\t0", "ci2\t1", "si1\t1", "zi4\t1"));
  EXPECT_THAT(text.m_sylTagVs, ElementsAre("tb-c", "tm-c", "tb-s", "tm-s", "tb-z", "tm-z", "c", "s", "z"));
}

TEST(Txt2paChinese, TextsJoinedByABlankKeepTheirCharacters) {
  textClass text;
  text.m_txtVsNormalized = {charA + " " + charB};
  testing::internal::CaptureStdout();
  text.txt2paChinese(chineseLexicon());
  EXPECT_THAT(testing::internal::GetCapturedStdout(), testing::Not(HasSubstr("Found no syllable")));
  EXPECT_THAT(text.m_sylVs, ElementsAre("ba1-ci2\t0", "ma3-ci2\t0", "ba1-si1\t0", "ma3-si1\t0", "ba1-zi4\t0",
                                        "ma3-zi4\t0"));
}

TEST(Txt2paChinese, UnknownCharactersDropOutWithAWarning) {
  textClass text;
  text.m_txtVsNormalized = {charMissing + charA, charMissing};
  testing::internal::CaptureStdout();
  text.txt2paChinese(chineseLexicon());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: Found no syllable for \"" + charMissing +
                                                        "\"!\nWarning: Found no syllable for \"" + charMissing +
                                                        "\"!\n");
  EXPECT_THAT(text.m_sylVs, ElementsAre("ba1\t0", "ma3\t0"));
  EXPECT_EQ(text.m_sylTagVs.size(), text.m_sylVs.size());
}

TEST(UnitPaLookup, EntriesWithoutTagsGiveEmptyTags) {
  std::vector<wpaEntry> wpa = {{charA, {"b", "a", "b"}, {}}};
  strVec pa, tags;
  textClass::unitPaLookup(charA, wpa, pa, tags);
  EXPECT_THAT(pa, ElementsAre("a", "b"));
  EXPECT_THAT(tags, ElementsAre("", ""));
}

TEST(Txt2paEnglish, ListsCombinationsAndRefusesUnknownWords) {
  textClass text;
  text.m_txtVsNormalized = {"the cat", "a"};
  text.txt2paEnglish(englishLexicon());
  EXPECT_THAT(text.m_sylVs, ElementsAre("dh_ax-k_ae_t\t0", "dh_iy-k_ae_t\t0", "ey\t1", "ax\t1"));

  text.m_txtVsNormalized = {"the dog"};
  EXPECT_THAT(expectFatal([&] { text.txt2paEnglish(englishLexicon()); }),
              MatchesRegex("Error: Found no pronunciation entry for \"dog\"\\. Please add the pronunciation to "
                           "wpaAddendaFile\\. \\(line [0-9]+ of file text\\)"));
  EXPECT_THAT(expectFatal([&] { text.txt2paEnglish({}); }),
              MatchesRegex("Error: wpa\\.size\\(\\)==0 at line [0-9]+ of file text!"));
}

TEST(Txt2paEnglish, RefusesTextsWithTooManyCombinations) {
  // 2^17 = 131072 combinations, more than MAX_SYL_COMB_NUM.
  std::string words;
  for (int i = 0; i < 17; ++i) words += i ? " the" : "the";
  textClass text;
  text.m_txtVsNormalized = {words};
  EXPECT_THAT(expectFatal([&] { text.txt2paEnglish(englishLexicon()); }),
              HasSubstr("has more than MAX_SYL_COMB_NUM = 100000 syllable sequences"));
  text.m_txtVsNormalized = {words.substr(4)};
  text.txt2paEnglish(englishLexicon());
  EXPECT_EQ(text.m_sylVs.size(), 65536u);
}

TEST(Txt2paEnglish, RefusesTextsWhoseSequencesTogetherPassTheLimitsNamingTheTextFile) {
  // 16 texts of 16 words with two pronunciations each: 65536 sequences each, within the
  // limit of one text, 1048576 in all.
  std::string words;
  for (int i = 0; i < 16; ++i) words += i ? " the" : "the";
  strVec lines(16, words);
  scratchDir dir;
  const std::string file = dir.write("many.txt", stringJoin(lines, "\n") + "\n");
  textClass text;
  text.txtRead(file);
  text.txtNormalize("english");
  EXPECT_THAT(expectFatal([&] { text.txt2paEnglish(englishLexicon()); }),
              MatchesRegex("Error: the texts of \"" + file +
                           "\" expand to more than MAX_SYL_SEQ_NUM = 100000 syllable sequences in all "
                           "\\(line [0-9]+ of text\\)"));

  // 4096 sequences of 1000 words: few sequences, but 4096000 syllables.
  std::string longText = words.substr(0, 12 * 4 - 1);
  for (int i = 12; i < 1000; ++i) longText += " cat";
  text.txtVsSet({longText});
  text.txtNormalize("english");
  EXPECT_THAT(expectFatal([&] { text.txt2paEnglish(englishLexicon()); }),
              HasSubstr("the texts of the given texts expand to more than MAX_SYL_SEQ_SYL_NUM = 4000000 syllables"));
  text.txtVsSet({longText.substr(4)});
  text.txtNormalize("english");
  text.txt2paEnglish(englishLexicon());
  EXPECT_EQ(text.m_sylVs.size(), 2048u);
}

// A short texts file can hold few sequences and syllables and still expand to a tree net far
// beyond what a search uses: its size is bounded before it is built, naming the file.
TEST(TreeNetCreate, RefusesTextsThatExpandToMoreNodesThanTheLimitNamingTheTextFile) {
  struct Case {
    int theWords, catWords;  // "the" has two pronunciations, "cat" one
    bool built;
  } cases[] = {
      {16, 0, true},    // 65536 sequences, a binary tree of 131070 word nodes
      {16, 1, true},    // one node more after every leaf: 196606
      {16, 2, false},   // 262142
      {10, 200, false}, // 1024 sequences of 210 syllables, little shared: 206846
      {6, 100, true},   // 6526
  };
  scratchDir dir;
  for (const Case& c : cases) {
    std::string words;
    for (int i = 0; i < c.theWords + c.catWords; ++i) words += std::string(i ? " " : "") + (i < c.theWords ? "the" : "cat");
    const std::string file = dir.write("few_bytes.txt", words + "\n");
    textClass text;
    text.txtRead(file);
    text.txtNormalize("english");
    text.txt2paEnglish(englishLexicon());
    if (!c.built) {
      EXPECT_THAT(expectFatal([&] { text.treeNetCreate(recogParam(), 0, 0, 0); }),
                  MatchesRegex("Error: the texts of \"" + file +
                               "\" expand to a tree net of more than MAX_TREE_NET_NODE_NUM = 200000 nodes \\([0-9]+ "
                               "syllable sequences\\) \\(line [0-9]+ of text\\)"))
          << c.theWords << " " << c.catWords;
      continue;
    }
    text.treeNetCreate(recogParam(), 0, 0, 0);
    const long long leaves = 1LL << c.theWords;
    const long long nodes = 2 + (2 * leaves - 2) + leaves * c.catWords;  // the null start and end first
    EXPECT_EQ(text.m_netVs[1].substr(0, text.m_netVs[1].find('\t')), "N=" + std::to_string(nodes))
        << c.theWords << " " << c.catWords;
  }
}

TEST(Txt2paChinese, RefusesTextsWithTooManyCombinations) {
  std::string chars;
  for (int i = 0; i < 11; ++i) chars += charB;  // 3^11 = 177147
  textClass text;
  text.m_txtVsNormalized = {chars};
  EXPECT_THAT(expectFatal([&] { text.txt2paChinese(chineseLexicon()); }), HasSubstr("MAX_SYL_COMB_NUM = 100000"));
}

TEST(PronCheck, CollectsAlternativesAndRecordsMissingWords) {
  strVec pa = {"kept"};
  textClass::pronCheck("the cat", englishLexicon(), pa);
  EXPECT_THAT(pa, ElementsAre("kept", "dh_ax", "dh_iy", "k_ae_t"));

  scratchDir dir;
  workingDir cd(dir.path());
  testing::internal::CaptureStdout();
  std::string message = expectFatal([&] { textClass::pronCheck("zz the yy zz", englishLexicon(), pa); });
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(message, MatchesRegex("Error: 2 words \\(recorded at \"missingWord\\.txt\"\\) cannot be found in the "
                                    "pronunciation dictionary! Please add the pronunciation to wpaAddendaFile\\. "
                                    "\\(line [0-9]+ of file text\\)"));
  EXPECT_THAT(out, HasSubstr("Error: Found no pronunciation entry for \"yy\". (line "));
  EXPECT_EQ(readFile(dir.file("missingWord.txt")), "yy\nzz\n");
}

TEST(SylGapAdd, ReplacesEverySyllableJoint) {
  textClass text;
  text.sylVsSet({"a-b-c\t0", "d\t1"});
  testing::internal::CaptureStdout();
  text.sylGapAdd("-sp-");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\tAdding -sp- between syllables...\n");
  EXPECT_THAT(text.m_sylVs, ElementsAre("a-sp-b-sp-c\t0", "d\t1"));
}

// ---- Japanese ---------------------------------------------------------------------------

TEST(JapaneseSylRules, RewritesSyllableStrings) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"sil-ka_n-sil", "ka-n"},       {"SIL-Ka_N-SIL\t3", "ka-n\t3"}, {"to_u-kyo_o", "to-kyo"},
      {"ko-#-#-#-ni", "ko-sil-ni"},   {"ko-#-#-ni", "ko-sil-ni"},     {"ko-#-ni", "ko-sil-ni"},
      {"ma-tsu(ts)-ri", "ma-tsu-ri"}, {"de-su(s)", "de-su"},          {"ka-ts_u", "ka-tsu-u"},
      {"se_e_e-n", "se-n"},           {"yu_yu-ki", "yu-ki"},          {"sil", "sil"},
      {"a\tb\tc", "a\tb\tc"},
  };
  for (const Case& c : cases) {
    std::string line = c.in;
    textClass::japaneseSylRules(line);
    EXPECT_EQ(line, c.out) << c.in;
  }
}

TEST(JapaneseSylSave, RewritesAndSavesOnlyForJapanese) {
  scratchDir dir;
  textClass text;
  text.sylVsSet({"sil-ka_n-sil\t0"});
  recogParam param;
  param.language = "chinese";
  param.outputDir = dir.path();
  text.japaneseSylSave(param);
  EXPECT_THAT(text.m_sylVs, ElementsAre("sil-ka_n-sil\t0"));
  testing::internal::CaptureStdout();
  param.language = "japanese";
  text.japaneseSylSave(param);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\t===> Saved " + dir.file("output.syl") + " for Japanese!\n");
  EXPECT_EQ(readFile(dir.file("output.syl")), "ka-n\t0\n");
  param.outputDir = "";
  text.japaneseSylSave(param);
  EXPECT_THAT(text.m_sylVs, ElementsAre("ka-n\t0"));
}

// ---- Look-up and conversion -------------------------------------------------------------

TEST(SearchSylVs, MatchesByMode) {
  textClass text;
  text.sylVsSet({"a-b\t0", "a\t1", "b-a\t2", "ab\t3", "noindex"});
  struct Case {
    const char* path;
    int mode;
    std::vector<int> texts;
  } cases[] = {
      {"-a-", 0, {1}}, {"-a-", 1, {0, 1}}, {"-a-", 2, {0, 1, 2}}, {"-a-b-", 0, {0}}, {"-c-", 2, {}},
  };
  for (const Case& c : cases) {
    std::vector<int> texts = {9}, lines = {9};
    text.searchSylVs(c.path, c.mode, texts, lines);
    std::vector<int> expected = {9};
    expected.insert(expected.end(), c.texts.begin(), c.texts.end());
    EXPECT_EQ(texts, expected) << c.path << " mode " << c.mode;
    EXPECT_EQ(lines, expected) << "line indices equal the text indices here";
  }
  std::vector<int> t, l;
  EXPECT_EQ(expectFatal([&] { text.searchSylVs("-a-", 3, t, l); }), "Unknown mode in searchSylVs()!");
}

TEST(NonSpeechUnit, SilencesAndFillersOnlyByTheirExactNames) {
  for (const char* unit : {"sp", "sil", "filler", "fillerC", "fillerV"})
    EXPECT_TRUE(textClass::nonSpeechUnit(unit)) << unit;
  for (const char* unit : {"", "ba", "SIL", "sil+a", "fillerX", "sp ", "-sil-"})
    EXPECT_FALSE(textClass::nonSpeechUnit(unit)) << unit;
}

TEST(PinyinConversion, LooksSpellingsUpAcrossColumns) {
  strTable table = {{"1", "ba", "\xa3\x74", "ba1"}, {"2", "ma", "\xa3\x75", "ma3"}, {"short"}, {"3", "ba", "xx", "bb"}};
  testing::internal::CaptureStdout();
  EXPECT_EQ(textClass::pinyinTableLookup("ma", table, 1, 3), "ma3");
  EXPECT_EQ(textClass::pinyinTableLookup("ba", table, 1, 2), "\xa3\x74") << "first matching row";
  EXPECT_EQ(textClass::sylStrConvert("ma3-ba1", table, 3, 2), "\xa3\x75-\xa3\x74");
  EXPECT_EQ(textClass::sylStrConvert("ba-sil-ma", table, 1, 3), "ba1-sil-ma3");
  EXPECT_EQ(textClass::sylStrConvert("ma3-ba1", table, 3, 1), "ma-ba");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  testing::internal::CaptureStdout();
  EXPECT_EQ(textClass::pinyinTableLookup("zz", table, 1, 3), "zz");
  for (const char* special : {"sp", "sil", "filler", "fillerC", "fillerV"})
    EXPECT_EQ(textClass::pinyinTableLookup(special, table, 1, 3), special);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: Cannot find zz in the pinyinTable!\n");

  EXPECT_EQ(textClass::rowNumStrToColumn3("2-1", table), "ma3-ba1");
  EXPECT_EQ(textClass::rowNumStrToColumn1("1-2-4", table), "ba-ma-ba");
  EXPECT_THAT(expectFatal([&] { textClass::rowNumStrToColumn3("1-5", table); }),
              MatchesRegex("Error: Row 5 is outside the pinyin table of 4 rows \\(line [0-9]+ of text\\)"));
  EXPECT_THAT(expectFatal([&] { textClass::rowNumStrToColumn1("3", table); }),
              HasSubstr("Row 3 of the pinyin table has 1 cells, no cell 1"));
}

TEST(SylVsRead, ReadsLinesDroppingEmptyOnes) {
  scratchDir dir;
  textClass text;
  text.sylVsRead(dir.write("s.syl", "a-b\t0\n\n%c\t1\n"));
  EXPECT_THAT(text.m_sylVs, ElementsAre("a-b\t0", "%c\t1"));
}

TEST(SylVsRead, RefusesALineWithoutAReadableTextIndexNamingFileAndLine) {
  const char* const bad[] = {"mi-sh-do\tx1", "mi-sh-do", "mi-sh-do\t", "mi-sh-do\t-1", "mi-sh-do\t1\tx",
                             "mi-sh-do\t99999999999"};
  scratchDir dir;
  for (const char* line : bad) {
    const std::string file = dir.write("bad.syl", std::string("do-re\t0\n\n") + line + "\n");
    textClass text;
    EXPECT_THAT(expectFatal([&] { text.sylVsRead(file); }),
                StartsWith("Error: line 3 of " + file + " is not a syllable sequence, a TAB and a text index from 0"))
        << line;
  }
}
