#include "stringUtil.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "utility.h"

namespace tulim {

bool isWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void strSplit(const std::string& str, char delim, strVec& out, bool append) {
  if (!append) out.clear();
  if (str.empty()) return;
  size_t start = 0;
  while (true) {
    size_t pos = str.find(delim, start);
    if (pos == std::string::npos) {
      out.push_back(str.substr(start));
      return;
    }
    out.push_back(str.substr(start, pos - start));
    start = pos + 1;
  }
}

void strTrim(std::string& str) {
  size_t begin = 0;
  while (begin < str.size() && isWhiteSpace(str[begin])) ++begin;
  size_t end = str.size();
  while (end > begin && isWhiteSpace(str[end - 1])) --end;
  str = str.substr(begin, end - begin);
}

namespace {
bool isTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

void strTrimRight(char* str) {
  size_t n = strlen(str);
  while (n > 0 && isTrailingBlank(str[n - 1])) str[--n] = '\0';
}

void strTrimRight(std::string& str) {
  while (!str.empty() && isTrailingBlank(str.back())) str.pop_back();
}

void strToLower(std::string& str) {
  for (char& c : str)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

void strToUpper(std::string& str) {
  for (char& c : str)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

void strLowerDup(const char* str, char** out) {
  size_t n = strlen(str);
  char* copy = static_cast<char*>(malloc(n + 1));
  if (!copy) errorThrowf("Cannot allocate %zu bytes (line %d of %s)", n + 1, TULIM_HERE);
  for (size_t i = 0; i <= n; ++i) {
    char c = str[i];
    copy[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  *out = copy;
}

void strReplaceAll(std::string& str, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  size_t pos = str.find(from);
  if (pos == std::string::npos) return;
  // Built into a new string: replacing in place moves the whole tail at every match.
  std::string out;
  out.reserve(str.size());
  size_t done = 0;
  for (; pos != std::string::npos; pos = str.find(from, done)) {
    out.append(str, done, pos - done);
    out += to;
    done = pos + from.size();
  }
  out.append(str, done, std::string::npos);
  str.swap(out);
}

int strReplaceChar(char* str, char c, char r) {
  int n = 0;
  for (; str[n]; ++n)
    if (str[n] == c) str[n] = r;
  return n;
}

int isBlankChar(int c) { return c == 0 || c == '\t' || c == '\n' || c == '\r' || c == ' '; }

int wordCount(const char* buffer, int length) {
  int count = 0;
  bool inWord = false;
  for (int i = 0; i < length; ++i) {
    char c = buffer[i];
    if (isWhiteSpace(c)) {
      inWord = false;
      if (c == '\n') break;
    } else if (!inWord) {
      inWord = true;
      ++count;
    }
  }
  return count;
}

int strToInt(const char* str) {
  while (isWhiteSpace(*str)) ++str;
  bool negative = false;
  if (*str == '+' || *str == '-') negative = *str++ == '-';
  long long value = 0;
  for (; *str >= '0' && *str <= '9'; ++str) {
    value = value * 10 + (*str - '0');
    if (value > 2147483648LL) value = 2147483648LL;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) value = 2147483647LL;
  return static_cast<int>(value);
}

namespace {
bool onlyWhiteSpaceFrom(const char* p) {
  while (isWhiteSpace(*p)) ++p;
  return *p == '\0';
}
}  // namespace

bool strToIntExact(const std::string& text, int& value) {
  const char* p = text.c_str();
  while (isWhiteSpace(*p)) ++p;
  if (!(*p >= '0' && *p <= '9') && !((*p == '+' || *p == '-') && p[1] >= '0' && p[1] <= '9')) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = strtoll(p, &end, 10);
  if (errno == ERANGE || v < INT_MIN || v > INT_MAX || !onlyWhiteSpaceFrom(end)) return false;
  value = static_cast<int>(v);
  return true;
}

bool strToDoubleExact(const std::string& text, double& value) {
  const char* p = text.c_str();
  while (isWhiteSpace(*p)) ++p;
  const char* digits = (*p == '+' || *p == '-') ? p + 1 : p;
  // Decimal forms only: a digit or a point must come first ("inf", "nan" and "0x" forms
  // are refused; "0x" fails at its 'x' below, as strtod would read it as hex).
  if (!((*digits >= '0' && *digits <= '9') || *digits == '.')) return false;
  if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) return false;
  char* end = nullptr;
  const double v = strtod(p, &end);
  if (end == p || !std::isfinite(v) || !onlyWhiteSpaceFrom(end)) return false;
  value = v;
  return true;
}

bool strToFloatExact(const std::string& text, float& value) {
  double v = 0;
  if (!strToDoubleExact(text, v) || v > FLT_MAX || v < -FLT_MAX) return false;
  value = static_cast<float>(v);
  return true;
}

void strVecJoin(const strVec& vec, const std::string& delim, std::string& out) {
  out.clear();
  for (size_t i = 0; i < vec.size(); ++i) {
    if (i) out += delim;
    out += vec[i];
  }
}

std::string stringJoin(const strVec& vec, const std::string& delim) {
  std::string out;
  strVecJoin(vec, delim, out);
  return out;
}

void intVecJoin(const std::vector<int>& vec, const std::string& delim, std::string& out) {
  out.clear();
  for (size_t i = 0; i < vec.size(); ++i) {
    if (i) out += delim;
    out += std::to_string(vec[i]);
  }
}

void strVecCombine(const strTable& alternatives, strVec& out) {
  out.clear();
  if (alternatives.empty()) return;
  size_t count = 1;
  for (const strVec& alt : alternatives) count *= alt.size();
  out.reserve(count);
  // Each combination is written once, like a counter whose digit 0 turns fastest: joining
  // step by step would copy every partial string again for each later position.
  std::vector<size_t> digit(alternatives.size(), 0);
  for (size_t n = 0; n < count; ++n) {
    size_t length = 0;
    for (size_t k = 0; k < digit.size(); ++k) length += alternatives[k][digit[k]].size() + 1;
    std::string joined;
    joined.reserve(length);
    for (size_t k = 0; k < digit.size(); ++k) {
      if (k > 0) joined += '-';
      joined += alternatives[k][digit[k]];
    }
    out.push_back(std::move(joined));
    for (size_t k = 0; k < digit.size() && ++digit[k] == alternatives[k].size(); ++k) digit[k] = 0;
  }
}

void strVecPrint(const strVec& vec, const std::string& name, const std::string& fileName) {
  if (!fileName.empty()) {
    filePtr fp = openFilePtr(fileName, "w");
    for (const std::string& s : vec) fprintf(fp.get(), "%s\n", s.c_str());
    closeWrittenFile(fp, fileName);
    return;
  }
  if (vec.empty()) printf("%s has zero element!\n", name.c_str());
  for (size_t i = 0; i < vec.size(); ++i) printf("%s[%zu] = %s\n", name.c_str(), i, vec[i].c_str());
}

void strVecRemoveEmpty(strVec& vec) {
  vec.erase(std::remove_if(vec.begin(), vec.end(), [](const std::string& s) { return s.empty(); }),
            vec.end());
}

int strVecFind(const strVec& vec, const std::string& key) {
  for (size_t i = 0; i < vec.size(); ++i)
    if (vec[i].find(key) != std::string::npos) return static_cast<int>(i);
  return -1;
}

void strVecLinSearch(const strVec& vec, const std::string& key, std::vector<int>& out, int matchPos) {
  out.clear();
  for (size_t i = 0; i < vec.size(); ++i) {
    const std::string& element = vec[i];
    size_t pos = element.find(key);
    if (pos == std::string::npos) continue;
    bool match = false;
    switch (matchPos) {
      case 0: match = true; break;
      case 1: match = pos == 0; break;
      case 2: match = pos == element.size() - key.size(); break;
      case 3: match = pos == 0 && element.size() == key.size(); break;
      default: errorThrowf("Unknown matchPos in strVecLinSearch (line %d of %s)", TULIM_HERE);
    }
    if (match) out.push_back(static_cast<int>(i));
  }
}

void strVecBinSearch(const strVec& vec, const std::string& key, std::vector<int>& out, bool prefix) {
  out.clear();
  long low = 0;
  long high = static_cast<long>(vec.size()) - 1;
  while (low <= high) {
    long mid = (low + high) / 2;
    const std::string& element = vec[static_cast<size_t>(mid)];
    // Like strncmp(key, element, key length) with the prefix flag, strcmp without.
    int cmp = prefix ? -element.compare(0, key.size(), key) : -element.compare(key);
    if (cmp == 0) {
      out.push_back(static_cast<int>(mid));
      return;
    }
    if (cmp < 0)
      high = mid - 1;
    else
      low = mid + 1;
  }
}

void uniqueIndexGet(strVec& vec, std::vector<int>& index) {
  std::unordered_map<std::string, int> first;
  for (size_t i = 0; i < vec.size(); ++i) first.emplace(vec[i], static_cast<int>(i));
  std::sort(vec.begin(), vec.end());
  vec.erase(std::unique(vec.begin(), vec.end()), vec.end());
  index.clear();
  for (const std::string& value : vec) index.push_back(first[value]);
}

namespace {
template <typename T>
int compareValues(const void* a, const void* b) {
  T x = *static_cast<const T*>(a);
  T y = *static_cast<const T*>(b);
  if (x > y) return 1;
  if (x < y) return -1;
  return 0;
}
}  // namespace

int intCompare(const void* a, const void* b) { return compareValues<int>(a, b); }
int floatCompare(const void* a, const void* b) { return compareValues<float>(a, b); }
int doubleCompare(const void* a, const void* b) { return compareValues<double>(a, b); }

}  // namespace tulim
