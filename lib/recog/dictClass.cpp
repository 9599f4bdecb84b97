#include "dictClass.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>

#include "binaryImage.h"
#include "lexiconSearch.h"
#include "lineFile.h"
#include "macroClass.h"
#include "textClass.h"
#include "utility.h"

// Messages of this module name it "dict".
#define DICT_HERE __LINE__, "dict"

namespace tulim {

dictClass::dictClass() = default;

dictClass::~dictClass() {
  m_pinyinTable.clear();
  m_qiYinList.clear();
  m_wpaAddenda.clear();
  m_wpa.clear();
  m_pronDict.clear();
}

namespace {

const char* modelName(const macroClass& mac, int index) {
  if (index < 0 || index >= static_cast<int>(mac.MMF().model.size())) return "???";
  return mac.MMF().model[index].str.c_str();
}

bool wordLess(const wpaEntry& a, const wpaEntry& b) { return a.word < b.word; }

std::string paJoin(const wpaEntry& entry) { return stringJoin(entry.pa, "#"); }

// The two lines printed before a lexicon format error.
void formatDiagnostics(const std::string& line, size_t fieldCount, int sourceLine) {
  printf("line=%s (line=%d, file=dict)\n", line.c_str(), sourceLine);
  printf("token1.size()=%d (line=%d, file=dict)\n", static_cast<int>(fieldCount), sourceLine);
}

// A word without pronunciation, or with an empty one among its alternatives, would drop
// every text that holds it or give it a sequence with a syllable missing.
void pronunciationCheck(const wpaEntry& entry, const std::string& where) {
  bool empty = entry.pa.empty();
  for (const std::string& pa : entry.pa) empty = empty || pa.empty();
  if (empty)
    errorThrowf("Wrong format of %s: \"%s\" has an empty pronunciation (line %d in %s)", where.c_str(),
                entry.word.c_str(), DICT_HERE);
}

}  // namespace

// ---- Reading and building ---------------------------------------------------------------

void dictClass::pronDictLoad(const std::string& fileName, const macroClass& mac) { pronDictRead(fileName, mac); }

void dictClass::pronDictRead(const std::string& fileName, const macroClass& mac) {
  if (mac.MMF().modelNum <= 1)
    errorThrowf("Error in dictClass::pronDictRead when reading %s: Macro is too small (line %d in of %s)",
                fileName.c_str(), DICT_HERE);
  // fileExist also refuses a directory, which fopen would open without complaint.
  filePtr fp(fileExist(fileName.c_str()) ? fopen(fileName.c_str(), "r") : nullptr);
  if (!fp) errorThrowf("Unable to open %s (line %d in %s)", fileName.c_str(), DICT_HERE);
  std::string line;
  strVec names;
  int lineNo = 0;
  while (fileReadLine(fp.get(), line)) {
    ++lineNo;
    if (!line.empty() && line[0] == '%') continue;
    strTrimRight(line);
    if (line.empty()) continue;
    size_t blank = line.find(' ');
    pronEntry entry;
    entry.syl = line.substr(0, blank);
    names.clear();
    if (blank != std::string::npos) strSplit(line.substr(blank + 1), ' ', names);
    for (const std::string& name : names)
      if (!name.empty()) entry.modelIndex.push_back(mac.findModelIndex(name));
    // The search could never score a syllable made of nothing.
    if (entry.modelIndex.empty())
      errorThrowf(
          "Error in dictClass::pronDictRead when reading %s: syllable \"%s\" at line %d has no models "
          "(line %d in %s)",
          fileName.c_str(), entry.syl.c_str(), lineNo, DICT_HERE);
    // The look-ups are binary searches, and a net may name entries by their index, so the
    // file's order must already be the sorted one.
    if (!m_pronDict.empty() && !(m_pronDict.back().syl < entry.syl))
      errorThrowf(
          "Error in dictClass::pronDictRead when reading %s: syllable \"%s\" at line %d does not come after "
          "\"%s\"; the entries must be in ascending byte order without repeats (line %d in %s)",
          fileName.c_str(), entry.syl.c_str(), lineNo, m_pronDict.back().syl.c_str(), DICT_HERE);
    m_pronDict.push_back(entry);
  }
}

void dictClass::pinyinTableRead(const std::string& fileName) { m_pinyinTable = file2strTable(fileName); }

void dictClass::wpaRead(const std::string& nameOrLexicon, const std::string& language) {
  if (fileExist(nameOrLexicon.c_str())) {
    std::string ext = getFileExt(nameOrLexicon);
    if (ext == "wpab" || ext == "WPAB") {
      wpabRead(nameOrLexicon);
    } else if (ext == "wpa" || ext == "WPA") {
      wpaTextRead(nameOrLexicon, language, m_wpa);
    } else {
      errorThrowf("Error in reading \"%s\": The only allowed extension are \"wpa\" and \"wpab\" (line %d of %s) \n",
                  nameOrLexicon.c_str(), DICT_HERE);
    }
  } else {
    printf("Read WPA from the given string (line %d in %s)...\n", DICT_HERE);
    wpaStringRead(nameOrLexicon, language, m_wpa);
  }
  // The word look-ups are binary searches; the order of a lexicon's lines means nothing else.
  wpaSort();
}

void dictClass::wpaAddendaRead(const std::string& fileName, const std::string& language) {
  wpaTextRead(fileName, language, m_wpaAddenda);
}

void dictClass::wpaTextRead(const std::string& fileName, const std::string& language, std::vector<wpaEntry>& out) {
  out.clear();
  if (fileName.empty()) return;
  filePtr fp = openFilePtr(fileName, "r");
  bool english = language == "english";
  if (!english && language != "chinese") return;
  size_t fieldNum = english ? 2 : 5;
  std::string line;
  strVec fields, rows;
  int lineNo = 0;
  while (fileReadLine(fp.get(), line)) {
    ++lineNo;
    if (line.empty() || line[0] == '%') continue;
    strSplit(line, '\t', fields);
    if (fields.size() != fieldNum) {
      formatDiagnostics(line, fields.size(), __LINE__);
      errorThrowf("Wrong format of %s (line %d in %s)", fileName.c_str(), DICT_HERE);
    }
    wpaEntry entry;
    entry.word = fields[0];
    const std::string where = strFormat("%s, line %d", fileName.c_str(), lineNo);
    if (english) {
      strSplit(fields[1], '#', entry.pa);
      pronunciationCheck(entry, where);
      out.push_back(entry);
      continue;
    }
    strSplit(fields[1], ',', rows);
    for (const std::string& item : rows) {
      int n = strToInt(item.c_str());
      if (n < 1 || n > static_cast<int>(m_pinyinTable.size()))
        errorThrowf("Wrong format of %s: pinyin table row %d at line %d is outside 1..%d (line %d in %s)",
                    fileName.c_str(), n, lineNo, static_cast<int>(m_pinyinTable.size()), DICT_HERE);
      const strVec& row = m_pinyinTable[n - 1];
      if (row.size() < 4)
        errorThrowf(
            "Wrong format of %s: pinyin table row %d named at line %d has %d cells, fewer than 4 "
            "(line %d in %s)",
            fileName.c_str(), n, lineNo, static_cast<int>(row.size()), DICT_HERE);
      entry.pa.push_back(row[3]);
    }
    strSplit(fields[3], ',', entry.paTag);
    if (entry.paTag.size() < entry.pa.size()) {
      printf("Warning: %s line %d has %d tags for %d alternatives; the missing tags are empty\n", fileName.c_str(),
             lineNo, static_cast<int>(entry.paTag.size()), static_cast<int>(entry.pa.size()));
      entry.paTag.resize(entry.pa.size());
    }
    pronunciationCheck(entry, where);
    out.push_back(entry);
  }
}

void dictClass::wpaStringRead(const std::string& lexicon, const std::string& language, std::vector<wpaEntry>& out) {
  if (lexicon.empty()) return;
  if (language != "english") errorThrowf("Unsupported language %s (line %d in %s)", language.c_str(), DICT_HERE);
  strVec pieces, fields;
  strSplit(lexicon, '@', pieces);
  for (const std::string& piece : pieces) {
    if (piece.empty() || piece[0] == '%') continue;
    strSplit(piece, ' ', fields);
    if (fields.size() != 2) {
      formatDiagnostics(piece, fields.size(), __LINE__);
      errorThrowf("Wrong format of %s (line %d in %s)", piece.c_str(), DICT_HERE);
    }
    wpaEntry entry;
    entry.word = fields[0];
    strSplit(fields[1], '#', entry.pa);
    pronunciationCheck(entry, piece);
    out.push_back(entry);
  }
}

namespace {

// A length-prefixed string of fewer than limit bytes.
std::string wpabString(binaryImage& in, const char* what, int limit, const char* limitName) {
  int32_t len = in.getInt32();
  if (len < 0 || len >= limit)
    errorThrowf("Error in reading \"%s\": %s length %d is outside [0, %s = %d) (line %d in %s)", in.name().c_str(),
                what, len, limitName, limit, DICT_HERE);
  in.need(1, len, what);
  std::string s(static_cast<size_t>(len), '\0');
  in.getBytes(&s[0], s.size());
  return s;
}

// A count of items that take at least itemBytes each.
int32_t wpabCount(binaryImage& in, const char* what, int64_t itemBytes) {
  int32_t n = in.getInt32();
  if (n < 0 || n > static_cast<int64_t>(in.bytesLeft()) / itemBytes)
    errorThrowf("Error in reading \"%s\": %s %d does not fit in the %zu bytes left (line %d in %s)", in.name().c_str(),
                what, n, in.bytesLeft(), DICT_HERE);
  return n;
}

void wpabParse(binaryImage& in, std::vector<wpaEntry>& out) {
  // Every entry holds at least its word length and its alternative count.
  int32_t count = wpabCount(in, "entry count", 8);
  for (int32_t i = 0; i < count; ++i) {
    wpaEntry entry;
    entry.word = wpabString(in, "word", MAX_WPA_WORD_LEN, "MAX_WPA_WORD_LEN");
    int32_t paNum = wpabCount(in, "PA count", 4);
    for (int32_t j = 0; j < paNum; ++j) entry.pa.push_back(wpabString(in, "PA", MAX_WPA_PA_LEN, "MAX_WPA_PA_LEN"));
    pronunciationCheck(entry, strFormat("%s, entry %d", in.name().c_str(), static_cast<int>(i)));
    out.push_back(entry);
  }
  in.expectEnd();
}

}  // namespace

void dictClass::wpabRead(const std::string& fileName) {
  m_wpa.clear();
  binaryImage in = binaryImage::fromFile(fileName);
  wpabParse(in, m_wpa);
}

void dictClass::wpabReadFromBuffer(const char* buffer, size_t size, const std::string& fileName) {
  m_wpa.clear();
  binaryImage in(fileName, buffer, size);
  wpabParse(in, m_wpa);
}

void dictClass::wpaMerge() {
  // The binary search needs a sorted lexicon; appended words are found through their own
  // index, so a later addendum for the same word replaces the appended entry.
  wpaSort();
  const int sortedNum = static_cast<int>(m_wpa.size());
  std::map<std::string, size_t> appended;
  for (const wpaEntry& add : m_wpaAddenda) {
    int found = -1;
    int lo = 0;
    int hi = sortedNum - 1;
    while (lo <= hi) {
      int mid = lo + (hi - lo) / 2;
      int c = add.word.compare(m_wpa[mid].word);
      if (c == 0) {
        found = mid;
        break;
      }
      if (c > 0)
        lo = mid + 1;
      else
        hi = mid - 1;
    }
    if (found < 0) {
      auto it = appended.find(add.word);
      if (it != appended.end()) found = static_cast<int>(it->second);
    }
    if (found < 0) {
      appended[add.word] = m_wpa.size();
      m_wpa.push_back(add);
      continue;
    }
    wpaEntry& old = m_wpa[found];
    printf("\tOld entry: word=%s, pa=%s\n", old.word.c_str(), paJoin(old).c_str());
    printf("\tNew entry: word=%s, pa=%s\n", add.word.c_str(), paJoin(add).c_str());
    old = add;
  }
  m_wpaAddenda.clear();
  // Equal to a stable sort of the whole lexicon: the sorted part stays ahead on ties.
  auto tail = m_wpa.begin() + sortedNum;
  std::stable_sort(tail, m_wpa.end(), wordLess);
  std::inplace_merge(m_wpa.begin(), tail, m_wpa.end(), wordLess);
}

void dictClass::wpaSort() {
  if (!std::is_sorted(m_wpa.begin(), m_wpa.end(), wordLess)) std::stable_sort(m_wpa.begin(), m_wpa.end(), wordLess);
}

void dictClass::pronDictFromPa(strVec& pa, const macroClass& mac) {
  pa.push_back("sil");
  pa.push_back("sp");
  std::sort(pa.begin(), pa.end());
  pa.erase(std::unique(pa.begin(), pa.end()), pa.end());
  strVec phones;
  for (const std::string& p : pa) {
    pronEntry entry;
    entry.syl = p;
    strSplit(p, '_', phones);
    for (size_t j = 0; j < phones.size(); ++j) {
      const std::string& phone = phones[j];
      std::string name;
      if (phone == "sil" || phone == "sp")
        name = phone;
      else if (j + 1 < phones.size())
        name = phone + "+" + phones[j + 1];
      else
        name = phone + "+sil";
      entry.modelIndex.push_back(mac.findModelIndex(name));
    }
    m_pronDict.push_back(entry);
  }
}

void dictClass::pronDictCreate(const strVec& texts, const macroClass& mac) {
  m_pronDict.clear();
  strVec pa;
  for (const std::string& text : texts) textClass::pronCheck(text.substr(0, text.find('\t')), m_wpa, pa);
  pronDictFromPa(pa, mac);
}

void dictClass::pronDictCreate2(const strVec& texts, const macroClass& mac) {
  m_pronDict.clear();
  strVec pa, fields;
  for (const std::string& text : texts) {
    strSplit(text, '\t', fields);
    if (!fields.empty()) strSplit(fields[0], '-', pa, true);
  }
  pronDictFromPa(pa, mac);
}

// ---- Look-ups ---------------------------------------------------------------------------

int dictClass::findSyllable(const std::string& syl) const {
  return lexiconFind(m_pronDict, &pronEntry::syl, syl);
}

int dictClass::wpaFind(const std::string& word) const { return textClass::sylTableFind(word, m_wpa); }

// ---- Writers and inspection -------------------------------------------------------------

void dictClass::pronDictWrite(const std::string& fileName, const macroClass& mac) const {
  filePtr fp = openFilePtr(fileName, "w");
  for (const pronEntry& entry : m_pronDict) {
    fprintf(fp.get(), "%s\t", entry.syl.c_str());
    for (size_t j = 0; j < entry.modelIndex.size(); ++j)
      fprintf(fp.get(), "%s%s", j == 0 ? "" : " ", modelName(mac, entry.modelIndex[j]));
    fprintf(fp.get(), "\n");
  }
  closeWrittenFile(fp, fileName);
}

void dictClass::wpaForTexts(const std::string& fileName, const textClass& text, const std::string& language) const {
  strVec units;
  for (const std::string& t : text.m_txtVsNormalized) textClass::txt2units(t, language, units);
  std::sort(units.begin(), units.end());
  units.erase(std::unique(units.begin(), units.end()), units.end());
  std::vector<int> found;
  for (const std::string& unit : units) {
    int k = wpaFind(unit);
    if (k >= 0)
      found.push_back(k);
    else
      printf("Warning: Found no PA for \"%s\" in %s! (line %d in %s)\n", unit.c_str(), fileName.c_str(), DICT_HERE);
  }
  std::sort(found.begin(), found.end());
  filePtr fp = openFilePtr(fileName, "w");
  for (int k : found) fprintf(fp.get(), "%s\t%s\n", m_wpa[k].word.c_str(), paJoin(m_wpa[k]).c_str());
  closeWrittenFile(fp, fileName);
}

void dictClass::wpaWrite(const std::string& fileName) const {
  filePtr fp = openFilePtr(fileName, "w");
  for (const wpaEntry& entry : m_wpa) fprintf(fp.get(), "%s\t%s\n", entry.word.c_str(), paJoin(entry).c_str());
  closeWrittenFile(fp, fileName);
}

void dictClass::wpabWrite(const std::string& fileName) const {
  // Refused before the file is made: a word or alternative the reader would reject.
  for (const wpaEntry& entry : m_wpa) {
    if (entry.word.size() >= static_cast<size_t>(MAX_WPA_WORD_LEN))
      errorThrowf("Error in writing \"%s\": word length %zu is not below MAX_WPA_WORD_LEN = %d (line %d in %s)",
                  fileName.c_str(), entry.word.size(), MAX_WPA_WORD_LEN, DICT_HERE);
    for (const std::string& pa : entry.pa)
      if (pa.size() >= static_cast<size_t>(MAX_WPA_PA_LEN))
        errorThrowf("Error in writing \"%s\": PA length %zu of \"%s\" is not below MAX_WPA_PA_LEN = %d (line %d in %s)",
                    fileName.c_str(), pa.size(), entry.word.c_str(), MAX_WPA_PA_LEN, DICT_HERE);
    pronunciationCheck(entry, fileName);
  }
  binaryImage out(fileName);
  out.putInt32(static_cast<int32_t>(m_wpa.size()));
  for (const wpaEntry& entry : m_wpa) {
    out.putInt32(static_cast<int32_t>(entry.word.size()));
    out.putBytes(entry.word.data(), entry.word.size());
    out.putInt32(static_cast<int32_t>(entry.pa.size()));
    for (const std::string& pa : entry.pa) {
      out.putInt32(static_cast<int32_t>(pa.size()));
      out.putBytes(pa.data(), pa.size());
    }
  }
  out.save(fileName);
}

void dictClass::pronDictPrint(const macroClass& mac) const {
  for (size_t i = 0; i < m_pronDict.size(); ++i) {
    const pronEntry& entry = m_pronDict[i];
    printf("m_pronDict[%d] = %s: ", static_cast<int>(i), entry.syl.c_str());
    for (size_t j = 0; j < entry.modelIndex.size(); ++j)
      printf("%s%s[%d]", j == 0 ? "" : " ", modelName(mac, entry.modelIndex[j]), entry.modelIndex[j]);
    printf("\n");
  }
}

namespace {
void wpaEntriesPrint(const std::vector<wpaEntry>& entries) {
  for (size_t i = 0; i < entries.size(); ++i)
    printf("%d: %s\t%s\t%s\n", static_cast<int>(i), entries[i].word.c_str(), paJoin(entries[i]).c_str(),
           stringJoin(entries[i].paTag, "#").c_str());
}
}  // namespace

void dictClass::wpaPrint() const { wpaEntriesPrint(m_wpa); }

void dictClass::wpaAddendaPrint() const { wpaEntriesPrint(m_wpaAddenda); }

void dictClass::pronDictBrowse(const macroClass& mac) const {
  const int last = static_cast<int>(m_pronDict.size()) - 1;
  printf("m_pronDict.size() = %d\n", last + 1);
  std::string line;
  while (true) {
    printf("Please input a syllable index within [0 %d]: ", last);
    fflush(stdout);
    if (!fileReadLine(stdin, line)) {
      printf("\n");
      return;
    }
    int index = strToInt(line.c_str());
    if (index < 0 || index > last) {
      printf("Index out of bound! Exiting...\n");
      return;
    }
    const pronEntry& entry = m_pronDict[index];
    printf("\tSyllable index = %d\n", index);
    printf("\tSyllable string = %s\n", entry.syl.c_str());
    printf("\tModel number = %d\n", static_cast<int>(entry.modelIndex.size()));
    printf("\tModel index = ");
    for (int m : entry.modelIndex) {
      if (m < 0)
        printf("%d (?) ", m);
      else
        printf("%d:%s ", m, modelName(mac, m));
    }
    printf("\n");
  }
}

void dictClass::pronDictSort(int lo, int hi) {
  // Recursing into the smaller side only keeps the depth logarithmic on sorted input.
  while (lo < hi) {
    const std::string pivot = m_pronDict[lo].syl;
    int i = lo;
    int j = hi + 1;
    while (true) {
      while (m_pronDict[++i].syl < pivot)
        if (i == hi) break;
      while (pivot < m_pronDict[--j].syl)
        if (j == lo) break;
      if (i >= j) break;
      pronDictSwap(i, j);
    }
    pronDictSwap(lo, j);
    if (j - lo < hi - j) {
      pronDictSort(lo, j - 1);
      lo = j + 1;
    } else {
      pronDictSort(j + 1, hi);
      hi = j - 1;
    }
  }
}

void dictClass::pronDictSwap(int i, int j) { std::swap(m_pronDict[i], m_pronDict[j]); }

}  // namespace tulim
