// Writing the files of one run: 9 files of 0 to 120 KB, each written over its earlier
// version, as a run into a used output folder does. BM_RunFilesWritten is the engine's way
// (openFilePtr and closeWrittenFile: the old file moved aside, rewritten there, cut and
// renamed back); the others are the ways it avoids, for the cost they would add on this disk.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "utility.h"

using namespace tulim;

namespace {

const long kSizes[9] = {0, 40, 300, 2000, 8000, 20000, 50000, 90000, 120000};

// A folder on the disk of the build tree (not tmpfs), left empty again at the end.
struct benchFolder {
  std::string path;
  benchFolder() {
    char name[] = "fileWriteBench-XXXXXX";
    path = mkdtemp(name) ? name : ".";
  }
  ~benchFolder() {
    for (int i = 0; i < 9; ++i) unlink(file(i).c_str());
    rmdir(path.c_str());
  }
  std::string file(int i) const { return path + "/f" + std::to_string(i); }
};

const std::string& content() {
  static const std::string bytes(130000, 'x');
  return bytes;
}

void rawWrite(int fd, long n) {
  if (n > 0 && write(fd, content().data(), static_cast<size_t>(n)) != n) abort();
}

void engineWrite(const std::string& name, long n) {
  filePtr fp = openFilePtr(name, "w");
  fwrite(content().data(), 1, static_cast<size_t>(n), fp.get());
  closeWrittenFile(fp, name);
}

void inPlaceWrite(const std::string& name, long n) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT, 0666);
  rawWrite(fd, n);
  if (ftruncate(fd, n) != 0) abort();
  close(fd);
}

void truncatingWrite(const std::string& name, long n) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  rawWrite(fd, n);
  close(fd);
}

void renamedOverWrite(const std::string& name, long n) {
  const std::string temp = name + ".tmp";
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  rawWrite(fd, n);
  close(fd);
  rename(temp.c_str(), name.c_str());
}

void exchangedWrite(const std::string& name, long n) {
  const std::string temp = name + ".tmp";
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  rawWrite(fd, n);
  close(fd);
  if (syscall(SYS_renameat2, AT_FDCWD, temp.c_str(), AT_FDCWD, name.c_str(), RENAME_EXCHANGE) == 0)
    unlink(temp.c_str());
  else
    rename(temp.c_str(), name.c_str());
}

template <void (*writeOne)(const std::string&, long)>
void runFiles(benchmark::State& state) {
  benchFolder folder;
  for (int i = 0; i < 9; ++i) writeOne(folder.file(i), kSizes[i]);
  for (auto _ : state)
    for (int i = 0; i < 9; ++i) writeOne(folder.file(i), kSizes[i]);
  state.SetItemsProcessed(state.iterations() * 9);
}

void BM_RunFilesWritten(benchmark::State& state) { runFiles<engineWrite>(state); }
void BM_RunFilesRewrittenInPlace(benchmark::State& state) { runFiles<inPlaceWrite>(state); }
void BM_RunFilesTruncated(benchmark::State& state) { runFiles<truncatingWrite>(state); }
void BM_RunFilesRenamedOver(benchmark::State& state) { runFiles<renamedOverWrite>(state); }
void BM_RunFilesExchanged(benchmark::State& state) { runFiles<exchangedWrite>(state); }

}  // namespace

BENCHMARK(BM_RunFilesWritten)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RunFilesRewrittenInPlace)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RunFilesTruncated)->Unit(benchmark::kMicrosecond)->Iterations(200);
BENCHMARK(BM_RunFilesRenamedOver)->Unit(benchmark::kMicrosecond)->Iterations(200);
BENCHMARK(BM_RunFilesExchanged)->Unit(benchmark::kMicrosecond);
