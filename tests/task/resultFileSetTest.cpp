// The result files of one run: the output folder checked before anything, the earlier
// results removed under the folder's lock (a removal that fails is fatal), and a failed run's
// own result files taken away again.
#include "resultFileSet.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fatalCatch.h"
#include "testFiles.h"
#include "utility.h"

using namespace tulim;
using namespace tulim::test;
using ::testing::MatchesRegex;

namespace {

recogParam paramFor(const std::string& dir, const char* function = "recog", const char* sylFile = "") {
  recogParam param;
  param.outputDir = dir;
  param.function = function;
  param.sylFile = sylFile;
  return param;
}

}  // namespace

TEST(ResultFileSet, NamesTheFilesARunWrites) {
  recogParam param = paramFor("out");
  EXPECT_THAT(resultFileSet::namesOf(param), ::testing::ElementsAre("output.xml", "score.txt", "recogResult.txt"));
  param.outputXmlFile = "l1.xml";
  param.function = "assess";
  param.sylFile = "a.syl";
  EXPECT_THAT(resultFileSet::namesOf(param),
              ::testing::ElementsAre("l1.xml", "score.txt", "recogResult.txt", "confusingPath.txt"));
}

TEST(ResultFileSet, AnOutputDirTheRunCannotUseIsFatalNamingIt) {
  scratchDir dir;
  const std::string file = dir.write("plain", "x");
  const std::string readOnly = dir.file("read-only");
  ASSERT_EQ(mkdir(readOnly.c_str(), 0555), 0);
  struct Case {
    std::string folder;
    std::string message;
  };
  std::vector<Case> cases = {
      {dir.file("missing"), "Error: outputDir = " + dir.file("missing") + " cannot be used: No such file or directory"},
      {file, "Error: outputDir = " + file + " is not a folder"},
      {file + "/below", "Error: outputDir = " + file + "/below cannot be used: Not a directory"},
  };
  // The superuser writes into any folder.
  if (geteuid() != 0) cases.push_back({readOnly, "Error: outputDir = " + readOnly + " is not writable: Permission denied"});
  for (const Case& c : cases) {
    resultFileSet results;
    EXPECT_THAT(expectFatal([&] { results.claim(paramFor(c.folder)); }),
                MatchesRegex(c.message + " \\(line [0-9]+ of resultFileSet\\)"))
        << c.folder;
  }
}

TEST(ResultFileSet, ClaimRemovesTheEarlierResultsAndAFailedRemovalIsFatal) {
  scratchDir dir;
  for (const char* name : {"output.xml", "score.txt", "recogResult.txt", "confusingPath.txt", "output.nt"})
    dir.write(name, "old\n");
  {
    resultFileSet results;
    results.claim(paramFor(dir.path(), "assess", "a.syl"));
    EXPECT_THAT(folderNames(dir.path()), ::testing::ElementsAre(".tulim.lock", "output.nt"));
    results.keep();
  }
  EXPECT_THAT(folderNames(dir.path()), ::testing::ElementsAre("output.nt"));

  // A folder in the place of a result file cannot be removed as one.
  ASSERT_EQ(mkdir(dir.file("score.txt").c_str(), 0755), 0);
  resultFileSet results;
  EXPECT_THAT(expectFatal([&] { results.claim(paramFor(dir.path())); }),
              MatchesRegex("Error: cannot remove the earlier result file " + dir.file("score.txt") +
                           ": Is a directory \\(line [0-9]+ of resultFileSet\\)"));
}

// A batch's lines take turns under one lock: a failing line takes its own files away, the
// lines before it keep their XML files.
TEST(ResultFileSet, ARunThatFailsTakesItsResultFilesAway) {
  struct Case {
    bool batch;
    bool kept;
    std::vector<std::string> left;
  };
  const Case cases[] = {
      {false, true, {"output.xml", "score.txt"}},
      {false, false, {}},
      {true, true, {"l1.xml", "l2.xml", "score.txt"}},
      {true, false, {"l1.xml"}},
  };
  for (const Case& c : cases) {
    scratchDir dir;
    recogParam param = paramFor(dir.path());
    const std::string message = fatalMessage([&] {
      resultFileSet results;
      results.claim(param);
      if (c.batch) {
        for (const char* xml : {"l1.xml", "l2.xml"}) {
          param.outputXmlFile = xml;
          results.runStart(param);
          dir.write(xml, "new\n");
          dir.write("score.txt", "new\n");
        }
      } else {
        dir.write("output.xml", "new\n");
        dir.write("score.txt", "new\n");
      }
      if (c.kept) {
        results.keep();
        return;
      }
      errorThrow("failed");
    });
    EXPECT_EQ(message, c.kept ? "" : "failed");
    EXPECT_EQ(folderNames(dir.path()), c.left) << c.batch << c.kept;
  }
}
