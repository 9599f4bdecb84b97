// Files written whole or not at all: write failures at several file size limits, writers
// killed at chosen points, and the output folder's lock, each in child processes.
#include "platform/platformFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "childProcess.h"
#include "fatalCatch.h"
#include "testFiles.h"
#include "utility.h"

using namespace tulim;
using namespace tulim::test;
using ::testing::HasSubstr;

namespace {

// Writes text in pieces of at most 1000 bytes through stdio, as the engine's writers do.
void piecesWrite(const std::string& name, const char* mode, const std::string& text) {
  filePtr fp = openFilePtr(name, mode);
  for (size_t at = 0; at < text.size(); at += 1000) fputs(text.substr(at, 1000).c_str(), fp.get());
  closeWrittenFile(fp, name);
}

}  // namespace

// A file that cannot be completed under the limit leaves neither a cut file nor its temporary
// file, and the message says why; one that fits is written whole over the old one.
TEST(FileReplace, WriteFailuresAtSeveralSizesLeaveNoPartialFile) {
  struct Case {
    long limit;
    size_t size;
    const char* mode;  // "buffer" for buffer2file
    bool fits;
  };
  const std::string old(5000, 'o');
  const Case cases[] = {
      {0, 10, "w", false},          {1, 10, "w", false},          {4096, 4096, "w", true},
      {4096, 4097, "w", false},     {4096, 100000, "buffer", false}, {65536, 70000, "w", false},
      {65536, 60000, "buffer", true}, {6000, 1000, "a", true},      {6000, 1001, "a", false},
      {8192, 9000, "wb", false},    {0, 0, "buffer", true},
  };
  for (const Case& c : cases) {
    scratchDir dir;
    const std::string name = dir.write("out.txt", old);
    const std::string text(c.size, 'n');
    const programResult r = childCall(
        [&] {
          if (std::string(c.mode) == "buffer")
            buffer2file(name.c_str(), text.data(), static_cast<long>(text.size()));
          else
            piecesWrite(name, c.mode, text);
        },
        c.limit);
    const std::string what = std::string(c.mode) + " of " + std::to_string(c.size) + " bytes under " +
                             std::to_string(c.limit);
    if (c.fits) {
      EXPECT_EQ(r.status, 0) << what << ": " << r.out;
      EXPECT_EQ(readFile(name), std::string(c.mode) == "a" ? old + text : text) << what;
      EXPECT_THAT(folderNames(dir.path()), ::testing::ElementsAre("out.txt")) << what;
    } else {
      EXPECT_EQ(r.status, 1) << what;
      EXPECT_THAT(r.out, ::testing::MatchesRegex("Cannot write file " + name + ": File too large \\(line [0-9]+ of utility\\)"))
          << what;
      EXPECT_TRUE(folderNames(dir.path()).empty()) << what << ": a file is left";
    }
  }
}

// A writer of three files killed at a chosen point: every file holds its old bytes, its new
// bytes or nothing (while it is rewritten), never a mix; the files before the point are new.
TEST(FileReplace, WriterKilledAtAnyPointLeavesEveryFileOldOrNew) {
  enum point { afterOpen, afterHalf, afterClose };
  struct Case {
    int file;
    point at;
  };
  const Case cases[] = {{0, afterOpen}, {0, afterHalf}, {0, afterClose}, {1, afterOpen},
                        {1, afterHalf}, {2, afterHalf}, {2, afterClose}};
  const size_t sizes[] = {300, 20000, 70000};
  for (const Case& c : cases) {
    scratchDir dir;
    std::vector<std::string> names, olds, news;
    for (int i = 0; i < 3; ++i) {
      olds.push_back(std::string(sizes[i] + 1000, static_cast<char>('a' + i)));
      news.push_back(std::string(sizes[i], static_cast<char>('A' + i)));
      names.push_back(dir.write("f" + std::to_string(i), olds.back()));
    }
    childCall([&] {
      for (int i = 0; i < 3; ++i) {
        filePtr fp = openFilePtr(names[i], "w");
        if (i == c.file && c.at == afterOpen) raise(SIGKILL);
        fwrite(news[i].data(), 1, news[i].size() / 2, fp.get());
        fflush(fp.get());
        if (i == c.file && c.at == afterHalf) raise(SIGKILL);
        fwrite(news[i].data() + news[i].size() / 2, 1, news[i].size() - news[i].size() / 2, fp.get());
        closeWrittenFile(fp, names[i]);
        if (i == c.file && c.at == afterClose) raise(SIGKILL);
      }
    });
    for (int i = 0; i < 3; ++i) {
      const std::string what = "killed at " + std::to_string(c.at) + " of file " + std::to_string(c.file) + ", file " +
                               std::to_string(i);
      if (i < c.file || (i == c.file && c.at == afterClose)) {
        EXPECT_EQ(readFile(names[i]), news[i]) << what;
      } else if (i > c.file) {
        EXPECT_EQ(readFile(names[i]), olds[i]) << what;
      } else {
        EXPECT_FALSE(fileExist(names[i].c_str())) << what << ": neither old nor new is whole";
      }
    }
  }
}

TEST(FileReplace, KeepsTheFileModeAndWritesDevicesDirectly) {
  scratchDir dir;
  const std::string name = dir.write("mode.txt", "old");
  ASSERT_EQ(chmod(name.c_str(), 0640), 0);
  piecesWrite(name, "w", "new");
  struct stat info;
  ASSERT_EQ(stat(name.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(readFile(name), "new");
  // A device is no file to replace: it is written as it is.
  piecesWrite("/dev/null", "w", "gone");
  EXPECT_THAT(expectFatal([&] { piecesWrite("/dev/full", "w", "full"); }), HasSubstr("No space left on device"));
}

TEST(FileReplace, ALinkIsFollowedAndStays) {
  scratchDir dir;
  const std::string target = dir.write("target.txt", std::string(100, 'o'));
  const std::string link = dir.file("link.txt");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  piecesWrite(link, "w", "new");
  struct stat info;
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(readFile(target), "new");
}

TEST(DirLock, TheSecondHolderWaitsForTheFirstAndNoLockFileStays) {
  scratchDir dir;
  const std::string done = dir.file("first-done");
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(fds[0]);
    dirLock lock;
    if (!lock.acquire(dir.path())) _exit(1);
    if (write(fds[1], "x", 1) != 1) _exit(1);
    usleep(300000);
    FILE* fp = fopen(done.c_str(), "w");
    if (fp) fclose(fp);
    lock.release();
    _exit(0);
  }
  close(fds[1]);
  char c;
  ASSERT_EQ(read(fds[0], &c, 1), 1);
  close(fds[0]);
  dirLock lock;
  ASSERT_TRUE(lock.acquire(dir.path()));
  EXPECT_TRUE(fileExist(done.c_str())) << "the lock was held by two at once";
  int status = 0;
  waitpid(pid, &status, 0);
  lock.release();
  EXPECT_THAT(folderNames(dir.path()), ::testing::ElementsAre("first-done"));
}

// A holder that dies lets the lock go; its lock file is taken over.
TEST(DirLock, ALockOfADeadProcessIsFree) {
  scratchDir dir;
  const programResult r = childCall([&] {
    static dirLock lock;
    if (lock.acquire(dir.path())) raise(SIGKILL);
  });
  EXPECT_EQ(r.status, -1);
  EXPECT_TRUE(fileExist(dirLockFileName(dir.path()).c_str()));
  dirLock lock;
  EXPECT_TRUE(lock.acquire(dir.path()));
  lock.release();
  EXPECT_TRUE(folderNames(dir.path()).empty());
}
