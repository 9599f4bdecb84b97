#include "numericUtil.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "arrayTemplate.h"
#include "platform/platformClock.h"
#include "stringUtil.h"

namespace tulim {

namespace {

int saturateToInt(double r) {
  if (std::isnan(r)) return 0;
  if (r >= 2147483647.0) return INT_MAX;
  if (r <= -2147483648.0) return INT_MIN;
  return static_cast<int>(r);
}

int saturateToInt(int64_t v) {
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

// The number files' extensions are matched exactly: "txt" or "TXT", never "Txt".
enum class numberFileKind { text, binary };

numberFileKind numberFileKindOf(const std::string& fileName) {
  const std::string ext = getFileExt(fileName);
  if (ext == "txt" || ext == "TXT") return numberFileKind::text;
  if (ext == "bin" || ext == "BIN") return numberFileKind::binary;
  errorThrowf("Error in reading %s: The only allowed extensions are \"txt\" and \"bin\" (line %d of %s)",
              fileName.c_str(), TULIM_HERE);
}

// Reads the decimal integers of a text as scanf("%d") would, one after another, stopping
// at the first that does not convert; out-of-range values saturate instead of being
// undefined.
class intScanner {
 public:
  explicit intScanner(const std::string& text) : m_text(text) {}
  bool next(int& value) {
    while (m_pos < m_text.size() && isWhiteSpace(m_text[m_pos])) m_pos++;
    size_t p = m_pos;
    bool negative = false;
    if (p < m_text.size() && (m_text[p] == '+' || m_text[p] == '-')) negative = m_text[p++] == '-';
    if (p >= m_text.size() || m_text[p] < '0' || m_text[p] > '9') return false;
    int64_t magnitude = 0;
    for (; p < m_text.size() && m_text[p] >= '0' && m_text[p] <= '9'; p++)
      magnitude = std::min<int64_t>(magnitude * 10 + (m_text[p] - '0'), int64_t(1) << 32);
    m_pos = p;
    value = saturateToInt(negative ? -magnitude : magnitude);
    return true;
  }

 private:
  const std::string& m_text;
  size_t m_pos = 0;
};

// The same for floating-point numbers (strtod's forms, as "%lf" reads them).
class realScanner {
 public:
  explicit realScanner(const std::string& text) : m_text(text) {}
  bool next(double& value) {
    const char* start = m_text.c_str() + m_pos;
    char* end = nullptr;
    const double v = strtod(start, &end);
    if (end == start) return false;
    m_pos += static_cast<size_t>(end - start);
    value = v;
    return true;
  }
  bool next(float& value) {
    const char* start = m_text.c_str() + m_pos;
    char* end = nullptr;
    const float v = strtof(start, &end);
    if (end == start) return false;
    m_pos += static_cast<size_t>(end - start);
    value = v;
    return true;
  }

 private:
  const std::string& m_text;
  size_t m_pos = 0;
};

void appendLine(const std::string& fileName, const std::string& line) {
  filePtr fp = openFilePtr(fileName, "a");
  fputs(line.c_str(), fp.get());
  closeWrittenFile(fp, fileName);
}

}  // namespace

// ---- Rounding ---------------------------------------------------------------------------------

int floatRound(float x) { return saturateToInt(std::round(static_cast<double>(x))); }

// std::round is x +/- 0.5 truncated without the double-rounding slip of that sum at
// 0.49999999999999994, which would give 1.
int doubleRound(double x) { return saturateToInt(std::round(x)); }

int intDivRound(int a, int b) {
  if (b == 0) errorThrowf("Division by zero in intDivRound(%d, 0) (line %d of %s)", a, TULIM_HERE);
  const int64_t half = b / 2;
  const int64_t q = a > 0 ? (int64_t(a) + half) / b : (int64_t(a) - half) / b;
  return saturateToInt(q);
}

// ---- Matrices ---------------------------------------------------------------------------------

namespace {

// Null on a failed allocation (with nothing left allocated), or when rows and cols are 0.
void** matrixAllocate(int rows, int cols, int elemSize, bool& failed) {
  failed = false;
  if (rows == 0 && cols == 0) return nullptr;
  if (rows < 0 || cols < 0 || elemSize < 0) {
    failed = true;
    return nullptr;
  }
  void** matrix = static_cast<void**>(calloc(rows > 0 ? rows : 1, sizeof(void*)));
  if (!matrix) {
    failed = true;
    return nullptr;
  }
  const size_t cells = cols > 0 ? cols : 1;
  const size_t size = elemSize > 0 ? elemSize : 1;
  for (int i = 0; i < rows; i++) {
    matrix[i] = calloc(cells, size);
    if (!matrix[i]) {
      matrixRowsFree(matrix, i);
      failed = true;
      return nullptr;
    }
  }
  return matrix;
}

}  // namespace

void** matrixCreate(int rows, int cols, int elemSize) {
  bool failed;
  void** matrix = matrixAllocate(rows, cols, elemSize, failed);
  if (failed) errorThrow("Error in matrixCreate!");
  return matrix;
}

void** fisCreateMatrix(int rows, int cols, int elemSize) {
  bool failed;
  void** matrix = matrixAllocate(rows, cols, elemSize, failed);
  if (failed) {
    printf("Error in fisCreateMatrix!\n");
    fflush(stdout);
    exit(1);
  }
  return matrix;
}

// ---- Arrays -------------------------------------------------------------------------------------

void double2intArray(const double* in, int n, int* out) {
  for (int i = 0; i < n; i++) out[i] = doubleRound(in[i]);
}

void int2doubleArray(const int* in, int n, double* out) {
  for (int i = 0; i < n; i++) out[i] = in[i];
}

void vecLinearScale(const double* in, int n, double* out, int m) {
  if (n < 2 || m < 2)
    errorThrowf("vecLinearScale needs at least 2 points (n = %d, m = %d) (line %d of %s)", n, m, TULIM_HERE);
  out[0] = in[0];
  out[m - 1] = in[n - 1];
  for (int i = 1; i < m - 1; i++) {
    const double p = static_cast<double>(i) * (n - 1) / (m - 1);
    const int64_t k = int64_t(i) * (n - 1) / (m - 1);
    const double f = p - k;
    out[i] = (1 - f) * in[k] + f * in[k + 1];
  }
}

void vecLinearScaleInt(const int* in, int n, int* out, int m) {
  if (n < 2 || m < 2)
    errorThrowf("vecLinearScaleInt needs at least 2 points (n = %d, m = %d) (line %d of %s)", n, m, TULIM_HERE);
  out[0] = in[0];
  out[m - 1] = in[n - 1];
  for (int i = 1; i < m - 1; i++) {
    const int64_t k = int64_t(i) * (n - 1) / (m - 1);
    const int64_t r = (int64_t(i) * (n - 1) * 128 + (m - 1) / 2) / (m - 1) - 128 * k;
    out[i] = saturateToInt((int64_t(in[k + 1]) * r + (128 - r) * int64_t(in[k])) / 128);
  }
}

// A stable compaction: the same outcome as moving each next value into the first empty
// cell, in one pass.
void minusOneCompact(double* a, int n) {
  int w = 0;
  for (int i = 0; i < n; i++)
    if (a[i] != -1.0) a[w++] = a[i];
  for (int i = w; i < n; i++) a[i] = -1.0;
}

void zeroFillForward(double* a, int n) {
  if (n < 1) return;
  if (a[0] == 0) errorThrowf("Wrong vector format (line %d of %s)", TULIM_HERE);
  for (int i = 1; i < n; i++)
    if (a[i] == 0) a[i] = a[i - 1];
}

double tableInterp(const double* table, int n, double x, double x0, double xMax, double step) {
  if (n < 1) errorThrowf("tableInterp: empty table (line %d of %s)", TULIM_HERE);
  if (x <= x0 || n < 2) return table[0];
  if (x >= xMax) return table[n - 1];
  // A table shorter than (xMax - x0)/step interpolates its last interval, never past it;
  // a NaN x or a step of the wrong sign stays on the first.
  double position = (x - x0) / step;
  if (!(position >= 0)) position = 0;
  const int k = static_cast<int>(std::min(position, static_cast<double>(n - 2)));
  const double xk = x0 + k * step;
  return ((xk + step - x) * table[k] + (x - xk) * table[k + 1]) / step;
}

int rankInSorted(const int* a, int n, int value, int offset, bool fromTop) {
  const int r = binarySearch(a, n, value);
  return fromTop ? offset + n - r : offset + r;
}

int histMedian(const int* vec, int n, int* hist, int histLen) {
  std::fill(hist, hist + std::max(histLen, 0), 0);
  int counted = 0;
  for (int i = 0; i < n; i++) {
    if (vec[i] < 0 || vec[i] >= histLen) {
      printf("Out of bound!\n");
      printf("vec[%d]=%d, histVecLen=%d\n", i, vec[i], histLen);
      continue;
    }
    hist[vec[i]]++;
    counted++;
  }
  if (counted == 0) return 0;

  // The bin that holds the upper middle value (rank counted/2 from 0), and whether the lower
  // middle value (rank counted/2 - 1) lies in it as well.
  const int target = counted / 2 + 1;
  int sum = 0;
  int previous = -1;
  int j = 0;
  for (; j < histLen; j++) {
    if (hist[j] == 0) continue;
    if (sum + hist[j] >= target) break;
    sum += hist[j];
    previous = j;
  }
  if (counted % 2 == 1 || sum < counted / 2) return j;
  return (j + previous) / 2;
}

int columnRankByCoverage(const double* matrix, int cols, int rows, int k, int* index, double* ratio) {
  for (int t = 0; t < k; t++) {
    index[t] = 0;
    ratio[t] = 1.0;
  }
  if (cols < 1 || rows < 1) return 0;

  const int64_t cells = int64_t(rows) * cols;
  double largest = 0;
  for (int64_t c = 0; c < cells; c++)
    if (matrix[c] > largest) largest = matrix[c];
  const int maxLabel = saturateToInt(std::trunc(largest));

  // Each column as its distinct labels 1..maxLabel, ascending.
  std::vector<std::vector<int>> labels(cols);
  for (int c = 0; c < cols; c++) {
    for (int r = 0; r < rows; r++) {
      const double v = matrix[int64_t(r) * cols + c];
      if (!(v >= 1)) continue;
      labels[c].push_back(saturateToInt(std::trunc(v)));
    }
    std::sort(labels[c].begin(), labels[c].end());
    labels[c].erase(std::unique(labels[c].begin(), labels[c].end()), labels[c].end());
  }

  std::vector<int> covered;  // ascending
  auto isCovered = [&covered](int label) { return std::binary_search(covered.begin(), covered.end(), label); };
  int chosen = 0;
  for (int t = 0; t < k; t++) {
    int best = -1;
    int bestCount = 0;
    for (int c = 0; c < cols; c++) {
      int available = 0;
      for (int label : labels[c])
        if (!isCovered(label)) available++;
      if (available > bestCount) {
        bestCount = available;
        best = c;
      }
    }
    if (best < 0) break;
    for (int label : labels[best])
      if (!isCovered(label)) covered.insert(std::upper_bound(covered.begin(), covered.end(), label), label);
    index[t] = best;
    ratio[t] = static_cast<double>(covered.size()) / maxLabel;
    chosen++;
    if (static_cast<int64_t>(covered.size()) == maxLabel) break;
  }
  return chosen;
}

double logGaussian(double x, double mean, double variance) {
  const double d = x - mean;
  return (-d * d / variance - 1.83787706640935 - std::log(variance)) / 2;
}

void bufferXor(void* buffer, int n, const void* key, int keyLen) {
  if (keyLen <= 0) return;
  unsigned char* bytes = static_cast<unsigned char*>(buffer);
  const unsigned char* keyBytes = static_cast<const unsigned char*>(key);
  int position = 0;
  for (int i = 0; i < n; i++) {
    bytes[i] ^= keyBytes[position];
    if (++position == keyLen) position = 0;
  }
}

long waitSeconds(float seconds) {
  auto milliseconds = [] { return static_cast<long>(monotonicSeconds() * 1000.0); };
  const long start = milliseconds();
  const double wanted = std::trunc(static_cast<double>(seconds) * 1000.0);
  const long ticks = std::isnan(wanted) || wanted < 0 ? 0 : static_cast<long>(std::min(wanted, 1e12));
  long now = start;
  while (now - start < ticks) now = milliseconds();
  return now;
}

// ---- Number files -----------------------------------------------------------------------------

void file2intArray(const std::string& fileName, int* array, int n) {
  if (numberFileKindOf(fileName) == numberFileKind::binary)
    bin2intArray(fileName, array, n);
  else
    txt2intArray(fileName, array, n);
}

void file2doubleArray(const std::string& fileName, double* array, int n) {
  if (numberFileKindOf(fileName) == numberFileKind::binary)
    bin2doubleArray(fileName, array, n);
  else
    txt2doubleArray(fileName, array, n);
}

void txt2intArray(const std::string& fileName, int* array, int n) {
  std::string text;
  textFile2string(fileName.c_str(), text);
  intScanner scan(text);
  for (int i = 0; i < n && scan.next(array[i]); i++) {
  }
}

void txt2doubleArray(const std::string& fileName, double* array, int n) {
  std::string text;
  textFile2string(fileName.c_str(), text);
  realScanner scan(text);
  for (int i = 0; i < n && scan.next(array[i]); i++) {
  }
}

void bin2intArray(const std::string& fileName, int* array, int n) {
  std::string bytes;
  file2string(fileName.c_str(), bytes);
  const int64_t whole = static_cast<int64_t>(bytes.size() / 4);
  for (int64_t i = 0; i < n && i < whole; i++) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 4 * i;
    const uint32_t u = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    array[i] = static_cast<int>(u);
  }
}

void bin2doubleArray(const std::string& fileName, double* array, int n) {
  std::string bytes;
  file2string(fileName.c_str(), bytes);
  const int64_t whole = static_cast<int64_t>(bytes.size() / 8);
  for (int64_t i = 0; i < n && i < whole; i++) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 8 * i;
    uint64_t u = 0;
    for (int b = 7; b >= 0; b--) u = u << 8 | p[b];
    memcpy(&array[i], &u, sizeof u);
  }
}

void file2intVec(const std::string& fileName, std::vector<int>& vec) {
  vec.clear();
  std::string text;
  textFile2string(fileName.c_str(), text);
  intScanner scan(text);
  int value;
  while (scan.next(value)) vec.push_back(value);
}

void file2floatVec(const std::string& fileName, std::vector<float>& vec) {
  vec.clear();
  std::string text;
  textFile2string(fileName.c_str(), text);
  realScanner scan(text);
  float value;
  while (scan.next(value)) vec.push_back(value);
}

void intVec2file(const std::string& fileName, const std::vector<int>& vec) {
  filePtr fp = openFilePtr(fileName, "w");
  for (int v : vec) fprintf(fp.get(), "%d\n", v);
  closeWrittenFile(fp, fileName);
}

void int2fileAppend(int value, const std::string& fileName) { appendLine(fileName, strFormat("%d\n", value)); }

void float2fileAppend(float value, const std::string& fileName) {
  appendLine(fileName, strFormat("%f\n", static_cast<double>(value)));
}

void double2fileAppend(double value, const std::string& fileName) { appendLine(fileName, strFormat("%lf\n", value)); }

}  // namespace tulim
