#include "lineFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <functional>

#include "fatalCatch.h"
#include "platform/cLocaleScope.h"
#include "testFiles.h"

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
