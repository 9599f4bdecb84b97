// Cost of reading a file byte by byte through TFileInputStream (by buffer size) and as int32
// values through TDataInputStream, and of writing it through TFileOutputStream, per megabyte.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "TDataInputStream.h"
#include "TFileInputStream.h"
#include "TFileOutputStream.h"

namespace {

const int FILE_BYTES = 1 << 20;

const std::string& megabyteFile() {
  static const std::string path = [] {
    std::string name = (std::filesystem::temp_directory_path() / "tulim-bench-stream.bin").string();
    FILE* fp = fopen(name.c_str(), "wb");
    for (int i = 0; i < FILE_BYTES; ++i) fputc((i * 131) & 0xff, fp);
    fclose(fp);
    return name;
  }();
  return path;
}

void BM_FileInputReadBytes(benchmark::State& state) {
  tulim::TFileInputStream in(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    in.open(megabyteFile().c_str());
    long sum = 0;
    for (int byte = in.read(); byte >= 0; byte = in.read()) sum += byte;
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * FILE_BYTES);
}
BENCHMARK(BM_FileInputReadBytes)->Arg(1024)->Arg(16384);

void BM_DataInputReadInts(benchmark::State& state) {
  tulim::TFileInputStream file;
  tulim::TDataInputStream in(&file);
  for (auto _ : state) {
    file.open(megabyteFile().c_str());
    long sum = 0;
    for (int i = 0; i < FILE_BYTES / 4; ++i) sum += in.readInt();
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * FILE_BYTES);
}
BENCHMARK(BM_DataInputReadInts);

void BM_FileOutputWriteBytes(benchmark::State& state) {
  std::string name = (std::filesystem::temp_directory_path() / "tulim-bench-stream-out.bin").string();
  tulim::TFileOutputStream out(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    out.open(name.c_str());
    for (int i = 0; i < FILE_BYTES; ++i) out.write(i);
    out.close();
  }
  std::remove(name.c_str());
  state.SetBytesProcessed(state.iterations() * FILE_BYTES);
}
BENCHMARK(BM_FileOutputWriteBytes)->Arg(1024)->Arg(16384);

}  // namespace
