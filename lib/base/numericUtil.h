// Small numeric routines: rounding half away from zero, row-pointer matrices, array
// conversions and rescaling, a histogram median, greedy column ranking, and the readers and
// writers of number files ("txt" one value a line, "bin" raw little-endian values).
#pragma once

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "utility.h"

namespace tulim {

// ---- Rounding ---------------------------------------------------------------------------------

// Nearest integer, halves away from zero (2.5 -> 3, -2.5 -> -3); values beyond the int
// range saturate and NaN gives 0.
int floatRound(float x);
int doubleRound(double x);

// a/b rounded the same way: (a + b/2)/b for a > 0, else (a - b/2)/b, truncating divisions.
// b = 0 is a fatal error; a quotient beyond the int range saturates.
int intDivRound(int a, int b);

// A 64-bit integer held to the int range.
inline int saturateToInt(long long v) {
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

// ---- Matrices ---------------------------------------------------------------------------------

// rows row pointers, each to cols zero-filled cells of elemSize bytes; null when rows and
// cols are both 0. A failed allocation raises "Error in matrixCreate!".
void** matrixCreate(int rows, int cols, int elemSize);

// The same allocation for cells of type T (float** m = matrixCreate<float>(r, c)).
template <class T>
T** matrixCreate(int rows, int cols) {
  if (rows == 0 && cols == 0) return nullptr;
  if (rows < 0 || cols < 0) errorThrow("Error in matrixCreate!");
  T** matrix = static_cast<T**>(calloc(rows > 0 ? rows : 1, sizeof(T*)));
  if (!matrix) errorThrow("Error in matrixCreate!");
  for (int i = 0; i < rows; i++) {
    matrix[i] = static_cast<T*>(calloc(cols > 0 ? cols : 1, sizeof(T)));
    if (!matrix[i]) {
      for (int j = 0; j < i; j++) free(matrix[j]);
      free(matrix);
      errorThrow("Error in matrixCreate!");
    }
  }
  return matrix;
}

// matrixCreate whose failure prints "Error in fisCreateMatrix!" and ends the process
// (status 1).
void** fisCreateMatrix(int rows, int cols, int elemSize);

// Frees every row and the row array; a null matrix is ignored (matrixFree of
// arrayTemplate.h reports it).
template <class T>
void matrixRowsFree(T** matrix, int rows) {
  if (!matrix) return;
  for (int i = 0; i < rows; i++) free(matrix[i]);
  free(matrix);
}

// ---- Arrays -------------------------------------------------------------------------------------

void double2intArray(const double* in, int n, int* out);
void int2doubleArray(const int* in, int n, double* out);

// Linear resampling of n values to m points (both at least 2, else fatal); the ends map
// onto the ends.
void vecLinearScale(const double* in, int n, double* out, int m);
// The same in fixed point of 1/128.
void vecLinearScaleInt(const int* in, int n, int* out, int m);

// In place: the values other than -1.0 (empty cells) move to the front in order, the -1.0
// cells to the back.
void minusOneCompact(double* a, int n);

// In place: every 0 after the first value takes the value before it; a first value of 0
// raises "Wrong vector format".
void zeroFillForward(double* a, int n);

// Linear interpolation in a table sampling a function at x0, x0+step, ...; x <= x0 gives the
// first value, x >= xMax the last. An empty table is a fatal error.
double tableInterp(const double* table, int n, double x, double x0, double xMax, double step);

// offset + the binarySearch rank of value in the ascending a, or offset + n - rank counted
// from the top.
int rankInSorted(const int* a, int n, int value, int offset, bool fromTop);

// Median of small non-negative integers by a histogram of histLen bins (hist is the
// caller's scratch). Values outside 0..histLen-1 are reported on standard output and left
// out; for an even count the two middle bins are averaged (integer division). 0 when
// nothing was counted.
int histMedian(const int* vec, int n, int* hist, int histLen);

// Greedy choice of up to k columns of a rows x cols row-major matrix of labels (positive
// integer parts; 0 none) that together hold the most distinct labels: index[t] gets the
// column chosen at step t and ratio[t] the share of all labels 1..max covered after it
// (entries past the last step stay 0 and 1.0). Returns the number of columns chosen. The
// matrix is not modified.
int columnRankByCoverage(const double* matrix, int cols, int rows, int k, int* index, double* ratio);

// ln of the normal density N(x; mean, variance).
double logGaussian(double x, double mean, double variance);

// In place exclusive or of n bytes with the key repeated; an empty key changes nothing.
void bufferXor(void* buffer, int n, const void* key, int keyLen);

// Busy-waits seconds (in whole milliseconds) and returns the millisecond clock last read.
long waitSeconds(float seconds);

// ---- Number files -----------------------------------------------------------------------------

// n values from a "txt"/"TXT" file (whitespace-separated decimals) or a "bin"/"BIN" file
// (32-bit ints or 64-bit doubles, little-endian); another extension is fatal. Values
// missing at the end leave their cells unchanged.
void file2intArray(const std::string& fileName, int* array, int n);
void file2doubleArray(const std::string& fileName, double* array, int n);
void txt2intArray(const std::string& fileName, int* array, int n);
void bin2intArray(const std::string& fileName, int* array, int n);
void txt2doubleArray(const std::string& fileName, double* array, int n);
void bin2doubleArray(const std::string& fileName, double* array, int n);

// Every value up to the first that does not convert; vec is cleared first.
void file2intVec(const std::string& fileName, std::vector<int>& vec);
void file2floatVec(const std::string& fileName, std::vector<float>& vec);

// One "%d\n" line per value.
void intVec2file(const std::string& fileName, const std::vector<int>& vec);

// Append one line: "%d\n", "%f\n", "%lf\n".
void int2fileAppend(int value, const std::string& fileName);
void float2fileAppend(float value, const std::string& fileName);
void double2fileAppend(double value, const std::string& fileName);

}  // namespace tulim
