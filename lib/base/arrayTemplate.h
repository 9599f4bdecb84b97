// Generic routines over plain arrays (a pointer and a count) of int, float and double:
// extremes, sums, medians, sorting with an index, binary search, local extremes, segments
// from 0/1 frame masks, and array writers. The signal code and the assessment use them.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <locale>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/platformFile.h"
#include "utility.h"

namespace tulim {

// One run of set frames; arrays of them are malloc'ed and freed by the caller with free.
struct segment {
  int begin;     // first frame of the run
  int end;       // last frame of the run, inclusive
  int duration;  // end - begin + 1 frames
  int valid;     // 1 when made; end-point detection clears it for rejected runs
};

namespace arrayDetail {

// The low 32 bits of v as a signed value: what a 32-bit int sum or product leaves.
inline int wrapInt32(int64_t v) {
  return static_cast<int>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

template <class T>
inline T absOf(T v) {
  if constexpr (std::is_floating_point<T>::value) {
    return std::fabs(v);
  } else {
    int64_t w = v;
    w = w < 0 ? -w : w;
    return w > std::numeric_limits<T>::max() ? std::numeric_limits<T>::max() : static_cast<T>(w);
  }
}

// A strict weak order also when NaNs are present (they go after every number), so the
// standard selection algorithms stay defined on any input.
template <class T>
inline bool lessTotal(T a, T b) {
  if constexpr (std::is_floating_point<T>::value) {
    if (std::isnan(a)) return false;
    if (std::isnan(b)) return true;
  }
  return a < b;
}

// Moves the integer of rank k of a[0..n-1] to a[k], none larger before it and none smaller
// after it. The partition steps swap whatever the values and advance by the comparison, so
// no branch hangs on the data: sample values look random to a branch predictor. After a
// step that leaves almost everything, the values equal to the pivot are set apart too, so
// frames of few distinct values end quickly; a search that still drags on is handed to
// std::nth_element.
template <class T>
void selectIntegerRank(T* a, int n, int k) {
  int lo = 0, hi = n - 1;
  for (int round = 0; hi - lo >= 16; round++) {
    if (round == 64) {
      std::nth_element(a + lo, a + k, a + hi + 1);
      return;
    }
    // The median of the first, middle and last element as the pivot, parked at hi.
    const int mid = lo + (hi - lo) / 2;
    if (a[mid] < a[lo]) std::swap(a[mid], a[lo]);
    if (a[hi] < a[mid]) std::swap(a[hi], a[mid]);
    if (a[mid] < a[lo]) std::swap(a[mid], a[lo]);
    std::swap(a[mid], a[hi]);
    const T pivot = a[hi];
    T* below = a + lo;
    for (T* p = a + lo; p < a + hi; p++) {
      const T v = *p;
      *p = *below;
      *below = v;
      below += v < pivot;
    }
    const int store = static_cast<int>(below - a);
    std::swap(a[store], a[hi]);
    if (k == store) return;
    if (k < store) {
      hi = store - 1;
      continue;
    }
    const bool slow = (store - lo) * 8 < hi - lo;
    lo = store + 1;
    if (!slow) continue;
    T* equal = a + lo;
    for (T* p = a + lo; p <= a + hi; p++) {
      const T v = *p;
      *p = *equal;
      *equal = v;
      equal += !(pivot < v);
    }
    lo = static_cast<int>(equal - a);
    if (k < lo) return;
  }
  for (int i = lo + 1; i <= hi; i++) {
    const T v = a[i];
    int j = i;
    for (; j > lo && v < a[j - 1]; j--) a[j] = a[j - 1];
    a[j] = v;
  }
}

// Median of a scratch array that may be reordered: the value at rank k = (n-1)/2 and, for
// even n, the mean with the value at rank k+1 (truncating for integers). The array is left
// split at k: no element before a[k] ranks above it and none after it below.
template <class T>
T medianOfScratch(T* a, int n) {
  const int k = (n - 1) / 2;
  if constexpr (std::is_integral<T>::value)
    selectIntegerRank(a, n, k);
  else
    std::nth_element(a, a + k, a + n, lessTotal<T>);
  const T lower = a[k];
  if (n % 2 == 1) return lower;
  const T upper = *std::min_element(a + k + 1, a + n, lessTotal<T>);
  if constexpr (std::is_floating_point<T>::value) {
    return (lower + upper) / 2;
  } else {
    return static_cast<T>((static_cast<int64_t>(lower) + upper) / 2);
  }
}

// The text a default-formatted output stream gives a value.
template <class T>
std::string streamForm(T value) {
  if constexpr (std::is_floating_point<T>::value) {
    char text[64];
    snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
  } else {
    return std::to_string(value);
  }
}

}  // namespace arrayDetail

// ---- Statistics (n >= 1; ties keep the earliest element) -------------------------------

template <class T>
T maxValue(const T* a, int n) {
  T best = a[0];
  for (int i = 1; i < n; i++)
    if (a[i] > best) best = a[i];
  return best;
}

template <class T>
T minValue(const T* a, int n) {
  T best = a[0];
  for (int i = 1; i < n; i++)
    if (a[i] < best) best = a[i];
  return best;
}

// The largest element; *index gets the position of its first occurrence.
template <class T>
T maxValueIndex(const T* a, int n, int* index) {
  T best = a[0];
  int at = 0;
  for (int i = 1; i < n; i++)
    if (a[i] > best) {
      best = a[i];
      at = i;
    }
  *index = at;
  return best;
}

template <class T>
T minValueIndex(const T* a, int n, int* index) {
  T best = a[0];
  int at = 0;
  for (int i = 1; i < n; i++)
    if (a[i] < best) {
      best = a[i];
      at = i;
    }
  *index = at;
  return best;
}

template <class T>
T maxAbsValue(const T* a, int n) {
  T best = arrayDetail::absOf(a[0]);
  for (int i = 1; i < n; i++) {
    const T v = arrayDetail::absOf(a[i]);
    if (v > best) best = v;
  }
  return best;
}

// Accumulated in the value type: an int sum wraps at 32 bits.
template <class T>
T sumValue(const T* a, int n) {
  if constexpr (std::is_integral<T>::value) {
    uint32_t sum = 0;
    for (int i = 0; i < n; i++) sum += static_cast<uint32_t>(a[i]);
    return static_cast<T>(arrayDetail::wrapInt32(sum));
  } else {
    T sum = 0;
    for (int i = 0; i < n; i++) sum += a[i];
    return sum;
  }
}

// Integer variants wrap at 32 bits like sumValue.
template <class T>
T absSum(const T* a, int n) {
  if constexpr (std::is_integral<T>::value) {
    uint32_t sum = 0;
    for (int i = 0; i < n; i++) sum += static_cast<uint32_t>(arrayDetail::absOf(a[i]));
    return static_cast<T>(arrayDetail::wrapInt32(sum));
  } else {
    T sum = 0;
    for (int i = 0; i < n; i++) sum += arrayDetail::absOf(a[i]);
    return sum;
  }
}

template <class T>
T squareSum(const T* a, int n) {
  if constexpr (std::is_integral<T>::value) {
    uint32_t sum = 0;
    for (int i = 0; i < n; i++) sum += static_cast<uint32_t>(static_cast<int64_t>(a[i]) * a[i]);
    return static_cast<T>(arrayDetail::wrapInt32(sum));
  } else {
    T sum = 0;
    for (int i = 0; i < n; i++) sum += a[i] * a[i];
    return sum;
  }
}

template <class T>
T meanSquare(const T* a, int n) {
  return squareSum(a, n) / n;
}

// The (32-bit wrapped) integer sum divided by n, truncated toward zero.
template <class T>
T meanValue(const T* a, int n) {
  return static_cast<T>(static_cast<int64_t>(sumValue(a, n)) / n);
}

// Sum of a[i]*b[i]; each product is a 32-bit int product (wrapped) converted to R and added.
template <class R>
R dotProduct(const int* a, const int* b, int n) {
  if constexpr (std::is_integral<R>::value) {
    uint32_t sum = 0;
    for (int i = 0; i < n; i++)
      sum += static_cast<uint32_t>(arrayDetail::wrapInt32(static_cast<int64_t>(a[i]) * b[i]));
    return static_cast<R>(arrayDetail::wrapInt32(sum));
  } else {
    R sum = 0;
    for (int i = 0; i < n; i++)
      sum += static_cast<R>(arrayDetail::wrapInt32(static_cast<int64_t>(a[i]) * b[i]));
    return sum;
  }
}

// Sum of |a[i] - b[i]| in R; the difference is exact, so extreme samples never turn a
// distance negative.
template <class R>
R absDiffSum(const int* a, const int* b, int n) {
  R sum = 0;
  for (int i = 0; i < n; i++) {
    const int64_t d = static_cast<int64_t>(a[i]) - b[i];
    sum += static_cast<R>(d < 0 ? -d : d);
  }
  return sum;
}

// Neighbour pairs with one value strictly positive and the other strictly negative.
template <class T>
int zeroCrossingCount(const T* a, int n) {
  int count = 0;
  for (int i = 0; i + 1 < n; i++)
    if ((a[i] > 0 && a[i + 1] < 0) || (a[i] < 0 && a[i + 1] > 0)) count++;
  return count;
}

// ---- Selection and order ------------------------------------------------------------------

// In place on lo..hi (inclusive) around the pivot a[lo]: the elements strictly below it
// move to its left; *pivotPos gets its final position.
template <class T>
void quickSelectPartition(T* a, int lo, int hi, int* pivotPos) {
  const T pivot = a[lo];
  int store = lo;
  for (int i = lo + 1; i <= hi; i++)
    if (a[i] < pivot) {
      store++;
      if (store != i) std::swap(a[i], a[store]);
    }
  std::swap(a[lo], a[store]);
  *pivotPos = store;
}

// The middle value (n >= 1), the input untouched: odd n the element of rank (n-1)/2, even n
// the mean of the two middle values (truncated toward zero for int). Selection is
// introspective, so sorted or constant data stay fast; NaNs rank above every number.
template <class T>
T median(const T* a, int n) {
  if (n < 1) return 0;
  std::vector<T> scratch(a, a + n);
  return arrayDetail::medianOfScratch(scratch.data(), n);
}

// In place: the non-zero elements (NaN included) move to the front in order, the rest
// become 0; returns their count.
template <class T>
int nonZeroCompact(T* a, int n) {
  int count = 0;
  for (int i = 0; i < n; i++)
    if (a[i] != 0) a[count++] = a[i];
  for (int i = count; i < n; i++) a[i] = 0;
  return count;
}

// The median of the non-zero elements; 0 when there is none.
template <class T>
T nonZeroMedian(const T* a, int n) {
  std::vector<T> scratch(a, a + std::max(n, 0));
  const int count = nonZeroCompact(scratch.data(), n);
  if (count == 0) return 0;
  return arrayDetail::medianOfScratch(scratch.data(), count);
}

// In place running median of window length order over the unfiltered values; the first
// and last order/2 values stay. An even window holds order/2 values before i and
// order/2 - 1 after it.
template <class T>
void medianFilter(T* a, int n, int order) {
  if (order < 1) return;
  const int half = order / 2;
  if (n - half - 1 < half) return;
  std::vector<T> original(a, a + n);
  std::vector<T> window(order);
  for (int i = half; i <= n - half - 1; i++) {
    std::copy(original.begin() + (i - half), original.begin() + (i - half + order), window.begin());
    a[i] = arrayDetail::medianOfScratch(window.data(), order);
  }
}

// Ascending sort of a[lo..hi] (inclusive) in place, each swap of two values also swapping
// the same two entries of index. Callers rank by the order this partitioning leaves equal
// values in, so the steps are fixed; only the bookkeeping differs: the smaller part is
// sorted first by recursion and the larger one by the loop (depth stays logarithmic), and
// a strictly ascending range, which the partitioning would leave as it is, is skipped.
template <class T>
void quickSortWithIndex(T* a, int* index, int lo, int hi) {
  while (lo < hi) {
    bool ascending = true;
    for (int m = lo; m < hi && ascending; m++) ascending = a[m] < a[m + 1];
    if (ascending) return;

    const T pivot = a[lo];
    int i = lo;
    int j = hi + 1;
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

    if (j - lo < hi - j) {
      quickSortWithIndex(a, index, lo, j - 1);
      lo = j + 1;
    } else {
      quickSortWithIndex(a, index, j + 1, hi);
      hi = j - 1;
    }
  }
}

// sorted gets the input in ascending order and index the permutation: sorted[j] =
// input[index[j]]. The input stays unchanged.
template <class T>
void sortWithIndex(const T* input, int n, T* sorted, int* index) {
  for (int i = 0; i < n; i++) {
    sorted[i] = input[i];
    index[i] = i;
  }
  quickSortWithIndex(sorted, index, 0, n - 1);
}

// Halving search of the ascending a[lo..hi]: hi+1 when the range is empty, mid+1 at an equal
// element. For distinct values: the count of elements not above value.
template <class T>
int binarySearchRecursive(const T* a, T value, int lo, int hi) {
  while (hi >= lo) {
    const int mid = static_cast<int>((static_cast<int64_t>(lo) + hi) / 2);
    if (value == a[mid]) return mid + 1;
    if (value > a[mid])
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return hi + 1;
}

template <class T>
int binarySearch(const T* a, int n, T value) {
  return binarySearchRecursive(a, value, 0, n - 1);
}

// Appends to index the middle of every peak (a rise later followed by a fall; a flat top
// from p to q gives (p+q+1)/2) and returns how many were found. A rise that never falls
// again gives nothing.
template <class T>
int localMaxIndex(const T* a, int n, std::vector<int>& index) {
  int count = 0;
  int lastRise = 0;
  bool rising = false;
  for (int i = 1; i < n; i++) {
    if (a[i] > a[i - 1]) {
      lastRise = i;
      rising = true;
    } else if (a[i - 1] > a[i] && rising) {
      index.push_back(static_cast<int>((static_cast<int64_t>(lastRise) + i) / 2));
      rising = false;
      count++;
    }
  }
  return count;
}

// The same for valleys.
template <class T>
int localMinIndex(const T* a, int n, std::vector<int>& index) {
  int count = 0;
  int lastFall = 0;
  bool falling = false;
  for (int i = 1; i < n; i++) {
    if (a[i] < a[i - 1]) {
      lastFall = i;
      falling = true;
    } else if (a[i - 1] < a[i] && falling) {
      index.push_back(static_cast<int>((static_cast<int64_t>(lastFall) + i) / 2));
      falling = false;
      count++;
    }
  }
  return count;
}

// ---- Segments, matrices, output -------------------------------------------------------------

// One valid segment per maximal run of frames with a value > 0, in time order; the count
// goes to *segmentNum. The block is malloc'ed (never null) and freed by the caller.
template <class T>
segment* binary2segments(const T* mask, int n, int* segmentNum) {
  int count = 0;
  for (int i = 0; i < n; i++)
    if (mask[i] > 0 && (i == 0 || !(mask[i - 1] > 0))) count++;
  segment* out = static_cast<segment*>(malloc(sizeof(segment) * std::max(count, 1)));
  if (!out) errorThrowf("Out of memory for %d segments (line %d of %s)", count, TULIM_HERE);
  int s = 0;
  for (int i = 0; i < n; i++) {
    if (!(mask[i] > 0)) continue;
    int last = i;
    while (last + 1 < n && mask[last + 1] > 0) last++;
    out[s++] = segment{i, last, last - i + 1, 1};
    i = last;
  }
  *segmentNum = count;
  return out;
}

void segmentPrint(const segment* segments, int count);

// Frees every row, then the row array; a null row or matrix is reported, not fatal.
template <class T>
void matrixFree(T** matrix, int rows) {
  if (!matrix) {
    printf("Error in matrixFree(): given matrix is already free!\n");
    return;
  }
  for (int i = 0; i < rows; i++) {
    if (!matrix[i])
      printf("Error in matFree(): row %d is already free!\n", i);
    else
      free(matrix[i]);
  }
  free(matrix);
}

// One line of the values, each followed by a blank, in the default stream form, written whole
// or not at all. A file that cannot be made ends the process: the dumps are diagnostic and have
// no caller to tell. A write that fails on the way raises closeWrittenFile's message.
template <class T>
void vec2file(const std::string& fileName, const T* a, int n) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  for (int i = 0; i < n; i++) out << a[i] << ' ';
  out << '\n';
  const std::string text = out.str();
  fileReplace file;
  if (!fileReplaceOpen(fileName.c_str(), false, file)) {
    printf("Error: Cannot open \"%s\"!\n", fileName.c_str());
    fflush(stdout);
    exit(1);
  }
  fwrite(text.data(), 1, text.size(), file.fp);
  if (!fileReplaceCommit(file))
    errorThrowf("Cannot write file %s: %s (line %d of %s)", fileName.c_str(), strerror(errno), TULIM_HERE);
}

// "name = v1 v2 ... \n" on standard output.
template <class T>
void arrayPrint(const std::string& name, const T* a, int n) {
  std::string line = name + " = ";
  for (int i = 0; i < n; i++) line += arrayDetail::streamForm(a[i]) + " ";
  printf("%s\n", line.c_str());
}

template <class T>
void vecPrint(const std::string& name, const std::vector<T>& vec) {
  arrayPrint(name, vec.data(), static_cast<int>(vec.size()));
}

}  // namespace tulim
