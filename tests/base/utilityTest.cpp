#include "utility.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "fatalCatch.h"
#include "platform/platformClock.h"
#include "testFiles.h"

using namespace tulim;
using tulim::test::envScope;
using tulim::test::readFile;
using tulim::test::scratchDir;

namespace {

// Catches what errorThrow throws; fails the test when nothing is thrown.
std::string caughtMessage(void (*raise)()) {
  try {
    raise();
  } catch (char* message) {
    return message;
  }
  ADD_FAILURE() << "nothing thrown";
  return "";
}

class fixedTime {
 public:
  explicit fixedTime(localTime t) {
    setLocalTimeSource([t] { return t; });
  }
  ~fixedTime() { setLocalTimeSource(nullptr); }
};

}  // namespace

TEST(ErrorThrow, WritesLogNamedAfterLocalTimeAndThrowsMessage) {
  scratchDir dir;
  envScope temp("temp", dir.path().c_str());
  fixedTime at(localTime{2024, 3, 5, 7, 8, 9});

  testing::internal::CaptureStdout();
  std::string caught = caughtMessage([] { errorThrow("Cannot open file x (line 12 of utility)"); });
  std::string printed = testing::internal::GetCapturedStdout();

  const std::string log = dir.file("error_20240305_070809.log");
  EXPECT_EQ(caught, "Cannot open file x (line 12 of utility)");
  EXPECT_EQ(readFile(log), "Error: Cannot open file x (line 12 of utility)\n");
  EXPECT_EQ(printed, "\nSaved error log at " + log + "...\n");
}

TEST(ErrorThrow, WithoutTempPrintsNothingAndStillThrows) {
  for (const char* value : {static_cast<const char*>(nullptr), ""}) {
    envScope temp("temp", value);
    testing::internal::CaptureStdout();
    std::string caught = caughtMessage([] { errorThrow("boom"); });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(caught, "boom");
  }
}

TEST(ErrorThrow, UnwritableTempDirectoryPrintsNothing) {
  envScope temp("temp", "/nonexistent-dir-for-tulim");
  testing::internal::CaptureStdout();
  EXPECT_EQ(caughtMessage([] { errorThrow("boom"); }), "boom");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// A trial on one thread silences that thread only, and only while it lives.
TEST(ErrorThrow, ATrialWritesNoLogAndPrintsNothingOnItsOwnThreadOnly) {
  scratchDir dir;
  envScope temp("temp", dir.path().c_str());
  fixedTime at(localTime{2024, 3, 5, 7, 8, 9});
  const std::string log = dir.file("error_20240305_070809.log");
  testing::internal::CaptureStdout();
  {
    const errorTrial outer;
    {
      const errorTrial inner;
      EXPECT_EQ(caughtMessage([] { errorThrow("tried"); }), "tried");
    }
    EXPECT_EQ(caughtMessage([] { errorThrow("tried again"); }), "tried again");
    std::string elsewhere;
    std::thread other([&] { elsewhere = caughtMessage([] { errorThrow("other thread"); }); });
    other.join();
    EXPECT_EQ(elsewhere, "other thread");
    EXPECT_EQ(readFile(log), "Error: other thread\n");
    std::remove(log.c_str());
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nSaved error log at " + log + "...\n");
  EXPECT_FALSE(fileExist(log.c_str()));
  testing::internal::CaptureStdout();
  EXPECT_EQ(caughtMessage([] { errorThrow("plain"); }), "plain");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nSaved error log at " + log + "...\n");
  EXPECT_EQ(readFile(log), "Error: plain\n");
}

TEST(ErrorThrow, MessageOutlivesTheRaisersBuffer) {
  envScope temp("temp", nullptr);
  std::string caught = caughtMessage([] {
    std::string local = "composed " + std::to_string(42);
    errorThrowf("%s (line %d of %s)", local.c_str(), TULIM_HERE);
  });
  EXPECT_THAT(caught, testing::MatchesRegex("composed 42 \\(line [0-9]+ of utilityTest\\)"));
}

TEST(OpenFile, MissingFileAndDirectoryAreFatal) {
  envScope temp("temp", nullptr);
  scratchDir dir;
  for (const std::string& name : {dir.file("missing.txt"), dir.path()}) {
    try {
      FILE* fp = openFile(name.c_str(), "r");
      fclose(fp);
      ADD_FAILURE() << name << " opened";
    } catch (char* message) {
      EXPECT_THAT(message, testing::MatchesRegex("Cannot open file " + name + ": [A-Za-z ]+ \\(line [0-9]+ of utility\\)"));
    }
  }
}

TEST(OpenFile, WriteModesOfTheFilePtrRefuseMissingFoldersAndDirectories) {
  envScope temp("temp", nullptr);
  scratchDir dir;
  for (const char* mode : {"w", "wb"})
    for (const std::string& name : {dir.file("missing/out.txt"), dir.path()})
      EXPECT_THAT(tulim::test::expectFatal([&] { openFilePtr(name, mode); }),
                  testing::MatchesRegex("Cannot open file " + name + ": [A-Za-z ]+ \\(line [0-9]+ of utility\\)"))
          << mode;
}

namespace {

// Writes text through openFilePtr over whatever name holds.
void rewrite(const std::string& name, const char* mode, const std::string& text) {
  filePtr fp = openFilePtr(name, mode);
  fwrite(text.data(), 1, text.size(), fp.get());
  closeWrittenFile(fp, name);
}

struct stat statOf(const std::string& name) {
  struct stat info {};
  EXPECT_EQ(stat(name.c_str(), &info), 0) << name;
  return info;
}

}  // namespace

TEST(RewrittenFile, HoldsExactlyTheNewBytes) {
  struct Case {
    const char* mode;
    std::string before, after;
  };
  const Case cases[] = {
      {"w", std::string(5000, 'o') + "old tail", "short\n"},
      {"wb", std::string(5000, 'o'), std::string("a\0b\r\n", 5)},
      {"w", "old", std::string(9000, 'n')},  // grows
      {"w", "old content", ""},              // an empty write leaves an empty file
      {"wb", "same", "SAME"},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    const std::string name = dir.write("out.txt", c.before);
    rewrite(name, c.mode, c.after);
    EXPECT_EQ(readFile(name), c.after) << c.mode << " over " << c.before.size() << " bytes";
  }
  const std::string fresh = dir.file("fresh.txt");
  rewrite(fresh, "w", "made");
  EXPECT_EQ(readFile(fresh), "made");
}

// A writer stopped half-way leaves neither the new start nor the old tail, nor its temporary
// file: the name is free, as the earlier content was being rewritten. Bytes that stdio had
// already pushed out change nothing.
TEST(RewrittenFile, WriterStoppedByAFatalErrorLeavesNothing) {
  envScope temp("temp", nullptr);
  const size_t written[] = {9, 9000, 30000};
  for (const char* mode : {"w", "wb", "a"})
    for (size_t n : written) {
      scratchDir dir;
      const std::string name = dir.write("out.txt", std::string(20000, 'o'));
      tulim::test::fatalMessage([&] {
        filePtr fp = openFilePtr(name, mode);
        fwrite(std::string(n, 'n').data(), 1, n, fp.get());
        errorThrow("stopped half-way");
      });
      EXPECT_FALSE(fileExist(name.c_str())) << mode << " " << n;
      EXPECT_TRUE(tulim::test::folderNames(dir.path()).empty()) << mode << " " << n;
    }
}

TEST(RewrittenFile, KeepsTheInodeModeAndLinksThatFopenKeeps) {
  scratchDir dir;
  struct Way {
    const char* label;
    std::function<void(const std::string&, const std::string&)> write;
  };
  const Way ways[] = {
      {"fopen", [](const std::string& name, const std::string& text) {
         FILE* fp = fopen(name.c_str(), "w");
         ASSERT_NE(fp, nullptr);
         fputs(text.c_str(), fp);
         fclose(fp);
       }},
      {"openFilePtr", [](const std::string& name, const std::string& text) { rewrite(name, "w", text); }},
  };
  for (const Way& way : ways) {
    const std::string name = dir.write(std::string(way.label) + ".txt", std::string(4000, 'o'));
    const std::string link = dir.file(std::string(way.label) + "-link.txt");
    ASSERT_EQ(chmod(name.c_str(), 0640), 0);
    ASSERT_EQ(::link(name.c_str(), link.c_str()), 0);
    const struct stat before = statOf(name);
    way.write(name, "new");
    const struct stat after = statOf(name);
    EXPECT_EQ(after.st_ino, before.st_ino) << way.label;
    EXPECT_EQ(after.st_mode & 07777, 0640u) << way.label;
    EXPECT_EQ(readFile(link), "new") << way.label;

    // A file that is made takes 0666 less the umask.
    const std::string made = dir.file(std::string(way.label) + "-made.txt");
    way.write(made, "made");
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(statOf(made).st_mode & 07777, 0666u & ~mask) << way.label;
  }
}

TEST(RewrittenFile, WritesThroughASymlink) {
  scratchDir dir;
  const std::string target = dir.write("target.txt", std::string(3000, 'o'));
  const std::string link = dir.file("link.txt");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  rewrite(link, "w", "through");
  EXPECT_EQ(readFile(target), "through");
  struct stat info {};
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST(RewrittenFile, DevicesAndFifosAreWrittenWithoutACut) {
  rewrite("/dev/null", "w", "gone");
  rewrite("/dev/null", "wb", "gone");

  scratchDir dir;
  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // The reader is there first, so that opening the writing end does not wait.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  rewrite(fifo, "w", "piped");
  char buffer[16] = {};
  EXPECT_EQ(read(reader, buffer, sizeof buffer), 5);
  EXPECT_STREQ(buffer, "piped");
  close(reader);
}

TEST(OpenFile, WriteModeTruncatesOnOpeningAsFopenDoes) {
  // Hosts close what openFile returns with fclose, which would never cut the file.
  scratchDir dir;
  const std::string name = dir.write("out.txt", "old content");
  FILE* fp = openFile(name.c_str(), "w");
  EXPECT_EQ(getFileSize(name.c_str()), 0);
  fclose(fp);
}

TEST(GetFileLineCount, CountsPiecesOfAtMost999Characters) {
  scratchDir dir;
  struct Case {
    const char* what;
    std::string content;
    int expected;
  } cases[] = {
      {"empty", "", 0},
      {"last line without end", "one\ntwo", 2},
      {"CRLF", "one\r\ntwo\r\n", 2},
      {"blank lines count", "\n\n\n", 3},
      {"2500 characters", std::string(2500, 'x'), 3},
      {"998 characters and LF", std::string(998, 'x') + "\n", 1},
      {"999 characters and LF", std::string(999, 'x') + "\n", 2},
      {"998 characters, CRLF", std::string(998, 'x') + "\r\n", 1},
      {"lone CR as the last line", "one\n\r", 2},
      {"CR at the end of a full piece", std::string(998, 'x') + "\r", 1},
  };
  for (const Case& c : cases) {
    std::string path = dir.write("f.txt", c.content);
    EXPECT_EQ(getFileLineCount(path.c_str()), c.expected) << c.what;
  }
}

TEST(FileExist, AnswersWithoutRaising) {
  scratchDir dir;
  std::string path = dir.write("a.txt", "x");
  EXPECT_TRUE(fileExist(path.c_str()));
  EXPECT_FALSE(fileExist(nullptr));
  EXPECT_FALSE(fileExist(dir.file("none").c_str()));
  EXPECT_FALSE(fileExist(dir.path().c_str()));
}

TEST(GetFileExt, TakesTextAfterLastDotOfWholePath) {
  struct Case {
    const char* path;
    const char* ext;
  } cases[] = {
      {"models/a.mac", "mac"}, {"a.b.macb", "macb"}, {"old.d/name", "d/name"}, {"noext", ""}, {"dot.", ""},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(getFileExt(c.path), c.ext) << c.path;
    EXPECT_EQ(getFileExt(std::string(c.path)), c.ext) << c.path;
  }
  const char* path = "x/y.wpab";
  EXPECT_EQ(getFileExt(path), path + 4);
}

TEST(FileLines, LineReadersDropCrAndTakeLastLineWithoutEnd) {
  scratchDir dir;
  std::string path = dir.write("f.txt", "first\r\nsecond\nthird\r");
  std::string line;
  fileLineRead(path.c_str(), 2, line);
  EXPECT_EQ(line, "second");
  fileLineRead(path.c_str(), 3, line);
  EXPECT_EQ(line, "third");
  fileLineRead(path.c_str(), 10, line);
  EXPECT_EQ(line, "third");

  // Bytes are kept as they are, NUL and lone CR included.
  path = dir.write("nul.txt", std::string("a\0b\rc\r\r\n", 8));
  fileLineRead(path.c_str(), 1, line);
  EXPECT_EQ(line, std::string("a\0b\rc\r", 6));
}

TEST(FileBuffers, RoundTripBinaryBytes) {
  scratchDir dir;
  const std::string bytes("a\0b\r\n\xff", 6);
  std::string path = dir.file("bin");
  buffer2file(path.c_str(), bytes.data(), static_cast<long>(bytes.size()));
  EXPECT_EQ(getFileSize(path.c_str()), 6);
  long size = 0;
  char* buffer = file2buffer(path.c_str(), &size);
  EXPECT_EQ(std::string(buffer, static_cast<size_t>(size)), bytes);
  free(buffer);
  std::string content;
  file2string(path.c_str(), content);
  EXPECT_EQ(content, bytes);

  FILE* fp = openFile(path.c_str(), "rb");
  fseek(fp, 2, SEEK_SET);
  EXPECT_EQ(getOpenFileSize(fp), 6);
  EXPECT_EQ(ftell(fp), 2);
  fclose(fp);
}

TEST(DirFileList, ListsMatchingFilesRecursivelyInNameOrder) {
  scratchDir dir;
  dir.write("b.WAV", "");
  dir.write("a.wav", "");
  dir.write("notes.txt", "");
  dir.write("sub/c.wav", "");
  dir.write(".hidden/d.wav", "");
  std::vector<std::string> list;
  dirFileList(list, dir.path(), "wav");
  EXPECT_THAT(list, testing::ElementsAre(dir.file("a.wav"), dir.file("b.WAV"), dir.file("sub/c.wav")));

  list.clear();
  dirFileList(list, dir.path() + "/", "*");
  EXPECT_EQ(list.size(), 5u);  // .hidden is not searched but listed, like any entry

  list.clear();
  dirFileList(list, dir.path(), "WAV");
  EXPECT_TRUE(list.empty());  // the extension is compared as given, names lower-cased
}

TEST(DirFileList, MissingDirectoryPrintsAndAddsNothing) {
  std::vector<std::string> list{"kept"};
  testing::internal::CaptureStdout();
  dirFileList(list, "/nonexistent-dir-for-tulim", "wav");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "No *.wav files in current directory!\n");
  EXPECT_THAT(list, testing::ElementsAre("kept"));
}

TEST(Utility, WrittenFilesThatCannotBeCompletedAreFatal) {
  const char bytes[] = "some bytes";
  EXPECT_THAT(tulim::test::expectFatal([&] { buffer2file("/dev/full", bytes, sizeof bytes); }),
              testing::MatchesRegex("Cannot write file /dev/full: No space left on device \\(line [0-9]+ of utility\\)"));
  // A write that failed on the way is found even when the close itself succeeds.
  scratchDir dir;
  const std::string name = dir.file("read-only.txt");
  EXPECT_THAT(tulim::test::expectFatal([&] {
                filePtr fp = openFilePtr(dir.write("read-only.txt", "old"), "r");
                fputs("new", fp.get());
                closeWrittenFile(fp, name);
              }),
              testing::MatchesRegex("Cannot write file " + name + ": [A-Za-z ]+ \\(line [0-9]+ of utility\\)"));
  EXPECT_EQ(readFile(name), "old");
}
