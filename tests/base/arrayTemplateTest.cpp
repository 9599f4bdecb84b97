#include "arrayTemplate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <random>
#include <string>

#include <unistd.h>

#include "fatalCatch.h"
#include "testFiles.h"

using namespace tulim;
using testing::ElementsAre;
using tulim::test::readFile;
using tulim::test::scratchDir;

namespace {

template <class T>
class ArrayTemplateTyped : public testing::Test {};
using valueTypes = testing::Types<int, float, double>;
TYPED_TEST_SUITE(ArrayTemplateTyped, valueTypes);

template <class T>
std::vector<T> values(std::initializer_list<double> list) {
  std::vector<T> out;
  for (double v : list) out.push_back(static_cast<T>(v));
  return out;
}

// The index quicksort written the plain recursive way, as the reference for the order
// that the production version leaves equal values in.
void referenceQuickSort(int* a, int* index, int lo, int hi) {
  if (lo >= hi) return;
  const int pivot = a[lo];
  int i = lo, j = hi + 1;
  for (;;) {
    i++;
    while (a[i] < pivot && i < hi) i++;
    j--;
    while (a[j] > pivot && j > lo) j--;
    if (i < j) {
      std::swap(a[i], a[j]);
      std::swap(index[i], index[j]);
    }
    if (i >= j) break;
  }
  std::swap(a[lo], a[j]);
  std::swap(index[lo], index[j]);
  referenceQuickSort(a, index, lo, j - 1);
  referenceQuickSort(a, index, j + 1, hi);
}

// Median by repeated partitioning around the first element, the reference result.
template <class T>
T referenceMedian(const T* in, int n) {
  std::vector<T> a(in, in + n);
  int lo = 0, hi = n - 1, k = (n - 1) / 2, p = 0;
  for (;;) {
    quickSelectPartition(a.data(), lo, hi, &p);
    if (p == k) break;
    if (p < k)
      lo = p + 1;
    else
      hi = p - 1;
  }
  if (n % 2 == 1) return a[k];
  T second = a[k + 1];
  for (int i = k + 1; i <= hi; i++)
    if (a[i] < second) second = a[i];
  if (std::is_integral<T>::value) return static_cast<T>((static_cast<long long>(a[k]) + second) / 2);
  return (a[k] + second) / 2;
}

}  // namespace

// ---- Statistics -------------------------------------------------------------------------------

TYPED_TEST(ArrayTemplateTyped, ExtremesKeepTheFirstOfEqualElements) {
  using T = TypeParam;
  struct Case {
    std::vector<T> a;
    T max, min;
    int maxAt, minAt;
  };
  const Case cases[] = {
      {values<T>({7}), 7, 7, 0, 0},
      {values<T>({-3, 5, 5, -3}), 5, -3, 1, 0},
      {values<T>({-1, -9, -2}), -1, -9, 0, 1},
      {values<T>({2, 2, 2}), 2, 2, 0, 0},
  };
  for (const Case& c : cases) {
    const int n = static_cast<int>(c.a.size());
    int maxAt = -1, minAt = -1;
    EXPECT_EQ(maxValue(c.a.data(), n), c.max);
    EXPECT_EQ(minValue(c.a.data(), n), c.min);
    EXPECT_EQ(maxValueIndex(c.a.data(), n, &maxAt), c.max);
    EXPECT_EQ(minValueIndex(c.a.data(), n, &minAt), c.min);
    EXPECT_EQ(maxAt, c.maxAt);
    EXPECT_EQ(minAt, c.minAt);
  }
}

TYPED_TEST(ArrayTemplateTyped, SumsAndAbsolutes) {
  using T = TypeParam;
  const std::vector<T> a = values<T>({3, -4, 0, -2});
  EXPECT_EQ(sumValue(a.data(), 4), T(-3));
  EXPECT_EQ(maxAbsValue(a.data(), 4), T(4));
  EXPECT_EQ(absSum(a.data(), 4), T(9));
  EXPECT_EQ(squareSum(a.data(), 4), T(29));
  EXPECT_EQ(sumValue(a.data(), 0), T(0));
}

TEST(ArrayTemplate, IntSumWrapsAtThirtyTwoBits) {
  const int a[] = {INT_MAX, 1, INT_MIN, INT_MIN};
  EXPECT_EQ(sumValue(a, 2), INT_MIN);
  EXPECT_EQ(sumValue(a, 4), INT_MIN);  // INT_MAX + 1 + 2*INT_MIN = INT_MIN (mod 2^32)
  EXPECT_EQ(maxAbsValue(a + 2, 1), INT_MAX);
}

TEST(ArrayTemplate, MeanValueTruncatesTowardZero) {
  const int positive[] = {1, 2, 2};
  const int negative[] = {-1, -2, -2};
  EXPECT_EQ(meanValue(positive, 3), 1);
  EXPECT_EQ(meanValue(negative, 3), -1);
  const double d[] = {1, 2, 3, 4};
  EXPECT_DOUBLE_EQ(meanSquare(d, 4), 7.5);
}

TEST(ArrayTemplate, DotProductFormsEachProductInThirtyTwoBits) {
  const int a[] = {2, -3, 65536};
  const int b[] = {5, 4, 65536};
  EXPECT_EQ(dotProduct<int>(a, b, 2), -2);
  EXPECT_DOUBLE_EQ(dotProduct<double>(a, b, 2), -2.0);
  // 65536 * 65536 is 2^32, which a 32-bit product leaves as 0.
  EXPECT_DOUBLE_EQ(dotProduct<double>(a, b, 3), -2.0);
  EXPECT_FLOAT_EQ(dotProduct<float>(a, b, 3), -2.0f);
}

TEST(ArrayTemplate, AbsDiffSumOfExtremesStaysPositive) {
  const int a[] = {3, -5, INT_MAX};
  const int b[] = {7, 2, INT_MIN};
  EXPECT_DOUBLE_EQ(absDiffSum<double>(a, b, 2), 11.0);
  EXPECT_DOUBLE_EQ(absDiffSum<double>(a, b, 3), 11.0 + 4294967295.0);
  EXPECT_FLOAT_EQ(absDiffSum<float>(a, b, 2), 11.0f);
}

TEST(ArrayTemplate, ZeroCrossingsIgnorePairsTouchingZero) {
  struct Case {
    std::vector<double> a;
    int count;
  };
  const Case cases[] = {
      {{1, -1, 0, 1, -2}, 2}, {{5}, 0}, {{}, 0}, {{0, 0, 0}, 0}, {{-1, 1, -1, 1}, 3}, {{-0.5, 0.5}, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(zeroCrossingCount(c.a.data(), static_cast<int>(c.a.size())), c.count);
  }
  const int samples[] = {3, -3, -2, 0, 5, 4, -1};
  EXPECT_EQ(zeroCrossingCount(samples, 7), 2);
}

// ---- Selection ----------------------------------------------------------------------------------

TEST(ArrayTemplate, QuickSelectPartitionMovesSmallerValuesLeftOfThePivot) {
  int a[] = {9, 4, 5, 7, 3, 8, 1};
  int pivotAt = -1;
  quickSelectPartition(a, 1, 5, &pivotAt);  // pivot 4 over {4, 5, 7, 3, 8}
  EXPECT_EQ(pivotAt, 2);
  EXPECT_THAT(a, ElementsAre(9, 3, 4, 7, 5, 8, 1));
}

TYPED_TEST(ArrayTemplateTyped, MedianOfSmallArrays) {
  using T = TypeParam;
  struct Case {
    std::vector<T> a;
    double expected;  // for int the truncated value
  };
  const bool isInt = std::is_integral<T>::value;
  const Case cases[] = {
      {values<T>({7}), 7},
      {values<T>({5, 1, 4, 2}), 3},
      {values<T>({1, 2}), isInt ? 1.0 : 1.5},
      {values<T>({-1, -2}), isInt ? -1.0 : -1.5},
      {values<T>({3, 3, 3, 1}), 3},
      {values<T>({-5, 9, 0}), 0},
      {values<T>({4, 4, 1, 1}), isInt ? 2.0 : 2.5},
  };
  for (const Case& c : cases) {
    const std::vector<T> before = c.a;
    EXPECT_EQ(median(c.a.data(), static_cast<int>(c.a.size())), static_cast<T>(c.expected));
    EXPECT_EQ(c.a, before);
  }
}

TYPED_TEST(ArrayTemplateTyped, MedianMatchesRepeatedPartitioning) {
  using T = TypeParam;
  std::mt19937 random(7);
  for (int trial = 0; trial < 300; trial++) {
    const int n = 1 + static_cast<int>(random() % 40);
    std::vector<T> a(n);
    for (T& v : a) v = static_cast<T>(static_cast<int>(random() % 11) - 5);
    EXPECT_EQ(median(a.data(), n), referenceMedian(a.data(), n)) << "trial " << trial;
  }
}

TEST(ArrayTemplate, IntegerRankSelectionPlacesTheSortedValueAndSplitsAroundIt) {
  std::mt19937 random(11);
  struct shape {
    const char* name;
    std::function<int(int, int)> value;  // (index, size)
  };
  const std::vector<shape> shapes = {
      {"wide random", [&](int, int) { return static_cast<int>(random()); }},
      {"speech-like", [&](int, int) { return static_cast<int>(random() % 4001) - 2000; }},
      {"three values", [&](int, int) { return static_cast<int>(random() % 3) - 1; }},
      {"constant", [](int, int) { return 9; }},
      {"ascending", [](int i, int) { return i; }},
      {"descending", [](int i, int n) { return n - i; }},
      {"organ pipe", [](int i, int n) { return std::min(i, n - i); }},
      {"extremes", [&](int, int) { return random() % 2 ? INT_MAX : INT_MIN; }},
  };
  for (const shape& s : shapes) {
    for (int n : {1, 2, 3, 15, 16, 17, 33, 100, 319, 320, 1001, 5000}) {
      std::vector<int> in(static_cast<size_t>(n));
      for (int i = 0; i < n; i++) in[static_cast<size_t>(i)] = s.value(i, n);
      std::vector<int> sorted = in;
      std::sort(sorted.begin(), sorted.end());
      std::vector<int> ranks = {0, (n - 1) / 2, n / 2, n - 1};
      if (n <= 33)
        for (int k = 0; k < n; k++) ranks.push_back(k);
      for (int k : ranks) {
        SCOPED_TRACE(std::string(s.name) + ", n = " + std::to_string(n) + ", k = " + std::to_string(k));
        std::vector<int> a = in;
        arrayDetail::selectIntegerRank(a.data(), n, k);
        ASSERT_EQ(a[k], sorted[k]);
        for (int i = 0; i < k; i++) ASSERT_LE(a[i], a[k]) << "before, at " << i;
        for (int i = k + 1; i < n; i++) ASSERT_GE(a[i], a[k]) << "after, at " << i;
        std::sort(a.begin(), a.end());
        ASSERT_EQ(a, sorted) << "not a permutation";
      }
    }
  }
}

TEST(ArrayTemplate, MedianOfLargeConstantAndSortedArraysIsFast) {
  // Partitioning around the first element would take about n^2/2 steps on each of these.
  const int n = 2000000;
  std::vector<int> constant(n, 42);
  EXPECT_EQ(median(constant.data(), n), 42);
  std::vector<double> sorted(n);
  for (int i = 0; i < n; i++) sorted[i] = i;
  EXPECT_DOUBLE_EQ(median(sorted.data(), n), (n / 2 - 1 + n / 2) / 2.0);
}

TEST(ArrayTemplate, MedianOfFloatsWithNanStaysDefined) {
  const float a[] = {NAN, 1.0f, 2.0f, NAN, 3.0f};
  EXPECT_EQ(median(a, 5), 3.0f);  // NaNs rank above every number
}

TYPED_TEST(ArrayTemplateTyped, NonZeroCompactKeepsOrderAndClearsTheRest) {
  using T = TypeParam;
  std::vector<T> a = values<T>({0, 3, 0, -1, 0, 2});
  EXPECT_EQ(nonZeroCompact(a.data(), 6), 3);
  EXPECT_EQ(a, values<T>({3, -1, 2, 0, 0, 0}));
}

TEST(ArrayTemplate, NonZeroCompactCountsNanAsNonZero) {
  double a[] = {0, NAN, 0};
  EXPECT_EQ(nonZeroCompact(a, 3), 1);
  EXPECT_TRUE(std::isnan(a[0]));
  EXPECT_EQ(a[1], 0);
}

TEST(ArrayTemplate, NonZeroMedianSkipsZeros) {
  const float pitch[] = {0, 60, 0, 62, 64, 0};
  EXPECT_FLOAT_EQ(nonZeroMedian(pitch, 6), 62.0f);
  const double even[] = {0, 50, 0, 60};
  EXPECT_DOUBLE_EQ(nonZeroMedian(even, 4), 55.0);
  EXPECT_DOUBLE_EQ(nonZeroMedian(pitch, 1), 0.0);
  EXPECT_EQ(nonZeroMedian(pitch, 0), 0.0f);
  const std::vector<float> silent(1000, 0.0f);
  EXPECT_EQ(nonZeroMedian(silent.data(), 1000), 0.0f);
}

TEST(ArrayTemplate, MedianFilterReadsUnfilteredValuesAndKeepsTheEnds) {
  struct Case {
    std::vector<double> in;
    int order;
    std::vector<double> out;
  };
  const Case cases[] = {
      {{9, 1, 5, 1, 9}, 3, {9, 5, 1, 5, 9}},
      {{1, 5, 2, 8, 3, 9, 4}, 5, {1, 5, 3, 5, 4, 9, 4}},
      // even window: half = 2 before i and 1 after it; i from 2 to n-3
      {{4, 8, 1, 6, 2, 7}, 4, {4, 8, 5, 4, 2, 7}},
      {{3, 1, 2}, 1, {3, 1, 2}},
      {{3, 1}, 5, {3, 1}},
      {{}, 3, {}},
  };
  for (const Case& c : cases) {
    std::vector<double> a = c.in;
    medianFilter(a.data(), static_cast<int>(a.size()), c.order);
    EXPECT_EQ(a, c.out) << "order " << c.order;
    std::vector<float> f(c.in.begin(), c.in.end());
    medianFilter(f.data(), static_cast<int>(f.size()), c.order);
    EXPECT_EQ(std::vector<double>(f.begin(), f.end()), c.out);
  }
}

// ---- Sorting with an index --------------------------------------------------------------------

TEST(ArrayTemplate, SortWithIndexLeavesInputAndRecordsPermutation) {
  struct Case {
    std::vector<int> in;
  };
  const Case cases[] = {{{}}, {{7}}, {{3, -1, 2}}, {{2, 2, 1, 2}}, {{-5, -5, -5}}, {{5, 4, 3, 2, 1}}};
  for (const Case& c : cases) {
    const int n = static_cast<int>(c.in.size());
    std::vector<int> sorted(n), index(n);
    sortWithIndex(c.in.data(), n, sorted.data(), index.data());
    std::vector<int> expected = c.in;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected);
    for (int j = 0; j < n; j++) EXPECT_EQ(sorted[j], c.in[index[j]]);
  }
}

TEST(ArrayTemplate, SortWithIndexKeepsTieOrderOfQuicksort) {
  const int in[] = {2, 1, 2, 1, 2};
  int sorted[5], index[5];
  sortWithIndex(in, 5, sorted, index);
  EXPECT_THAT(sorted, ElementsAre(1, 1, 2, 2, 2));
  EXPECT_THAT(index, ElementsAre(1, 3, 4, 0, 2));

  std::mt19937 random(11);
  for (int trial = 0; trial < 300; trial++) {
    const int n = static_cast<int>(random() % 60);
    const int spread = 1 + static_cast<int>(random() % 8);
    std::vector<int> a(n);
    for (int& v : a) v = static_cast<int>(random() % spread) - spread / 2;
    if (trial % 5 == 0) std::sort(a.begin(), a.end());
    std::vector<int> got(n), gotIndex(n);
    sortWithIndex(a.data(), n, got.data(), gotIndex.data());
    std::vector<int> want = a, wantIndex(n);
    for (int i = 0; i < n; i++) wantIndex[i] = i;
    referenceQuickSort(want.data(), wantIndex.data(), 0, n - 1);
    EXPECT_EQ(gotIndex, wantIndex) << "trial " << trial;
  }
}

TEST(ArrayTemplate, SortWithIndexOfLargeConstantAndSortedArrays) {
  // A recursion as deep as the array would overflow the stack on the descending case.
  const int n = 1000000;
  std::vector<int> sorted(n), index(n);
  std::vector<int> constant(n, 3);
  sortWithIndex(constant.data(), n, sorted.data(), index.data());
  EXPECT_EQ(sorted, constant);

  std::vector<int> ascending(n);
  for (int i = 0; i < n; i++) ascending[i] = i;
  sortWithIndex(ascending.data(), n, sorted.data(), index.data());
  EXPECT_EQ(index, ascending);

  const int m = 3000;
  std::vector<int> descending(m);
  for (int i = 0; i < m; i++) descending[i] = m - i;
  sortWithIndex(descending.data(), m, sorted.data(), index.data());
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.begin() + m));
  EXPECT_EQ(index[0], m - 1);
}

// ---- Binary search ------------------------------------------------------------------------------

TEST(ArrayTemplate, BinarySearchCountsElementsNotAbove) {
  const int a[] = {1, 3, 5, 7};
  const double d[] = {1, 3, 5, 7};
  struct Case {
    int value;
    int rank;
  };
  const Case cases[] = {{5, 3}, {4, 2}, {0, 0}, {9, 4}, {1, 1}, {7, 4}, {-100, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(binarySearch(a, 4, c.value), c.rank) << c.value;
    EXPECT_EQ(binarySearch(d, 4, static_cast<double>(c.value)), c.rank) << c.value;
  }
  EXPECT_EQ(binarySearch(a, 0, 3), 0);
  EXPECT_EQ(binarySearch(a, 1, 3), 1);
  EXPECT_EQ(binarySearch(a, 1, 0), 0);
}

TEST(ArrayTemplate, BinarySearchWithRepeatsStopsAtTheFirstEqualMet) {
  const int a[] = {2, 2, 2, 2, 2};
  EXPECT_EQ(binarySearch(a, 5, 2), 3);  // mid = 2 meets an equal element at once
  const double b[] = {1, 2, 2, 3};
  EXPECT_EQ(binarySearch(b, 4, 2.0), 2);
  EXPECT_EQ(binarySearchRecursive(b, 2.0, 2, 3), 3);
}

// ---- Local extremes -----------------------------------------------------------------------------

TYPED_TEST(ArrayTemplateTyped, LocalExtremesTakeTheMiddleOfFlatTops) {
  using T = TypeParam;
  struct Case {
    std::vector<T> a;
    std::vector<int> maxima, minima;
  };
  const Case cases[] = {
      {values<T>({0, 1, 0}), {1}, {}},
      {values<T>({0, 1, 1, 0}), {2}, {}},
      {values<T>({0, 1, 2}), {}, {}},
      {values<T>({2, 1, 0}), {}, {}},
      {values<T>({3, 1, 1, 1, 3, 5, 2, -4, -4, 0}), {5}, {2, 8}},
      {values<T>({5}), {}, {}},
      {values<T>({}), {}, {}},
  };
  for (const Case& c : cases) {
    std::vector<int> maxima{-7}, minima;
    const int n = static_cast<int>(c.a.size());
    EXPECT_EQ(localMaxIndex(c.a.data(), n, maxima), static_cast<int>(c.maxima.size()));
    EXPECT_EQ(localMinIndex(c.a.data(), n, minima), static_cast<int>(c.minima.size()));
    std::vector<int> expectMax{-7};
    expectMax.insert(expectMax.end(), c.maxima.begin(), c.maxima.end());
    EXPECT_EQ(maxima, expectMax);  // appended after what the caller had
    EXPECT_EQ(minima, c.minima);
  }
}

// ---- Segments -----------------------------------------------------------------------------------

TEST(ArrayTemplate, Binary2SegmentsFindsRunsAtBothEnds) {
  struct Case {
    std::vector<int> mask;
    std::vector<std::vector<int>> segments;  // begin, end, duration, valid
  };
  const Case cases[] = {
      {{1, 1, 0, 0, 1}, {{0, 1, 2, 1}, {4, 4, 1, 1}}},
      {{1}, {{0, 0, 1, 1}}},
      {{0, 0}, {}},
      {{}, {}},
      {{0, 2, 5, 0, -1, 3, 3, 3}, {{1, 2, 2, 1}, {5, 7, 3, 1}}},
      {{1, 1, 1}, {{0, 2, 3, 1}}},
  };
  for (const Case& c : cases) {
    int count = -1;
    segment* s = binary2segments(c.mask.data(), static_cast<int>(c.mask.size()), &count);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(count, static_cast<int>(c.segments.size()));
    for (int i = 0; i < count; i++)
      EXPECT_THAT(c.segments[i], ElementsAre(s[i].begin, s[i].end, s[i].duration, s[i].valid));
    free(s);
  }
}

TEST(ArrayTemplate, SegmentPrintWritesOneLinePerRecord) {
  const segment s[] = {{0, 1, 2, 1}, {4, 9, 6, 0}};
  testing::internal::CaptureStdout();
  segmentPrint(s, 2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "i=0: begin=0, end=1, duration=2, valid=1\n"
            "i=1: begin=4, end=9, duration=6, valid=0\n");
}

// ---- Matrices and output ------------------------------------------------------------------------

TEST(ArrayTemplate, MatrixFreeReportsNullRowsAndMatrix) {
  float** m = static_cast<float**>(malloc(3 * sizeof(float*)));
  m[0] = static_cast<float*>(malloc(4 * sizeof(float)));
  m[1] = nullptr;
  m[2] = static_cast<float*>(malloc(4 * sizeof(float)));
  testing::internal::CaptureStdout();
  matrixFree(m, 3);
  matrixFree(static_cast<float**>(nullptr), 3);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error in matFree(): row 1 is already free!\n"
            "Error in matrixFree(): given matrix is already free!\n");
}

TEST(ArrayTemplate, Vec2fileWritesOneLineInStreamForm) {
  scratchDir dir;
  const int ints[] = {3, -12, 0};
  const float floats[] = {0.5f, 1234567.0f, -0.0001f};
  const double doubles[] = {3.14159265, 100, 1e-10};
  vec2file(dir.file("i.txt"), ints, 3);
  vec2file(dir.file("f.txt"), floats, 3);
  vec2file(dir.file("d.txt"), doubles, 3);
  vec2file(dir.file("e.txt"), doubles, 0);
  EXPECT_EQ(readFile(dir.file("i.txt")), "3 -12 0 \n");
  EXPECT_EQ(readFile(dir.file("f.txt")), "0.5 1.23457e+06 -0.0001 \n");
  EXPECT_EQ(readFile(dir.file("d.txt")), "3.14159 100 1e-10 \n");
  EXPECT_EQ(readFile(dir.file("e.txt")), "\n");
}

TEST(ArrayTemplateDeathTest, Vec2fileEndsTheProcessWhenItCannotOpen) {
  scratchDir dir;
  const int a[] = {1};
  const std::string name = dir.file("missing/x.txt");
  // The message goes to standard output, sent to standard error here so the test sees it.
  EXPECT_EXIT(
      {
        dup2(2, 1);
        vec2file(name, a, 1);
      },
      testing::ExitedWithCode(1), "^Error: Cannot open \".*/missing/x\\.txt\"!\n$");
}

TEST(ArrayTemplate, ArrayPrintAndVecPrint) {
  const float a[] = {1.5f, -2, 0.125f};
  testing::internal::CaptureStdout();
  arrayPrint("pitch", a, 3);
  vecPrint("v", std::vector<float>{7, 1e-7f});
  vecPrint("empty", std::vector<float>{});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "pitch = 1.5 -2 0.125 \nv = 7 1e-07 \nempty = \n");
}

TEST(ArrayTemplate, Vec2fileReportsAFullDiskInsteadOfACutFile) {
  const double a[] = {1.5, 2.5};
  EXPECT_THAT(tulim::test::expectFatal([&] { vec2file("/dev/full", a, 2); }),
              testing::MatchesRegex("Cannot write file /dev/full: No space left on device \\(line [0-9]+ of arrayTemplate\\)"));
}
