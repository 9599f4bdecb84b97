#include "numericUtil.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include <unistd.h>

#include "fatalCatch.h"
#include "testFiles.h"

using namespace tulim;
using testing::ElementsAre;
using testing::MatchesRegex;
using tulim::test::readFile;
using tulim::test::scratchDir;
using tulim::test::expectFatal;

namespace {

std::string littleEndianInts(std::initializer_list<int32_t> values) {
  std::string bytes;
  for (int32_t v : values) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int b = 0; b < 4; b++) bytes += static_cast<char>((u >> (8 * b)) & 0xff);
  }
  return bytes;
}

std::string littleEndianDoubles(std::initializer_list<double> values) {
  std::string bytes;
  for (double v : values) {
    uint64_t u;
    memcpy(&u, &v, sizeof u);
    for (int b = 0; b < 8; b++) bytes += static_cast<char>((u >> (8 * b)) & 0xff);
  }
  return bytes;
}

}  // namespace

// ---- Rounding ---------------------------------------------------------------------------------

TEST(NumericUtil, RoundsHalvesAwayFromZero) {
  struct Case {
    double x;
    int rounded;
  };
  const Case cases[] = {
      {0.5, 1},   {-0.5, -1},  {1.5, 2},   {-1.5, -2},      {2.5, 3},  {-2.5, -3}, {0.49, 0},
      {-0.49, 0}, {0, 0},      {-0.0, 0},  {2.4999, 2},     {-7.5, -8}, {1e3 + 0.5, 1001},
      {3e9, INT_MAX}, {-3e9, INT_MIN}, {2147483647.4, INT_MAX}, {-2147483648.4, INT_MIN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(doubleRound(c.x), c.rounded) << c.x;
    EXPECT_EQ(floatRound(static_cast<float>(c.x)), c.rounded) << c.x;
  }
  EXPECT_EQ(doubleRound(0.49999999999999994), 0);
  EXPECT_EQ(floatRound(0.49999997f), 0);
  EXPECT_EQ(doubleRound(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(floatRound(std::numeric_limits<float>::infinity()), INT_MAX);
  EXPECT_EQ(floatRound(-std::numeric_limits<float>::infinity()), INT_MIN);
}

TEST(NumericUtil, IntDivRoundRoundsHalvesAwayFromZero) {
  struct Case {
    int a, b, q;
  };
  const Case cases[] = {
      {7, 2, 4},  {-7, 2, -4}, {5, 2, 3},   {-5, 2, -3}, {4, 3, 1},  {5, 3, 2},       {0, 5, 0},
      {6, -4, -1}, {-6, -4, 1}, {INT_MAX, 2, 1073741824}, {INT_MIN, 2, -1073741824},
      {INT_MIN, -1, INT_MAX}, {INT_MAX, 1, INT_MAX},
  };
  for (const Case& c : cases) EXPECT_EQ(intDivRound(c.a, c.b), c.q) << c.a << "/" << c.b;
  EXPECT_THAT(expectFatal([] { intDivRound(3, 0); }),
              MatchesRegex("Division by zero in intDivRound\\(3, 0\\) \\(line [0-9]+ of numericUtil\\)"));
}

// ---- Matrices ---------------------------------------------------------------------------------

TEST(NumericUtil, MatrixCreateGivesZeroFilledRows) {
  void** m = matrixCreate(3, 5, sizeof(double));
  ASSERT_NE(m, nullptr);
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 5; c++) EXPECT_EQ(static_cast<double*>(m[r])[c], 0.0);
  static_cast<double*>(m[2])[4] = 1.0;
  matrixRowsFree(m, 3);

  float** f = matrixCreate<float>(4, 257);
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 257; c++) EXPECT_EQ(f[r][c], 0.0f);
  f[3][256] = 2.0f;
  matrixRowsFree(f, 4);

  EXPECT_EQ(matrixCreate(0, 0, 4), nullptr);
  EXPECT_EQ(matrixCreate<int>(0, 0), nullptr);
  void** empty = matrixCreate(2, 0, 4);  // rows of no cells still exist
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(empty[1], nullptr);
  matrixRowsFree(empty, 2);
  matrixRowsFree(static_cast<void**>(nullptr), 2);
}

TEST(NumericUtil, MatrixCreateFailureIsFatal) {
  EXPECT_EQ(expectFatal([] { matrixCreate(-1, 3, 4); }), "Error in matrixCreate!");
  EXPECT_EQ(expectFatal([] { matrixCreate<double>(2, -1); }), "Error in matrixCreate!");
}

TEST(NumericUtilDeathTest, FisCreateMatrixFailureEndsTheProcess) {
  void** m = fisCreateMatrix(2, 2, sizeof(int));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(static_cast<int*>(m[1])[1], 0);
  matrixRowsFree(m, 2);
  EXPECT_EXIT(
      {
        dup2(2, 1);
        fisCreateMatrix(-1, 2, sizeof(int));
      },
      testing::ExitedWithCode(1), "^Error in fisCreateMatrix!\n$");
}

// ---- Arrays -------------------------------------------------------------------------------------

TEST(NumericUtil, ConvertsBetweenIntAndDoubleArrays) {
  const double d[] = {1.5, -1.5, 0.4, -2.6, 1e12};
  int i[5];
  double2intArray(d, 5, i);
  EXPECT_THAT(i, ElementsAre(2, -2, 0, -3, INT_MAX));
  const int back[] = {INT_MIN, 0, 7};
  double out[3];
  int2doubleArray(back, 3, out);
  EXPECT_THAT(out, ElementsAre(-2147483648.0, 0.0, 7.0));
}

TEST(NumericUtil, VecLinearScaleMapsEndsOntoEnds) {
  struct Case {
    std::vector<double> in;
    int m;
    std::vector<double> out;
  };
  const Case cases[] = {
      {{0, 10}, 3, {0, 5, 10}},
      {{1, 2, 3}, 2, {1, 3}},
      {{0, 10, 20, 30}, 7, {0, 5, 10, 15, 20, 25, 30}},
      {{4, -4}, 5, {4, 2, 0, -2, -4}},
      {{1, 9, 3, 7}, 4, {1, 9, 3, 7}},
  };
  for (const Case& c : cases) {
    std::vector<double> out(c.m);
    vecLinearScale(c.in.data(), static_cast<int>(c.in.size()), out.data(), c.m);
    ASSERT_EQ(out.size(), c.out.size());
    for (int i = 0; i < c.m; i++) EXPECT_NEAR(out[i], c.out[i], 1e-12) << i;

    std::vector<int> inInt(c.in.begin(), c.in.end()), outInt(c.m);
    vecLinearScaleInt(inInt.data(), static_cast<int>(inInt.size()), outInt.data(), c.m);
    for (int i = 0; i < c.m; i++) EXPECT_EQ(outInt[i], static_cast<int>(c.out[i])) << i;
  }
}

TEST(NumericUtil, VecLinearScaleIntWorksInSteps128) {
  // {0, 100} to 4 points: r = (i*128 + 1)/3 = 43 and 85, so 4300/128 and 8500/128.
  const int in[] = {0, 100};
  int out[4];
  vecLinearScaleInt(in, 2, out, 4);
  EXPECT_THAT(out, ElementsAre(0, 33, 66, 100));
}

TEST(NumericUtil, VecLinearScaleRejectsFewerThanTwoPoints) {
  const double in[] = {1, 2};
  double out[2];
  EXPECT_THAT(expectFatal([&] { vecLinearScale(in, 1, out, 2); }),
              MatchesRegex("vecLinearScale needs at least 2 points \\(n = 1, m = 2\\) \\(line [0-9]+ of numericUtil\\)"));
  int inInt[] = {1, 2}, outInt[1];
  EXPECT_THAT(expectFatal([&] { vecLinearScaleInt(inInt, 2, outInt, 1); }),
              MatchesRegex("vecLinearScaleInt needs .*\\(n = 2, m = 1\\).*"));
}

TEST(NumericUtil, MinusOneCompactMovesEmptyCellsBack) {
  struct Case {
    std::vector<double> in, out;
  };
  const Case cases[] = {
      {{-1, 3, -1, -1, 5, 2}, {3, 5, 2, -1, -1, -1}},
      {{-1, -1}, {-1, -1}},
      {{4, 5}, {4, 5}},
      {{}, {}},
      {{-1}, {-1}},
      {{0, -1, -2}, {0, -2, -1}},
  };
  for (const Case& c : cases) {
    std::vector<double> a = c.in;
    minusOneCompact(a.data(), static_cast<int>(a.size()));
    EXPECT_EQ(a, c.out);
  }
}

TEST(NumericUtil, ZeroFillForwardCarriesTheLastValue) {
  double a[] = {3, 0, 0, 5, 0};
  zeroFillForward(a, 5);
  EXPECT_THAT(a, ElementsAre(3, 3, 3, 5, 5));
  double bad[] = {0, 1};
  EXPECT_THAT(expectFatal([&] { zeroFillForward(bad, 2); }),
              MatchesRegex("Wrong vector format \\(line [0-9]+ of numericUtil\\)"));
  zeroFillForward(bad, 0);
}

TEST(NumericUtil, TableInterpClampsAndInterpolates) {
  const double table[] = {0, 10, 30};
  struct Case {
    double x, expected;
  };
  const Case cases[] = {{0.25, 2.5}, {-1, 0}, {0, 0}, {1, 10}, {1.5, 20}, {2, 30}, {7, 30}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(tableInterp(table, 3, c.x, 0, 2, 1), c.expected) << c.x;
  EXPECT_DOUBLE_EQ(tableInterp(table, 2, 0.25, 0, 1, 1), 2.5);
  // xMax beyond the table: the last interval is used, nothing is read past the end.
  EXPECT_DOUBLE_EQ(tableInterp(table, 3, 2.5, 0, 5, 1), 40);
  EXPECT_TRUE(std::isnan(tableInterp(table, 3, std::nan(""), 0, 2, 1)));
  EXPECT_TRUE(std::isfinite(tableInterp(table, 3, 1.5, 0, 2, -1)));  // nothing read before the table
  for (double x : {-1.0, 0.5, 7.0})
    EXPECT_THAT(expectFatal([x] { tableInterp(nullptr, 0, x, 0, 2, 1); }),
                MatchesRegex("tableInterp: empty table \\(line [0-9]+ of numericUtil\\)"));
}

TEST(NumericUtil, RankInSortedCountsFromEitherEnd) {
  const int a[] = {1, 3, 5, 7};
  EXPECT_EQ(rankInSorted(a, 4, 5, 10, false), 13);
  EXPECT_EQ(rankInSorted(a, 4, 5, 10, true), 11);
  EXPECT_EQ(rankInSorted(a, 4, 0, 0, true), 4);
  EXPECT_EQ(rankInSorted(a, 4, 9, 1, false), 5);
}

TEST(NumericUtil, HistMedianOfSmallIntegers) {
  struct Case {
    std::vector<int> values;
    int median;
  };
  const Case cases[] = {
      {{1, 2, 3, 4}, 2}, {{1, 3, 3, 3}, 3}, {{4}, 4},    {{0, 0, 4}, 0},    {{2, 4}, 3},
      {{4, 2, 0}, 2},    {{0, 4}, 2},       {{1, 1, 3, 3}, 2}, {{3, 3, 3, 1, 1, 1}, 2}, {{1, 1, 1, 3}, 1},
  };
  int hist[5];
  for (const Case& c : cases)
    EXPECT_EQ(histMedian(c.values.data(), static_cast<int>(c.values.size()), hist, 5), c.median)
        << testing::PrintToString(c.values);
}

TEST(NumericUtil, HistMedianLeavesOutOfRangeValuesOut) {
  const int values[] = {1, 9, 3, -1, 2};
  int hist[5];
  testing::internal::CaptureStdout();
  EXPECT_EQ(histMedian(values, 5, hist, 5), 2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Out of bound!\nvec[1]=9, histVecLen=5\nOut of bound!\nvec[3]=-1, histVecLen=5\n");
  EXPECT_THAT(hist, ElementsAre(0, 1, 1, 1, 0));
  testing::internal::CaptureStdout();
  EXPECT_EQ(histMedian(values + 1, 1, hist, 5), 0);
  EXPECT_EQ(histMedian(values, 0, hist, 5), 0);
  testing::internal::GetCapturedStdout();
}

TEST(NumericUtil, ColumnRankByCoverageChoosesGreedily) {
  // Two columns {1, 2, 3} and {3, 4, 0}, row-major over 3 rows.
  const double m[] = {1, 3, 2, 4, 3, 0};
  int index[3];
  double ratio[3];
  EXPECT_EQ(columnRankByCoverage(m, 2, 3, 2, index, ratio), 2);
  EXPECT_THAT(index, ElementsAre(0, 1, testing::_));
  EXPECT_DOUBLE_EQ(ratio[0], 0.75);
  EXPECT_DOUBLE_EQ(ratio[1], 1.0);

  // Ties keep the lowest column; labels repeated in a column count once; the matrix stays.
  const double tie[] = {2.7, 1, 5,   //
                        2.2, 2, 5,   //
                        0,   1, 5};
  std::vector<double> before(tie, tie + 9);
  EXPECT_EQ(columnRankByCoverage(tie, 3, 3, 3, index, ratio), 2);
  EXPECT_THAT(index, ElementsAre(1, 2, 0));
  EXPECT_EQ(std::vector<double>(tie, tie + 9), before);
  EXPECT_DOUBLE_EQ(ratio[0], 2.0 / 5);
  EXPECT_DOUBLE_EQ(ratio[1], 3.0 / 5);
  EXPECT_DOUBLE_EQ(ratio[2], 1.0);  // column 0 adds nothing new, so step 2 never happens

  const double none[] = {0, -2, 0, 0};
  index[0] = 9;
  EXPECT_EQ(columnRankByCoverage(none, 2, 2, 2, index, ratio), 0);
  EXPECT_EQ(index[0], 0);
  EXPECT_EQ(ratio[0], 1.0);
}

TEST(NumericUtil, LogGaussianIsTheLogNormalDensity) {
  EXPECT_NEAR(logGaussian(0, 0, 1), -0.918938533204673, 1e-12);
  EXPECT_NEAR(logGaussian(3, 1, 4), std::log(std::exp(-0.5) / std::sqrt(2 * M_PI * 4)), 1e-12);
}

TEST(NumericUtil, BufferXorRepeatsTheKey) {
  unsigned char buffer[] = {0x00, 0xff, 0x0f, 0x10, 0x80};
  const unsigned char key[] = {0x01, 0xf0};
  bufferXor(buffer, 5, key, 2);
  EXPECT_THAT(buffer, ElementsAre(0x01, 0x0f, 0x0e, 0xe0, 0x81));
  bufferXor(buffer, 5, key, 2);
  EXPECT_THAT(buffer, ElementsAre(0x00, 0xff, 0x0f, 0x10, 0x80));
  bufferXor(buffer, 5, key, 0);
  EXPECT_THAT(buffer, ElementsAre(0x00, 0xff, 0x0f, 0x10, 0x80));
}

TEST(NumericUtil, WaitSecondsReturnsTheClockAfterTheWait) {
  const long start = waitSeconds(0);
  const long end = waitSeconds(0.025f);
  EXPECT_GE(end - start, 25);
  // 0.02f * 1000 is 19.99999..., truncated to 19 milliseconds.
  const long next = waitSeconds(0.02f);
  EXPECT_GE(next - end, 19);
  EXPECT_GE(waitSeconds(-1.0f), next);
}

// ---- Number files -----------------------------------------------------------------------------

TEST(NumericUtil, NumberFilesRoundTrip) {
  scratchDir dir;
  const std::vector<int> ints = {0, -5, 2147483647, -2147483647 - 1, 42};
  intVec2file(dir.file("a.txt"), ints);
  EXPECT_EQ(readFile(dir.file("a.txt")), "0\n-5\n2147483647\n-2147483648\n42\n");
  std::vector<int> back{99};
  file2intVec(dir.file("a.txt"), back);
  EXPECT_EQ(back, ints);
  int array[5] = {};
  file2intArray(dir.file("a.txt"), array, 5);
  EXPECT_EQ(std::vector<int>(array, array + 5), ints);

  const std::string bin = dir.write("a.bin", littleEndianInts({7, -1, 65536}));
  int fromBin[3];
  file2intArray(bin, fromBin, 3);
  EXPECT_THAT(fromBin, ElementsAre(7, -1, 65536));

  const std::string dbin = dir.write("d.BIN", littleEndianDoubles({0.1, -2.5e300, 3}));
  double fromDbin[3];
  file2doubleArray(dbin, fromDbin, 3);
  EXPECT_THAT(fromDbin, ElementsAre(0.1, -2.5e300, 3.0));

  const std::string dtxt = dir.write("d.TXT", "0.1\n-2.5e300\n  3\n");
  double fromDtxt[3];
  file2doubleArray(dtxt, fromDtxt, 3);
  EXPECT_THAT(fromDtxt, ElementsAre(0.1, -2.5e300, 3.0));
}

TEST(NumericUtil, ShortNumberFilesLeaveTheRestUnchanged) {
  scratchDir dir;
  struct Case {
    std::string name, content;
  };
  const Case cases[] = {
      {"short.txt", "1\n2\n"},
      {"stop.txt", "1\n2\nx\n4\n"},
      {"short.bin", littleEndianInts({1, 2}) + std::string("\x03\x00", 2)},
  };
  for (const Case& c : cases) {
    int a[4] = {-9, -9, -9, -9};
    file2intArray(dir.write(c.name, c.content), a, 4);
    EXPECT_THAT(a, ElementsAre(1, 2, -9, -9)) << c.name;
  }
  double d[3] = {-9, -9, -9};
  file2doubleArray(dir.write("short.bin", littleEndianDoubles({1.5}) + "\x01\x02"), d, 3);
  EXPECT_THAT(d, ElementsAre(1.5, -9, -9));
}

TEST(NumericUtil, NumberFilesNeedAnExactExtension) {
  scratchDir dir;
  for (const char* name : {"data.Txt", "data.bIn", "data", "data.dat"}) {
    const std::string path = dir.write(name, "1\n");
    int a[1];
    double d[1];
    const std::string expected = "Error in reading " + path +
                                 ": The only allowed extensions are \"txt\" and \"bin\" \\(line [0-9]+ of numericUtil\\)";
    EXPECT_THAT(expectFatal([&] { file2intArray(path, a, 1); }), MatchesRegex(expected));
    EXPECT_THAT(expectFatal([&] { file2doubleArray(path, d, 1); }), MatchesRegex(expected));
  }
  int a[1];
  EXPECT_THAT(expectFatal([&] { file2intArray(dir.file("absent.txt"), a, 1); }),
              testing::StartsWith("Cannot open file"));
}

TEST(NumericUtil, VectorReadersStopAtTheFirstNonNumber) {
  scratchDir dir;
  std::vector<int> ints;
  file2intVec(dir.write("i.txt", " 3 -4\n\n+5 99999999999 6abc 7"), ints);
  EXPECT_THAT(ints, ElementsAre(3, -4, 5, INT_MAX, 6));
  file2intVec(dir.write("empty.txt", ""), ints);
  EXPECT_TRUE(ints.empty());

  std::vector<float> floats{1};
  file2floatVec(dir.write("f.txt", "0.5\n-1e3\n2.25 end 4\n"), floats);
  EXPECT_THAT(floats, ElementsAre(0.5f, -1000.0f, 2.25f));

  // A byte-order mark before the first number is no non-number.
  file2intVec(dir.write("marked.txt", "\xEF\xBB\xBF" "8 9\n"), ints);
  EXPECT_THAT(ints, ElementsAre(8, 9));
  file2floatVec(dir.write("marked.txt", "\xEF\xBB\xBF" "0.5\n"), floats);
  EXPECT_THAT(floats, ElementsAre(0.5f));
  double d[2] = {0, 0};
  file2doubleArray(dir.write("marked.txt", "\xEF\xBB\xBF" "1.5 2.5\n"), d, 2);
  EXPECT_EQ(d[0], 1.5);
  EXPECT_EQ(d[1], 2.5);
}

TEST(NumericUtil, AppendWritersAddOneLineEach) {
  scratchDir dir;
  const std::string name = dir.file("log.txt");
  int2fileAppend(-3, name);
  float2fileAppend(0.25f, name);
  double2fileAppend(1.0 / 3, name);
  int2fileAppend(7, name);
  EXPECT_EQ(readFile(name), "-3\n0.250000\n0.333333\n7\n");
}

TEST(NumberFiles, WritersReportAFullDiskInsteadOfACutFile) {
  const std::function<void()> writers[] = {
      [] { intVec2file("/dev/full", {1, 2, 3}); },
      [] { int2fileAppend(7, "/dev/full"); },
      [] { float2fileAppend(0.5f, "/dev/full"); },
      [] { double2fileAppend(0.25, "/dev/full"); },
  };
  for (const auto& write : writers) EXPECT_THAT(expectFatal(write), MatchesRegex("Cannot write file /dev/full: No space left on device \\(line [0-9]+ of utility\\)"));
}
