#include "lineFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <functional>

#include "fatalCatch.h"
#include "platform/cLocaleScope.h"
#include "testFiles.h"
#include "utility.h"

using namespace tulim;
using testing::ElementsAre;
using tulim::test::readFile;
using tulim::test::scratchDir;

TEST(File2strVec, DropsEmptyAndCommentLinesAndLineEnds) {
  scratchDir dir;
  std::string path = dir.write("list.txt", "a\r\n\r\n%c\nb\n\nlast");
  strVec vec{"old"};
  file2strVec(path, vec, '%');
  EXPECT_THAT(vec, ElementsAre("a", "b", "last"));
  file2strVec(path, vec);
  EXPECT_THAT(vec, ElementsAre("a", "%c", "b", "last"));
  std::vector<int> numbers{9};
  file2strVec(path, vec, '%', numbers);
  EXPECT_THAT(vec, ElementsAre("a", "b", "last"));
  EXPECT_THAT(numbers, ElementsAre(1, 4, 6));
}

TEST(File2strVec, ReadsLongLinesWhole) {
  scratchDir dir;
  const std::string line(250000, 'x');
  strVec vec;
  file2strVec(dir.write("long.txt", line + "\nnext\n"), vec);
  ASSERT_EQ(vec.size(), 2u);
  EXPECT_EQ(vec[0], line);
  EXPECT_EQ(vec[1], "next");
}

TEST(KeyValueFileRead, CutsCommentsSplitsAtFirstEqualAndAppends) {
  scratchDir dir;
  std::string path = dir.write("p.txt",
                               " fs = 16000  % sample rate\r\n"
                               "% comment\n"
                               "name=a=b\n"
                               "novalue\n"
                               "   \t \n"
                               "empty =\n"
                               "fs=8000");
  strVec keys{"pre"}, values{"pre"};
  keyValueFileRead(path, keys, values);
  EXPECT_THAT(keys, ElementsAre("pre", "fs", "name", "empty", "fs"));
  EXPECT_THAT(values, ElementsAre("pre", "16000", "a=b", "", "8000"));
}

// Editors on Windows begin a text file with a UTF-8 byte-order mark. Every reader of lines
// drops it, once: it is no part of the first key or word, and a second one later in the file
// is text.
TEST(LineReaders, DropTheByteOrderMarkThatBeginsTheFileOnce) {
  const std::string mark = "\xEF\xBB\xBF";
  scratchDir dir;
  struct Case {
    std::string text;
    std::vector<std::string> lines;  // the kept lines
    std::string first;               // the first line, empty or not
  } cases[] = {
      {mark + "function = recog\r\nlanguage = english\n", {"function = recog", "language = english"},
       "function = recog"},
      {mark + "\nsecond\n", {"second"}, ""},
      {mark, {}, ""},
      {mark + mark + "a\n", {mark + "a"}, mark + "a"},
      {"a\n" + mark + "b\n", {"a", mark + "b"}, "a"},
      {"\xEF\xBB" "a\n", {"\xEF\xBB" "a"}, "\xEF\xBB" "a"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.write("marked.txt", c.text);
    strVec lines;
    file2strVec(path, lines);
    EXPECT_EQ(lines, c.lines) << c.text;
    std::string line = "before";
    fileLineRead(path.c_str(), 1, line);
    EXPECT_EQ(line, c.first) << c.text;
  }
  strVec keys, values;
  keyValueFileRead(dir.write("p.prm", mark + "function = recog\n"), keys, values);
  EXPECT_THAT(keys, ElementsAre("function"));
  strTable table = file2strTable(dir.write("t.txt", mark + "a\tb\n"));
  ASSERT_EQ(table.size(), 1u);
  EXPECT_THAT(table[0], ElementsAre("a", "b"));
}

TEST(KeyValueNumbers, OnlyWholeFiniteNumbersAreTaken) {
  struct Case {
    const char* text;
    bool isReal, isInt;
    double value;
  } cases[] = {
      {"12", true, true, 12},       {"-3", true, true, -3},     {"2.5", true, false, 2.5},
      {"1e3", true, false, 1000},   {"12abc", false, false, 0}, {"abc", false, false, 0},
      {"", false, false, 0},        {"nan", false, false, 0},   {"inf", false, false, 0},
      {"1e999", false, false, 0},   {"0x10", false, false, 0},  {"99999999999", true, false, 99999999999.0},
  };
  for (const Case& c : cases) {
    const std::string refused = std::string("Error: maxVolTh = ") + c.text + " in v.prm is not allowed; it must be ";
    if (c.isReal) {
      EXPECT_EQ(keyValueDouble("v.prm", "maxVolTh", c.text), c.value) << c.text;
    } else {
      EXPECT_THAT(tulim::test::expectFatal([&] { keyValueDouble("v.prm", "maxVolTh", c.text); }),
                  testing::StartsWith(refused + "a finite number (line "))
          << c.text;
      EXPECT_THAT(tulim::test::expectFatal([&] { keyValueFloat("v.prm", "maxVolTh", c.text); }),
                  testing::StartsWith(refused + "a finite number (line "))
          << c.text;
    }
    if (c.isInt)
      EXPECT_EQ(keyValueInt("v.prm", "maxVolTh", c.text), static_cast<int>(c.value)) << c.text;
    else
      EXPECT_THAT(tulim::test::expectFatal([&] { keyValueInt("v.prm", "maxVolTh", c.text); }),
                  testing::StartsWith(refused + "a whole number (line "))
          << c.text;
  }
  EXPECT_THAT(tulim::test::expectFatal([&] { keyValueFloat("v.prm", "maxVolTh", "1e300"); }),
              testing::HasSubstr("a finite number")) << "beyond a float";
}

TEST(File2strTable, SplitsEachLineAtTab) {
  scratchDir dir;
  strTable table = file2strTable(dir.write("t.txt", "a\tb\t\nc\r\n"));
  ASSERT_EQ(table.size(), 2u);
  EXPECT_THAT(table[0], ElementsAre("a", "b", ""));
  EXPECT_THAT(table[1], ElementsAre("c"));
}

TEST(Writers, WriteLfLinesAndNumbersInCLocale) {
  scratchDir dir;
  strVec2file(dir.file("v.txt"), {"x", "\xa4\x40", ""});
  EXPECT_EQ(readFile(dir.file("v.txt")), "x\n\xa4\x40\n\n");
  {
    cLocaleScope c;
    float2file(dir.file("f.txt"), 2.5f);
    double2file(dir.file("d.txt"), 1e-7);
  }
  EXPECT_EQ(readFile(dir.file("f.txt")), "2.5\n");
  EXPECT_EQ(readFile(dir.file("d.txt")), "1e-07\n");
}

TEST(Readers, MissingFileIsFatal) {
  tulim::test::envScope temp("temp", nullptr);
  strVec vec, values;
  EXPECT_THROW(file2strVec("/nonexistent/x.txt", vec), char*);
  EXPECT_THROW(keyValueFileRead("/nonexistent/x.txt", vec, values), char*);
  EXPECT_THROW(file2strTable("/nonexistent/x.txt"), char*);
}

TEST(LineFile, WritersReportAFullDiskInsteadOfACutFile) {
  const std::function<void()> writers[] = {
      [] { strVec2file("/dev/full", strVec{"a", "b"}); },
      [] { float2file("/dev/full", 0.5f); },
      [] { double2file("/dev/full", 0.25); },
  };
  for (const auto& write : writers)
    EXPECT_THAT(tulim::test::expectFatal(write), testing::MatchesRegex("Cannot write file /dev/full: No space left on device \\(line [0-9]+ of utility\\)"));
}
