#include "macroClass.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string_view>

#include "binaryImage.h"
#include "gaussLayout.h"
#include "platform/byteOrder.h"
#include "platform/mappedFile.h"
#include "lineFile.h"
#include "utility.h"
#include "workerPool.h"

// The model set's messages name their source "macro", as the tools built on it expect.
#define MACRO_HERE __LINE__, "macro"

namespace tulim {

namespace {

// A whole token in decimal that fits an int.
bool isInteger(const std::string& tok, int& value) {
  errno = 0;
  char* end = nullptr;
  long v = strtol(tok.c_str(), &end, 10);
  if (tok.empty() || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

bool isInteger(std::string_view tok, int& value) {
  // The plain decimal form at full speed; anything else (a sign, blanks) the way strtol takes it.
  const char* end = tok.data() + tok.size();
  auto [stop, fault] = std::from_chars(tok.data(), end, value);
  if (fault == std::errc() && stop == end) return true;
  return isInteger(std::string(tok), value);
}

// The numbers of a "mac" text are written with "%e": seven significant digits and a small
// exponent. Such a number is w x 10^e with w exact in a float (below 2^24) and 10^|e| exact
// too (|e| <= 10), so one float multiplication or division rounds it exactly as strtof does.
// Reads such a number at p (before end) and gives the count of its characters; 0 for any other
// form, which the general parsers take.
size_t shortDecimal(const char* p, const char* end, float& value) {
  static const float powers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
  const char* const begin = p;
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  // unsigned, not bool: the test below joins nine of them with '&' on purpose, without branches.
  auto digit = [](char c) -> unsigned { return static_cast<unsigned>(c - '0') < 10u; };
  // The writer's own layout, d.dddddde+dd, read at fixed places: the common case, without a
  // decision per character. It gives the w and e that the general loop below would.
  if (end - p >= 12 && p[1] == '.' && p[8] == 'e' && (p[9] == '+' || p[9] == '-') &&
      (digit(p[0]) & digit(p[2]) & digit(p[3]) & digit(p[4]) & digit(p[5]) & digit(p[6]) & digit(p[7]) &
       digit(p[10]) & digit(p[11])) &&
      (end - p == 12 || !digit(p[12]))) {
    uint32_t w = static_cast<uint32_t>(p[0] - '0');
    for (int k = 2; k < 8; k++) w = w * 10 + static_cast<uint32_t>(p[k] - '0');
    const int exponent = (p[10] - '0') * 10 + (p[11] - '0');
    const int e = (p[9] == '-' ? -exponent : exponent) - 6;
    if (e >= -10 && e <= 10) {
      const float x = static_cast<float>(w);
      value = e >= 0 ? x * powers[e] : x / powers[-e];
      if (negative) value = -value;
      return static_cast<size_t>(p + 12 - begin);
    }
  }
  uint32_t w = 0;
  int digits = 0, scale = 0;
  bool point = false;
  for (; p < end; ++p) {
    if (*p >= '0' && *p <= '9') {
      if (++digits > 8) return 0;
      w = w * 10 + static_cast<uint32_t>(*p - '0');
      scale -= point;
    } else if (*p == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0 || w > (1u << 24)) return 0;
  int exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool down = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    int exponentDigits = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
      if (++exponentDigits > 3) return 0;
      exponent = exponent * 10 + (*p - '0');
    }
    if (exponentDigits == 0) return 0;
    if (down) exponent = -exponent;
  }
  const int e = exponent + scale;
  if (e < -10 || e > 10) return 0;
  const float x = static_cast<float>(w);
  value = e >= 0 ? x * powers[e] : x / powers[-e];
  if (negative) value = -value;
  return static_cast<size_t>(p - begin);
}

// No writer of numbers puts a decimal exponent beyond a double's range (about 1e-324 to
// 1e308) into a text; a longer one would only read as 0 or overflow by accident.
constexpr long MAX_DECIMAL_EXPONENT = 400;

// False when the token's decimal exponent (after 'e' or 'E') lies beyond that range.
bool exponentInRange(std::string_view tok) {
  const size_t at = tok.find_first_of("eE");
  if (at == std::string_view::npos || tok.find_first_of("xX") != std::string_view::npos) return true;
  size_t p = at + 1;
  if (p < tok.size() && (tok[p] == '-' || tok[p] == '+')) ++p;
  long exponent = 0;
  for (; p < tok.size() && tok[p] >= '0' && tok[p] <= '9'; ++p) {
    exponent = exponent * 10 + (tok[p] - '0');
    if (exponent > MAX_DECIMAL_EXPONENT) return false;
  }
  return true;
}

// A whole token as a finite float, the way strtof reads it.
bool isReal(std::string_view tok, float& value) {
  if (!tok.empty() && shortDecimal(tok.data(), tok.data() + tok.size(), value) == tok.size()) return true;
  const char* end = tok.data() + tok.size();
  auto [stop, fault] = std::from_chars(tok.data(), end, value);
  if (fault == std::errc() && stop == end) return std::isfinite(value);
  // Forms from_chars leaves to strtof: a leading '+', hexadecimal, values that underflow.
  const std::string text(tok);
  char* after = nullptr;
  value = strtof(text.c_str(), &after);
  return !text.empty() && *after == '\0' && std::isfinite(value);
}

inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Whitespace-separated tokens of a whole "mac" text held in one buffer, with one pushed-back
// token: a keyword that ends one item (a stream's mixtures) is handed on as the header of the
// next. Tokens are views into the buffer.
class macTokenizer {
 public:
  // A trial tokenizer reads a part of a text that is parsed again whole when the part fails:
  // its parser prints nothing.
  macTokenizer(const std::string& path, const char* text, size_t size, bool trial = false)
      : m_path(path), m_text(text), m_size(size), m_trial(trial) {}

  const std::string& path() const { return m_path; }
  const char* text() const { return m_text; }
  size_t size() const { return m_size; }
  bool trial() const { return m_trial; }

  bool atEnd() {
    if (m_pending) return false;
    skipSpace();
    return m_pos >= m_size;
  }

  std::string_view token(const char* what) {
    if (m_pending) {
      m_pending = false;
      return m_pendingToken;
    }
    skipSpace();
    if (m_pos >= m_size)
      errorThrowf("Error: \"%s\" line %d: the text ends before %s (line %d of %s)", m_path.c_str(), m_line, what,
                  MACRO_HERE);
    size_t begin = m_pos;
    while (m_pos < m_size && !isBlank(m_text[m_pos])) ++m_pos;
    return std::string_view(m_text + begin, m_pos - begin);
  }

  void pushBack(std::string_view tok) {
    m_pendingToken = tok;
    m_pending = true;
  }

  int integer(const char* what) {
    std::string_view tok = token(what);
    int value = 0;
    if (!isInteger(tok, value))
      errorThrowf("Error: \"%s\" line %d: %s must be an integer, found \"%s\" (line %d of %s)", m_path.c_str(),
                  textLine(), what, std::string(tok).c_str(), MACRO_HERE);
    return value;
  }

  float real(const char* what) {
    if (!m_pending) {
      // Most tokens are numbers of the short form: read in one pass.
      skipSpace();
      float value = 0;
      const size_t n = m_pos < m_size ? shortDecimal(m_text + m_pos, m_text + m_size, value) : 0;
      if (n > 0 && (m_pos + n == m_size || isBlank(m_text[m_pos + n]))) {
        m_pos += n;
        return value;
      }
    }
    std::string_view tok = token(what);
    float value = 0;
    if (!exponentInRange(tok))
      errorThrowf("Error: \"%s\" line %d: %s has an exponent out of range, found \"%s\" (line %d of %s)",
                  m_path.c_str(), textLine(), what, std::string(tok).c_str(), MACRO_HERE);
    if (!isReal(tok, value))
      errorThrowf("Error: \"%s\" line %d: %s must be a finite number, found \"%s\" (line %d of %s)",
                  m_path.c_str(), textLine(), what, std::string(tok).c_str(), MACRO_HERE);
    return value;
  }

  void reals(float* out, int n, const char* what) {
    for (int i = 0; i < n; i++) out[i] = real(what);
  }

  // Everything up to the closing double quote; called right after a token, so nothing is
  // pending.
  std::string quoted(const char* what) {
    skipSpace();
    if (m_pos >= m_size || m_text[m_pos] != '"')
      errorThrowf("Error: \"%s\" line %d: %s must be in double quotes (line %d of %s)", m_path.c_str(), textLine(),
                  what, MACRO_HERE);
    const void* close = memchr(m_text + m_pos + 1, '"', m_size - m_pos - 1);
    if (!close)
      errorThrowf("Error: \"%s\" line %d: %s has no closing double quote (line %d of %s)", m_path.c_str(),
                  textLine(), what, MACRO_HERE);
    const size_t at = static_cast<size_t>(static_cast<const char*>(close) - m_text);
    std::string text(m_text + m_pos + 1, at - m_pos - 1);
    m_line += static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    m_pos = at + 1;
    return text;
  }

  // The rest of the current line without its leading blanks and its line end.
  std::string restOfLine() {
    while (m_pos < m_size && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t')) ++m_pos;
    const void* newline = memchr(m_text + m_pos, '\n', m_size - m_pos);
    const size_t end = newline ? static_cast<size_t>(static_cast<const char*>(newline) - m_text) : m_size;
    std::string rest(m_text + m_pos, end - m_pos);
    m_pos = end;
    if (!rest.empty() && rest.back() == '\r') rest.pop_back();
    return rest;
  }

  // Line number (from 1) of the read position, for messages.
  int textLine() const { return m_line; }
  // Offset of the read position; nothing before it is looked at again once no token is pending.
  size_t offset() const { return m_pending ? static_cast<size_t>(m_pendingToken.data() - m_text) : m_pos; }

  // A fault of the text: the message, then the file and line it was found at, then the source
  // line of this reader.
  [[noreturn]] void fault(int sourceLine, const char* format, ...) const __attribute__((format(printf, 3, 4))) {
    va_list args;
    va_start(args, format);
    const std::string message = strFormatV(format, args);
    va_end(args);
    errorThrowf("%s in \"%s\" line %d (line %d of %s)", message.c_str(), m_path.c_str(), textLine(), sourceLine,
                "macro");
  }

  // Where the lines that begin with "~h" and a blank begin, from the read position on: one
  // per model. Found from '~' to '~', which a text holds few of: a set's text has a line per
  // dozen numbers.
  std::vector<size_t> modelLineStarts() const {
    std::vector<size_t> starts;
    for (size_t at = offset(); at < m_size;) {
      const void* mark = memchr(m_text + at, '~', m_size - at);
      if (!mark) break;
      at = static_cast<size_t>(static_cast<const char*>(mark) - m_text);
      if ((at == 0 || m_text[at - 1] == '\n') && m_size - at >= 3 && m_text[at + 1] == 'h' && isBlank(m_text[at + 2]))
        starts.push_back(at);
      at++;
    }
    return starts;
  }

 private:
  void skipSpace() {
    while (m_pos < m_size && isBlank(m_text[m_pos])) m_line += m_text[m_pos++] == '\n';
  }

  std::string m_path;
  const char* m_text;
  size_t m_size;
  size_t m_pos = 0;
  int m_line = 1;  // of m_pos
  bool m_pending = false;
  std::string_view m_pendingToken;
  bool m_trial;
};

// Limits of the fixed fields; where names the file or image and the place in it.
void checkStreamCount(int streamNum, const std::string& where) {
  if (streamNum < 1 || streamNum > MAX_STREAM_NUM)
    errorThrowf("Error: streamNum=%d of %s is outside 1..MAX_STREAM_NUM=%d (line %d of %s)", streamNum,
                where.c_str(), MAX_STREAM_NUM, MACRO_HERE);
}

void checkStreamWidth(int width, const std::string& where) {
  if (width < 1 || width > MAX_PARAM_NUM)
    errorThrowf("Error: streamWidth=%d of %s is outside 1..MAX_PARAM_NUM=%d (line %d of %s)", width, where.c_str(),
                MAX_PARAM_NUM, MACRO_HERE);
}

void checkStateNum(int stateNum, const std::string& model, const std::string& where) {
  if (stateNum < 3 || stateNum > MAX_STATE_NUM + 2)
    errorThrowf("Error: stateNum=%d of model %s is outside 3..MAX_STATE_NUM+2=%d in %s (line %d of %s)", stateNum,
                model.c_str(), MAX_STATE_NUM + 2, where.c_str(), MACRO_HERE);
}

void checkMixtureNum(int mixtureNum, const std::string& where) {
  if (mixtureNum > MAX_MIXTURE_NUM)
    errorThrowf("Error: mixtureNum=%d exceeds MAX_MIXTURE_NUM=%d in %s (line %d of %s)", mixtureNum, MAX_MIXTURE_NUM,
                where.c_str(), MACRO_HERE);
  if (mixtureNum < 1)
    errorThrowf("Error: mixtureNum=%d is below 1 in %s (line %d of %s)", mixtureNum, where.c_str(), MACRO_HERE);
}

void checkModelName(const std::string& name, const std::string& where) {
  if (name.size() >= static_cast<size_t>(MAX_MODEL_NAME_LEN))
    errorThrowf("Error: model name \"%s\" has %zu bytes, MAX_MODEL_NAME_LEN=%d allows %d in %s (line %d of %s)",
                name.c_str(), name.size(), MAX_MODEL_NAME_LEN, MAX_MODEL_NAME_LEN - 1, where.c_str(), MACRO_HERE);
}

// The text is handed back in steps of this size while it is parsed.
constexpr size_t TEXT_RELEASE_BYTES = 1 << 20;

std::string fileLine(const macTokenizer& in) { return strFormat("\"%s\" line %d", in.path().c_str(), in.textLine()); }

// Model i of the set from its name on (its "~h" read), up to its "<ENDHMM>"; before is the
// name of the model before it, whose order it keeps in sorted.
void modelParse(macTokenizer& in, const hmmSet& set, int i, const std::string* before, hmmModel& model,
                bool& sorted) {
  std::string_view tok;
  model.str = in.quoted("the model name");
  checkModelName(model.str, fileLine(in));
  if (before) {
    if (model.str == *before) in.fault(__LINE__, "Error: model \"%s\" is defined twice", model.str.c_str());
    if (model.str < *before) sorted = false;
  }

  tok = in.token("\"<BEGINHMM>\"");
  if (tok != "<BEGINHMM>")
    in.fault(__LINE__, "modelId=%d, str1=%s, Cannot find \"<BEGINHMM>\"", i, std::string(tok).c_str());
  in.token("\"<NUMSTATES>\"");
  model.stateNum = in.integer("stateNum");
  checkStateNum(model.stateNum, model.str, fileLine(in));

  for (int n = 2; n < model.stateNum; n++) {
    hmmState& state = model.state[n - 2];
    in.token("\"<STATE>\"");
    in.integer("the state number");
    tok = in.token("\"<NUMMIXES>\"");
    if (tok == "<NUMMIXES>") {
      for (int s = 0; s < set.streamNum; s++) {
        state.stream[s].mixtureNum = in.integer("mixtureNum");
        checkMixtureNum(state.stream[s].mixtureNum, fileLine(in));
        state.stream[s].mixture.resize(static_cast<size_t>(state.stream[s].mixtureNum));
      }
      in.token("\"<SWEIGHTS>\"");
      in.integer("the stream weight count");
    } else if (tok == "<SWEIGHTS>") {
      for (int s = 0; s < set.streamNum; s++) {
        state.stream[s].mixtureNum = 1;
        state.stream[s].mixture.resize(1);
      }
      in.integer("the stream weight count");
    } else {
      in.fault(__LINE__, "ERROR: fail to read <NUMMIXES> or <SWEIGHTS> at modelId = %d, stateId = %d", i, n);
    }
    in.reals(state.streamWeight, set.streamNum, "streamWeight");

    for (int s = 0; s < set.streamNum; s++) {
      hmmStream& stream = state.stream[s];
      const int width = set.streamWidth[s];
      if (set.streamNum > 1) {
        tok = in.token("\"<STREAM>\"");
        int number = in.integer("the stream number");
        if (tok != "<STREAM>") {
          if (!in.trial()) printf("modelId=%d (%s), stateId=%d\n", i, model.str.c_str(), n);
          in.fault(__LINE__, "str1=%s, temp=%d, Cannot find \"<STREAM>\"", std::string(tok).c_str(), number);
        }
      }
      for (int m = 0; m < stream.mixtureNum; m++) {
        hmmMixture& mix = stream.mixture[m];
        tok = in.token("\"<MEAN>\"");
        if (tok == "<MIXTURE>") {
          in.integer("the mixture number");
          mix.mixtureWeight = in.real("mixtureWeight");
        } else if (stream.mixtureNum == 1) {
          in.pushBack(tok);
          mix.mixtureWeight = 1.0f;
        } else {
          // Fewer mixtures than declared: the rest stay zero, the token heads what follows.
          in.pushBack(tok);
          break;
        }

        tok = in.token("\"<MEAN>\"");
        if (tok == "<RCLASS>") {
          in.integer("the regression class");
          tok = in.token("\"<MEAN>\"");
        }
        if (tok != "<MEAN>") in.fault(__LINE__, "Error: Cannot find \"<MEAN>\"");
        int size = in.integer("the <MEAN> size");
        if (size != MAX_PARAM_NUM) in.fault(__LINE__, "Error: MAX_PARAM_NUM = %d != %d!", MAX_PARAM_NUM, size);
        in.reals(mix.mean, width, "mean");

        // The size is judged before the keyword: a wrong size names itself even under a
        // misspelt keyword.
        tok = in.token("\"<VARIANCE>\"");
        const std::string_view sizeTok = in.token("the <VARIANCE> size");
        if (isInteger(sizeTok, size) && size != MAX_PARAM_NUM)
          in.fault(__LINE__, "Error: MAX_PARAM_NUM = %d != %d!", MAX_PARAM_NUM, size);
        if (tok != "<VARIANCE>") in.fault(__LINE__, "Cannot find \"<VARIANCE>\"");
        in.pushBack(sizeTok);
        size = in.integer("the <VARIANCE> size");
        in.reals(mix.variance, width, "variance");

        // Without "<GCONST>" the slot keeps gconst 0 and the token starts the next mixture.
        tok = in.token("\"<GCONST>\"");
        if (tok == "<GCONST>")
          mix.gconst = in.real("gconst");
        else
          in.pushBack(tok);
      }
    }
  }

  tok = in.token("\"<TRANSP>\"");
  if (tok != "<TRANSP>") in.fault(__LINE__, "Error: Cannot find \"<TRANSP>\"");
  in.integer("the <TRANSP> size");
  for (int r = 0; r < model.stateNum; r++) in.reals(model.transProb[r], model.stateNum, "transProb");

  tok = in.token("\"<ENDHMM>\"");
  if (tok != "<ENDHMM>") in.fault(__LINE__, "Error: Not reading <ENDHMM>, modelId=%d", i);
}

// The parts the last text read on this thread was parsed in.
thread_local size_t t_textParts = 0;

// The models from the read position on, whose lines begin at starts, parsed in parts, one run
// of whole models each, on the threads of workerPool::shared(): a text of megabytes takes a
// one-utterance run longer to parse than anything else it does. A part begins at a line that
// begins with "~h"; it is taken only when its models end exactly where the next part begins,
// so that its tokens are the ones a parse of the whole text reads. False, with set.model empty, when the text is too
// small to split, or when any part fails or two neighbours share a name: the caller then
// parses it whole, with that parse's messages.
bool modelsParseSplit(const macTokenizer& in, const std::vector<size_t>& starts, hmmSet& set, bool& sorted,
                      size_t partBytes) {
  workerPool& pool = workerPool::shared();
  const char* text = in.text();
  const size_t size = in.size();
  size_t from = in.offset();
  if ((size - from) / partBytes < 2 || pool.threadNum() < 2) return false;
  while (from < size && isBlank(text[from])) from++;
  if (starts.size() < 2 || starts[0] != from) return false;
  // Parts of about equal size, each from a model's line to the next part's. A thread's start
  // costs about a millisecond of CPU, a part of TEXT_PART_BYTES a few of parsing: each part
  // takes that much text at least.
  const size_t parts = std::min({starts.size(), static_cast<size_t>(pool.threadNum()), (size - from) / partBytes});
  std::vector<size_t> first(parts + 1, starts.size());  // a part's first model
  for (size_t k = 0; k < parts; k++) {
    const size_t target = from + (size - from) / parts * k;
    first[k] = static_cast<size_t>(std::lower_bound(starts.begin(), starts.end(), target) - starts.begin());
  }
  first[0] = 0;
  set.model.resize(starts.size());
  std::vector<char> partSorted(parts, 1);
  std::atomic<bool> failed{false};
  pool.run(parts, [&](size_t k) {
    if (first[k] >= first[k + 1] || failed.load(std::memory_order_relaxed)) return;
    const errorTrial quiet;
    try {
      const size_t begin = starts[first[k]], end = first[k + 1] < starts.size() ? starts[first[k + 1]] : size;
      macTokenizer part(in.path(), text + begin, end - begin, true);
      bool inOrder = true;
      size_t i = first[k];
      for (; !part.atEnd(); i++) {
        if (i >= first[k + 1] || part.token("\"~h\"") != "~h") {
          failed.store(true, std::memory_order_relaxed);
          return;
        }
        modelParse(part, set, static_cast<int>(i), i > first[k] ? &set.model[i - 1].str : nullptr, set.model[i],
                   inOrder);
      }
      if (i != first[k + 1]) failed.store(true, std::memory_order_relaxed);
      partSorted[k] = inOrder;
    } catch (...) {
      failed.store(true, std::memory_order_relaxed);
    }
  });
  for (size_t k = 0; k < parts && !failed; k++) {
    sorted = sorted && partSorted[k];
    if (k == 0 || first[k] >= first[k + 1]) continue;
    const std::string& name = set.model[first[k]].str;
    const std::string& before = set.model[first[k] - 1].str;
    if (name == before) failed = true;
    if (name < before) sorted = false;
  }
  if (failed) {
    set.model.clear();
    sorted = true;
    return false;
  }
  t_textParts = parts;
  return true;
}

void macTextParse(const std::string& path, hmmSet& set, size_t partBytes) {
  // Parsed where it lies: a model set's text is megabytes, read once per run.
  const mappedFile text(path);
  const size_t mark = byteOrderMarkLength(text.data(), text.size());
  macTokenizer in(path, text.data() + mark, text.size() - mark);

  in.token("\"~o\"");
  in.token("\"<STREAMINFO>\"");
  set.streamNum = in.integer("streamNum");
  checkStreamCount(set.streamNum, fileLine(in));
  for (int s = 0; s < set.streamNum; s++) {
    set.streamWidth[s] = in.integer("streamWidth");
    checkStreamWidth(set.streamWidth[s], fileLine(in));
  }
  std::string_view first = in.token("the header line");
  if (first == "~h") {
    // A set read from an image has no header; the text writer leaves its line empty.
    in.pushBack(first);
  } else {
    set.header = std::string(first) + " " + in.restOfLine();
    if (set.header.size() >= static_cast<size_t>(MAX_HEADER_LEN))
      errorThrowf("Error: header of %s has %zu bytes, MAX_HEADER_LEN=%d allows %d (line %d of %s)",
                  fileLine(in).c_str(), set.header.size(), MAX_HEADER_LEN, MAX_HEADER_LEN - 1, MACRO_HERE);
  }

  // Sets are written in name order: a set that arrives sorted is not sorted again, and a name
  // given twice is found on the way (only a set out of order needs the full look-up).
  bool sorted = true;
  size_t released = 0;
  t_textParts = 1;
  const std::vector<size_t> starts = in.modelLineStarts();
  if (!modelsParseSplit(in, starts, set, sorted, partBytes)) {
    set.model.reserve(starts.size());
    for (int i = 0; !in.atEnd(); i++) {
      std::string_view tok = in.token("\"~h\"");
      if (tok != "~h")
        errorThrowf("Error: \"%s\" line %d: expected \"~h\" of model %d, found \"%s\" (line %d of %s)", path.c_str(),
                    in.textLine(), i, std::string(tok).c_str(), MACRO_HERE);
      set.model.emplace_back();
      hmmModel& model = set.model.back();
      modelParse(in, set, i, set.model.size() > 1 ? &set.model[set.model.size() - 2].str : nullptr, model, sorted);
      // The text read so far need not stay in memory alongside the models made of it.
      if (in.offset() >= released + TEXT_RELEASE_BYTES) {
        released = in.offset();
        text.release(mark + released);
      }
    }
  }
  if (set.model.empty()) errorThrowf("Error: \"%s\" holds no model (line %d of %s)", path.c_str(), MACRO_HERE);
  if (!sorted) {
    std::vector<const std::string*> names;
    names.reserve(set.model.size());
    for (const hmmModel& model : set.model) names.push_back(&model.str);
    std::sort(names.begin(), names.end(), [](const std::string* a, const std::string* b) { return *a < *b; });
    for (size_t k = 1; k < names.size(); k++)
      if (*names[k] == *names[k - 1])
        errorThrowf("Error: model \"%s\" is defined twice in \"%s\" (line %d of %s)", names[k]->c_str(), path.c_str(),
                    MACRO_HERE);
  }
  set.modelNum = static_cast<int32_t>(set.model.size());
}

void macbParse(binaryImage& image, hmmSet& set) {
  const std::string where = "image \"" + image.name() + "\"";
  set.modelNum = image.getInt32();
  set.streamNum = image.getInt32();
  checkStreamCount(set.streamNum, where);
  for (int s = 0; s < set.streamNum; s++) {
    set.streamWidth[s] = image.getInt32();
    checkStreamWidth(set.streamWidth[s], where);
  }
  // Smallest model: name, stateNum, one state of single-mixture streams, 3 x 3 transitions.
  const int64_t minModelBytes = MAX_MODEL_NAME_LEN + 4 + 4LL * set.streamNum + 116LL * set.streamNum + 36;
  if (set.modelNum < 0)
    errorThrowf("Error: modelNum=%d of %s is negative (line %d of %s)", set.modelNum, where.c_str(), MACRO_HERE);
  if (set.modelNum == 0)
    errorThrowf("Error: %s holds no model (line %d of %s)", where.c_str(), MACRO_HERE);
  image.need(set.modelNum, minModelBytes, "models");
  set.model.resize(static_cast<size_t>(set.modelNum));
  // The mixtures of all streams in one block: the records they are read from bound their
  // number, and thousands of small arrays would fault their pages in one by one.
  constexpr size_t mixtureBytes = 4 * (2 + 2 * MAX_PARAM_NUM);
  static_assert(sizeof(hmmMixture) == mixtureBytes, "a mixture is held as the image stores it");
  const auto arena = std::make_shared<blockArena>(image.bytesLeft() / mixtureBytes * sizeof(hmmMixture));

  for (hmmModel& model : set.model) {
    char name[MAX_MODEL_NAME_LEN];
    image.getBytes(name, sizeof name);
    const void* nul = memchr(name, '\0', sizeof name);
    if (!nul)
      errorThrowf("Error: model name in %s is not NUL-terminated within MAX_MODEL_NAME_LEN=%d bytes (line %d of %s)",
                  where.c_str(), MAX_MODEL_NAME_LEN, MACRO_HERE);
    model.str.assign(name, static_cast<const char*>(nul) - name);
    model.stateNum = image.getInt32();
    checkStateNum(model.stateNum, model.str, where);
    // An image holds no text check of its numbers: a NaN or infinite value would score
    // silently (or fail later under another name), so each one is refused where it stands.
    auto finite = [&](float v, const char* what, int k, int s, int m) {
      if (std::isfinite(v)) return;
      std::string place = strFormat("%s, model %s", where.c_str(), model.str.c_str());
      if (k >= 0) place += strFormat(", state %d", k + 2);
      if (s >= 0) place += strFormat(", stream %d", s + 1);
      if (m >= 0) place += strFormat(", mixture %d", m + 1);
      errorThrowf("Error: %s=%g in %s is not a finite number (line %d of %s)", what, v, place.c_str(), MACRO_HERE);
    };
    for (int k = 0; k < model.stateNum - 2; k++) {
      hmmState& state = model.state[k];
      for (int s = 0; s < set.streamNum; s++) {
        state.streamWeight[s] = image.getFloat();
        finite(state.streamWeight[s], "streamWeight", k, s, -1);
      }
      for (int s = 0; s < set.streamNum; s++) {
        hmmStream& stream = state.stream[s];
        stream.mixtureNum = image.getInt32();
        if (stream.mixtureNum < 1 || stream.mixtureNum > MAX_MIXTURE_NUM)
          checkMixtureNum(stream.mixtureNum,
                          strFormat("%s, model %s, state %d, stream %d", where.c_str(), model.str.c_str(), k + 2, s + 1));
        // The stream's records in one piece: weight, 13 means, 13 variances, gconst each.
        const uint8_t* record = image.take(stream.mixtureNum, mixtureBytes, "mixtures");
        stream.mixture.assignForOverwrite(static_cast<size_t>(stream.mixtureNum), arena);
        for (int m = 0; m < stream.mixtureNum; m++, record += mixtureBytes) {
          hmmMixture& mix = stream.mixture[m];
          mix.mixtureWeight = readLittleEndianFloat(record);
          finite(mix.mixtureWeight, "mixtureWeight", k, s, m);
          for (int d = 0; d < MAX_PARAM_NUM; d++)
            finite(mix.mean[d] = readLittleEndianFloat(record + 4 + 4 * d), "mean", k, s, m);
          for (int d = 0; d < MAX_PARAM_NUM; d++)
            finite(mix.variance[d] = readLittleEndianFloat(record + 4 + 4 * (MAX_PARAM_NUM + d)), "variance", k, s, m);
          mix.gconst = readLittleEndianFloat(record + mixtureBytes - 4);
          finite(mix.gconst, "gconst", k, s, m);
        }
      }
    }
    // The image keeps the first stateNum x stateNum floats of the flat 5 x 5 matrix.
    float flat[(MAX_STATE_NUM + 2) * (MAX_STATE_NUM + 2)] = {};
    const int n = model.stateNum * model.stateNum;
    image.need(n, 4, "transition probabilities");
    for (int k = 0; k < n; k++) finite(flat[k] = image.getFloat(), "transProb", -1, -1, -1);
    memcpy(model.transProb, flat, sizeof flat);
  }
  image.expectEnd();
}

}  // namespace

std::atomic<size_t> macroClass::s_textPartBytes{macroClass::TEXT_PART_BYTES};

size_t macroClass::textPartsRead() { return t_textParts; }

macroClass::macroClass() : m_generation(0) {
  changed();
  m_set.modelNum = 0;
  m_set.streamNum = 0;
  for (int32_t& w : m_set.streamWidth) w = 0;
}

void macroClass::macroRead(const std::string& path, bool prepare) {
  if (prepare)
    macroReadSorted(path);
  else
    macroReadRaw(path);
}

void macroClass::macroReadSorted(const std::string& path) {
  macroReadRaw(path);
  sortModels(0, m_set.modelNum - 1);
  prepareModels();
}

void macroClass::macroReadRaw(const std::string& path) {
  macroFree();
  const std::string ext = getFileExt(path);
  if (ext == "macb" || ext == "MACB")
    macbRead(path);
  else if (ext == "mac" || ext == "MAC")
    macTextRead(path);
  else
    errorThrowf("Error in reading \"%s\": The only allowed extension are \"mac\" and \"macb\" (line %d of %s) \n",
                path.c_str(), MACRO_HERE);
}

void macroClass::macTextRead(const std::string& path) {
  macroFree();
  hmmSet set{};
  macTextParse(path, set, std::max<size_t>(1, s_textPartBytes.load(std::memory_order_relaxed)));
  m_set = std::move(set);
}

void macroClass::macbRead(const std::string& path) {
  macroFree();
  binaryImage image = binaryImage::fromFile(path);
  hmmSet set{};
  macbParse(image, set);
  m_set = std::move(set);
}

void macroClass::macbReadFromBuffer(const void* buffer, size_t size) {
  macroFree();
  binaryImage image("(memory block)", buffer, size);
  hmmSet set{};
  macbParse(image, set);
  m_set = std::move(set);
}

void macroClass::macroReadFromBuffer(const void* buffer, size_t size) {
  macbReadFromBuffer(buffer, size);
  sortModels(0, m_set.modelNum - 1);
  prepareModels();
}

namespace {

// A count as written: an optional sign and decimal digits, nothing else. Counts are not
// bounded by int: one above it is still a count, and only its logarithm is kept.
bool countTextRead(std::string text, double& count) {
  strTrim(text);
  size_t digits = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (digits == text.size()) return false;
  for (size_t i = digits; i < text.size(); i++)
    if (text[i] < '0' || text[i] > '9') return false;
  count = strtod(text.c_str(), nullptr);
  return true;
}

}  // namespace

void macroClass::modelCountRead(const std::string& path) {
  changed();
  for (hmmModel& model : m_set.model) model.logCount = 0;
  if (path.empty()) return;
  if (!fileExist(path.c_str())) {
    // Set but not there: most likely a wrong name, which would turn the count weights off.
    printf("Warning: cannot open the model count file %s; no model counts are used\n", path.c_str());
    return;
  }
  strVec lines;
  std::vector<int> lineNumbers;
  file2strVec(path, lines, '%', lineNumbers);
  // Line i counts model i in name order; models after a short file's last line were not
  // counted and keep 0, like a model that was never seen in training.
  if (lines.size() > m_set.model.size())
    printf("Warning: model count file %s has %zu lines for %d models; line %d and the lines after it are ignored\n",
           path.c_str(), lines.size(), m_set.modelNum, lineNumbers[m_set.model.size()]);
  const size_t counted = std::min(lines.size(), m_set.model.size());
  for (size_t i = 0; i < counted; i++) {
    strVec fields;
    strSplit(lines[i], '\t', fields);
    if (fields.size() < 2)
      errorThrowf("Error: line %d of model count file %s has no TAB-separated count (line %d of %s)", lineNumbers[i],
                  path.c_str(), MACRO_HERE);
    hmmModel& model = m_set.model[i];
    if (fields[0] != model.str)
      printf("Warning: Mismatched model count file %s! (line %d of %s)\n", path.c_str(), MACRO_HERE);
    double count = 0;
    if (!countTextRead(fields[1], count))
      errorThrowf("Error: line %d of model count file %s has the count \"%s\", not a whole number (line %d of %s)",
                  lineNumbers[i], path.c_str(), fields[1].c_str(), MACRO_HERE);
    model.logCount = count > 0 ? logf(static_cast<float>(count)) : 0.0f;
  }
}

int macroClass::findModelIndex(const std::string& name) const {
  if (m_set.model.empty()) return -1;
  auto it = std::lower_bound(m_set.model.begin(), m_set.model.end(), name,
                             [](const hmmModel& m, const std::string& key) { return m.str < key; });
  if (it != m_set.model.end() && it->str == name) return static_cast<int>(it - m_set.model.begin());
  return findSubstituteModel(name);
}

int macroClass::findSubstituteModel(const std::string& name) const {
  if (name == "sp" || name == "sil" || name == "filler" || name == "fillerC" || name == "fillerV") return -1;
  size_t plus = name.find('+');
  if (plus == std::string::npos)
    errorThrowf("Error in macroClass::findSubstituteModel(): Cannot find '+' sign, modelStr=%s (line %d of %s) \n",
                name.c_str(), MACRO_HERE);
  if (m_set.model.empty()) return -1;
  auto firstWithPrefix = [this](const std::string& prefix) {
    for (size_t i = 0; i < m_set.model.size(); i++)
      if (m_set.model[i].str.compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
    return -1;
  };
  const std::string left = name.substr(0, plus + 1);
  int index = firstWithPrefix(left + "sil");
  if (index < 0) index = firstWithPrefix(left);
  if (index < 0) index = 0;
  printf("Warning of model substitution: %s is replaced by %s\n", name.c_str(), m_set.model[index].str.c_str());
  return index;
}

void macroClass::getModelNames(strVec& names) const {
  names.clear();
  for (const hmmModel& model : m_set.model) names.push_back(model.str);
}

void macroClass::sortModels(int lo, int hi) {
  changed();
  if (lo < 0) lo = 0;
  if (hi > m_set.modelNum - 1) hi = m_set.modelNum - 1;
  if (lo >= hi) return;
  auto byName = [](const hmmModel& a, const hmmModel& b) { return a.str < b.str; };
  // Sets are written in name order: most arrive sorted.
  if (std::is_sorted(m_set.model.begin() + lo, m_set.model.begin() + hi + 1, byName)) return;
  // Records are large: order indices first, then move each record once.
  std::vector<size_t> order(static_cast<size_t>(hi - lo + 1));
  std::iota(order.begin(), order.end(), static_cast<size_t>(lo));
  std::stable_sort(order.begin(), order.end(),
                   [this](size_t a, size_t b) { return m_set.model[a].str < m_set.model[b].str; });
  std::vector<hmmModel> sorted;
  sorted.reserve(order.size());
  for (size_t k : order) sorted.push_back(std::move(m_set.model[k]));
  std::move(sorted.begin(), sorted.end(), m_set.model.begin() + lo);
}

void macroClass::prepareModels() {
  changed();
  for (hmmModel& model : m_set.model) {
    for (int k = 0; k < model.stateNum - 2; k++) {
      for (int j = 0; j < m_set.streamNum; j++) {
        hmmStream& stream = model.state[k].stream[j];
        for (int m = 0; m < stream.mixtureNum; m++) {
          hmmMixture& mix = stream.mixture[m];
          for (int d = 0; d < m_set.streamWidth[j]; d++) {
            float v = mix.variance[d];
            if (v < 1e-30f) v = 1e-30f;
            float inverse = 1.0f / v;
            mix.variance[d] = inverse < 1e-30f ? 1e-30f : inverse;
          }
          // A negative weight (an already prepared set, say) would give NaN scores.
          if (!(mix.mixtureWeight >= 0.0f))
            errorThrowf("Error: mixtureWeight=%g < 0 in model %s, state %d, stream %d, mixture %d: set already "
                        "prepared? (line %d of %s)",
                        mix.mixtureWeight, model.str.c_str(), k + 2, j + 1, m + 1, MACRO_HERE);
          mix.mixtureWeight = mix.mixtureWeight == 0.0f ? LZERO : logf(mix.mixtureWeight);
        }
      }
    }
    for (int i = 0; i < model.stateNum; i++) {
      for (int j = 0; j < model.stateNum; j++) {
        float& p = model.transProb[i][j];
        if (!(p >= 0.0f))
          errorThrowf("Error: transProb[%d][%d]=%g < 0 in model %s: set already prepared? (line %d of %s)", i, j, p,
                      model.str.c_str(), MACRO_HERE);
        // A zero probability is an impossible move, not log 1.
        p = p == 0.0f ? LZERO : logf(p);
      }
    }
  }
}

void macroClass::macroAppend(const macroClass& other) {
  changed();
  const int old = m_set.modelNum;
  // A freed set keeps its old layout fields but holds nothing they would have to match.
  if (m_set.model.empty()) {
    m_set.streamNum = other.m_set.streamNum;
    std::copy(std::begin(other.m_set.streamWidth), std::end(other.m_set.streamWidth), std::begin(m_set.streamWidth));
    m_set.header = other.m_set.header;
  } else if (!other.m_set.model.empty() &&
             (other.m_set.streamNum != m_set.streamNum ||
              !std::equal(m_set.streamWidth, m_set.streamWidth + m_set.streamNum, other.m_set.streamWidth))) {
    // Models of another stream layout would be scored over the wrong vector parts.
    errorThrowf("Error: cannot append a set of another stream layout (streamNum=%d and %d, or other streamWidth) "
                "(line %d of %s)",
                m_set.streamNum, other.m_set.streamNum, MACRO_HERE);
  }
  m_set.model.insert(m_set.model.end(), other.m_set.model.begin(), other.m_set.model.end());
  m_set.modelNum = static_cast<int32_t>(m_set.model.size());
  printf("MMF.modelNum=%d, mac2.MMF.modelNum=%d, new=%d\n", old, other.m_set.modelNum, m_set.modelNum);
  sortModels(0, m_set.modelNum - 1);
}

void macroClass::macroFree() {
  changed();
  m_layout.reset();
  m_set.model.clear();
  m_set.model.shrink_to_fit();
  m_set.modelNum = 0;
}

// ---- Scoring layout -------------------------------------------------------------------------

void macroClass::changed() {
  // One count for every set: a number once given names one state of one set (and of its
  // copies), so that a scorer cannot mistake another set, or this one refilled, for the one
  // it was made from.
  static std::atomic<uint64_t> last{0};
  m_generation = last.fetch_add(1, std::memory_order_relaxed) + 1;
}

void macroClass::layoutPrepare() {
  m_layout = std::make_shared<const gaussLayout>(*this);
  m_layoutGeneration = m_generation;
}

std::shared_ptr<const gaussLayout> macroClass::gaussianLayout() const {
  if (!m_layout)
    errorThrowf("Error: the model set is not laid out for scoring (macroClass::layoutPrepare) (line %d of %s)",
                MACRO_HERE);
  if (m_layoutGeneration != m_generation)
    errorThrowf("Error: the model set changed after it was laid out for scoring; it must be laid out again "
                "(macroClass::layoutPrepare) (line %d of %s)",
                MACRO_HERE);
  return m_layout;
}

// ---- Writers ----------------------------------------------------------------------------

namespace {

// A set built in code can hold any counts; the writers index the fixed arrays with them.
void checkWritable(const hmmSet& set) {
  checkStreamCount(set.streamNum, "the model set");
  for (int s = 0; s < set.streamNum; s++) checkStreamWidth(set.streamWidth[s], "the model set");
  for (const hmmModel& model : set.model) {
    checkModelName(model.str, "the model set");
    checkStateNum(model.stateNum, model.str, "the model set");
    for (int k = 0; k < model.stateNum - 2; k++)
      for (int s = 0; s < set.streamNum; s++)
        checkMixtureNum(model.state[k].stream[s].mixtureNum, strFormat("model %s, state %d, stream %d",
                                                                       model.str.c_str(), k + 2, s + 1));
  }
}

}  // namespace

void macroClass::macbWrite(const std::string& path) const {
  checkWritable(m_set);
  binaryImage image(path);
  image.putInt32(m_set.modelNum);
  image.putInt32(m_set.streamNum);
  for (int s = 0; s < m_set.streamNum; s++) image.putInt32(m_set.streamWidth[s]);
  for (const hmmModel& model : m_set.model) {
    char name[MAX_MODEL_NAME_LEN] = {};
    memcpy(name, model.str.data(), model.str.size());
    image.putBytes(name, sizeof name);
    image.putInt32(model.stateNum);
    for (int k = 0; k < model.stateNum - 2; k++) {
      const hmmState& state = model.state[k];
      for (int s = 0; s < m_set.streamNum; s++) image.putFloat(state.streamWeight[s]);
      for (int s = 0; s < m_set.streamNum; s++) {
        const hmmStream& stream = state.stream[s];
        image.putInt32(stream.mixtureNum);
        for (int m = 0; m < stream.mixtureNum; m++) {
          const hmmMixture& mix = stream.mixture[m];
          image.putFloat(mix.mixtureWeight);
          for (float v : mix.mean) image.putFloat(v);
          for (float v : mix.variance) image.putFloat(v);
          image.putFloat(mix.gconst);
        }
      }
    }
    const float* flat = &model.transProb[0][0];
    for (int k = 0; k < model.stateNum * model.stateNum; k++) image.putFloat(flat[k]);
  }
  image.save(path);
}

void macroClass::macTextWrite(const std::string& path) const {
  checkWritable(m_set);
  filePtr out = openFilePtr(path, "w");
  FILE* fp = out.get();
  fprintf(fp, "~o\n<STREAMINFO> %d", m_set.streamNum);
  for (int s = 0; s < m_set.streamNum; s++) fprintf(fp, " %d", m_set.streamWidth[s]);
  fprintf(fp, "\n%s\n", m_set.header.c_str());
  for (const hmmModel& model : m_set.model) {
    fprintf(fp, "~h \"%s\"\n<BEGINHMM>\n<NUMSTATES> %d\n", model.str.c_str(), model.stateNum);
    for (int k = 0; k < model.stateNum - 2; k++) {
      const hmmState& state = model.state[k];
      fprintf(fp, "<STATE> %d\n<NUMMIXES>", k + 2);
      for (int s = 0; s < m_set.streamNum; s++) fprintf(fp, " %d", state.stream[s].mixtureNum);
      fprintf(fp, "\n<SWEIGHTS> %d", m_set.streamNum);
      if (m_set.streamNum == 1) {
        fprintf(fp, "\n %e\n", 1.0);
      } else {
        fprintf(fp, "\n");
        for (int s = 0; s < m_set.streamNum; s++) fprintf(fp, " %e", 1.0);
        fprintf(fp, "\n");
      }
      for (int s = 0; s < m_set.streamNum; s++) {
        const hmmStream& stream = state.stream[s];
        const int width = m_set.streamWidth[s];
        if (m_set.streamNum > 1) fprintf(fp, "<STREAM> %d\n", s + 1);
        for (int m = 0; m < stream.mixtureNum; m++) {
          const hmmMixture& mix = stream.mixture[m];
          if (mix.mixtureWeight == 0.0f) continue;
          fprintf(fp, "<MIXTURE> %d %e\n<MEAN> %d\n", m + 1, mix.mixtureWeight, width);
          for (int d = 0; d < width; d++) fprintf(fp, " %e", mix.mean[d]);
          fprintf(fp, "\n<VARIANCE> %d\n", width);
          for (int d = 0; d < width; d++) fprintf(fp, " %e", mix.variance[d]);
          fprintf(fp, "\n<GCONST> %e\n", mix.gconst);
        }
      }
    }
    fprintf(fp, "<TRANSP> %d\n", model.stateNum);
    for (int i = 0; i < model.stateNum; i++) {
      for (int j = 0; j < model.stateNum; j++) fprintf(fp, " %e", model.transProb[i][j]);
      fprintf(fp, "\n");
    }
    fprintf(fp, "<ENDHMM>\n");
  }
  closeWrittenFile(out, path);
}

void macroClass::print(int modelIndex, const std::string& path) const {
  if (modelIndex < 0 || modelIndex >= m_set.modelNum)
    errorThrowf("Error: model index %d is outside 0..%d (line %d of %s)", modelIndex, m_set.modelNum - 1, MACRO_HERE);
  checkWritable(m_set);
  const hmmModel& model = m_set.model[static_cast<size_t>(modelIndex)];
  filePtr out = openFilePtr(path, "w");
  FILE* fp = out.get();
  fprintf(fp, "\tModel index = %d\n\tMMF.modelNum = %d\n\tMMF.streamNum = %d\n", modelIndex, m_set.modelNum,
          m_set.streamNum);
  fprintf(fp, "\tMMF.model[%d].stateNum = %d\n\tMMF.model[%d].str = %s\n", modelIndex, model.stateNum, modelIndex,
          model.str.c_str());
  for (int k = 0; k < model.stateNum - 2; k++) {
    const hmmState& state = model.state[k];
    fprintf(fp, "\t\tState index = %d\n", k);
    for (int s = 0; s < m_set.streamNum; s++) {
      const hmmStream& stream = state.stream[s];
      fprintf(fp, "\t\t\tStream index = %d\n\t\t\t\tstreamWeight[%d] = %f\n", s, s, state.streamWeight[s]);
      for (int m = 0; m < stream.mixtureNum; m++) {
        const hmmMixture& mix = stream.mixture[m];
        fprintf(fp, "\t\t\t\tMixture index = %d\n\t\t\t\t\tmixtureWeight = %f\n\t\t\t\t\tgconst = %f\n", m,
                mix.mixtureWeight, mix.gconst);
        fprintf(fp, "\t\t\t\t\tmean = ");
        for (int d = 0; d < m_set.streamWidth[s]; d++) fprintf(fp, "%f ", mix.mean[d]);
        fprintf(fp, "\n\t\t\t\t\tvariance = ");
        for (int d = 0; d < m_set.streamWidth[s]; d++) fprintf(fp, "%f ", mix.variance[d]);
        fprintf(fp, "\n");
      }
    }
  }
  fprintf(fp, "\tMMF.model[%d].transProb = \n", modelIndex);
  for (int i = 0; i < model.stateNum; i++) {
    fprintf(fp, "\t");
    for (int j = 0; j < model.stateNum; j++) fprintf(fp, "\t%f ", model.transProb[i][j]);
    fprintf(fp, "\n");
  }
  closeWrittenFile(out, path);
}

void macroClass::orderedModelExport(const std::string& path) const {
  static const char* const LIST = "ModelNames.txt";
  if (m_set.model.empty()) errorThrowf("Error: no models to export to %s (line %d of %s)", path.c_str(), MACRO_HERE);
  checkWritable(m_set);

  std::string text;
  textFile2string(LIST, text);
  strVec tokens;
  {
    size_t pos = 0;
    while (true) {
      while (pos < text.size() && isWhiteSpace(text[pos])) ++pos;
      if (pos >= text.size()) break;
      size_t begin = pos;
      while (pos < text.size() && !isWhiteSpace(text[pos])) ++pos;
      tokens.push_back(text.substr(begin, pos - begin));
    }
  }
  const size_t n = m_set.model.size();
  strVec names{"sil"};
  for (size_t e = 1; e < n; e++) {
    const size_t t = 2 * (e - 1);
    if (t + 1 >= tokens.size())
      errorThrowf("Error: \"%s\" lists %zu names, %zu models need %zu (line %d of %s)", LIST, e - 1, n, n - 1,
                  MACRO_HERE);
    char* end = nullptr;
    strtol(tokens[t].c_str(), &end, 10);
    if (*end != '\0')
      errorThrowf("Error: entry %zu of \"%s\" does not start with a number: \"%s\" (line %d of %s)", e, LIST,
                  tokens[t].c_str(), MACRO_HERE);
    if (tokens[t + 1].size() >= static_cast<size_t>(MAX_EXPORT_NAME_LEN))
      errorThrowf("Error: name \"%s\" of \"%s\" has %zu bytes, MAX_EXPORT_NAME_LEN=%d allows %d (line %d of %s)",
                  tokens[t + 1].c_str(), LIST, tokens[t + 1].size(), MAX_EXPORT_NAME_LEN, MAX_EXPORT_NAME_LEN - 1,
                  MACRO_HERE);
    names.push_back(tokens[t + 1]);
  }

  // Both lists run in nearly the same order: the window closes in from both ends.
  std::vector<int> modelOf(n, -1);
  long lo = 0, hi = static_cast<long>(n) - 1;
  for (size_t i = 0; i < n; i++) {
    const std::string& name = m_set.model[i].str;
    long e = lo;
    while (e <= hi && names[static_cast<size_t>(e)] != name) ++e;
    if (e > hi)
      errorThrowf("Error: can not find model name \"%s\" in \"ModelNames.txt\" (line %d of %s)", name.c_str(),
                  MACRO_HERE);
    modelOf[static_cast<size_t>(e)] = static_cast<int>(i);
    if (e == lo) ++lo;
    if (e == hi) --hi;
  }
  for (size_t e = 0; e < n; e++)
    if (modelOf[e] < 0)
      errorThrowf("Error: no model for name \"%s\" of \"ModelNames.txt\" (line %d of %s)", names[e].c_str(),
                  MACRO_HERE);

  const int width = m_set.streamWidth[0];
  binaryImage image(path);
  auto putFirstStream = [&](const hmmStream& stream, float weightScale) {
    image.putFloat(static_cast<float>(stream.mixtureNum));
    for (int m = 0; m < stream.mixtureNum; m++) image.putFloat(weightScale * stream.mixture[m].mixtureWeight);
    for (int m = 0; m < stream.mixtureNum; m++) image.putFloat(logf(stream.mixture[m].mixtureWeight));
    for (int m = 0; m < stream.mixtureNum; m++) {
      for (int d = 0; d < width; d++) image.putFloat(stream.mixture[m].mean[d]);
      for (int d = 0; d < width; d++) image.putFloat(stream.mixture[m].variance[d]);
    }
  };
  image.putFloat(static_cast<float>(m_set.modelNum - 1));
  image.putFloat(static_cast<float>(width));
  putFirstStream(m_set.model[static_cast<size_t>(modelOf[0])].state[0].stream[0], 1e7f);
  for (size_t e = 1; e < n; e++) {
    const hmmModel& model = m_set.model[static_cast<size_t>(modelOf[e])];
    image.putFloat(static_cast<float>(model.stateNum - 2));
    for (int k = 0; k < model.stateNum - 2; k++) putFirstStream(model.state[k].stream[0], 1e5f);
  }
  image.save(path);
}

// ---- HTK parameter files ------------------------------------------------------------------

void macroClass::byteReverse(void* buffer, int n) {
  if (n <= 0) return;
  unsigned char* b = static_cast<unsigned char*>(buffer);
  std::reverse(b, b + n);
}

int32_t macroClass::htkHeaderField(const std::string& path, int field) {
  binaryImage image = binaryImage::fromFile(path);
  const int32_t sampleNum = image.getInt32();
  const int32_t samplePeriod = image.getInt32();
  const int32_t sizeAndKind = image.getInt32();
  const uint32_t u = static_cast<uint32_t>(sizeAndKind);
  switch (field) {
    case 0: return sampleNum;
    case 1: return samplePeriod;
    case 2: return static_cast<int32_t>(u & 0xffff);
    case 3: return static_cast<int32_t>(u >> 16);
    default: return -1;
  }
}

std::vector<float> macroClass::htkDataRead(const std::string& path, int frameNum, int bytesPerFrame) {
  if (frameNum < 0 || bytesPerFrame < 0)
    errorThrowf("Error: cannot read %d frames of %d bytes from %s (line %d of %s)", frameNum, bytesPerFrame,
                path.c_str(), MACRO_HERE);
  binaryImage image = binaryImage::fromFile(path);
  char header[12];
  image.getBytes(header, sizeof header);
  const int64_t count = static_cast<int64_t>(frameNum) * (bytesPerFrame / 4);
  image.need(count, 4, "floats");
  std::vector<float> data(static_cast<size_t>(count));
  for (float& v : data) v = image.getFloat();
  return data;
}

}  // namespace tulim
