#include "textClass.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "lexiconSearch.h"
#include "lineFile.h"
#include "utility.h"

// Messages of this module name it "text".
#define TEXT_HERE __LINE__, "text"

namespace tulim {

textClass::textClass() = default;
textClass::~textClass() = default;

// ---- Texts ------------------------------------------------------------------------------

void textClass::txtRead(const std::string& name) {
  m_txtSource = name;
  if (fileExist(name.c_str())) {
    file2strVec(name, m_txtVs, 0);
  } else {
    if (name.empty())
      errorThrowf(
          "Error: The given recognizable texts (represented as a string delimited by #) has a length of zero. "
          "(line %d of %s)",
          TEXT_HERE);
    strSplit(name, '#', m_txtVs);
  }
  if (m_txtVs.empty())
    errorThrowf("Error: m_txtVs.size()=0 when reading \"%s\". (line %d of %s)", name.c_str(), TEXT_HERE);
}

void textClass::txtVsSet(const strVec& texts) {
  m_txtVs = texts;
  m_txtSource.clear();
}

std::string textClass::txtSourceName() const {
  return m_txtSource.empty() ? std::string("the given texts") : "\"" + m_txtSource + "\"";
}

void textClass::sylVsSet(const strVec& syls) { m_sylVs = syls; }

void textClass::sylVsRead(const std::string& fileName) {
  std::vector<int> lineNumbers;
  file2strVec(fileName, m_sylVs, 0, lineNumbers);
  // The index names the text that a matching path identifies; a line without one could
  // never be found, and a misread one would name another text.
  strVec fields;
  for (size_t k = 0; k < m_sylVs.size(); ++k) {
    strSplit(m_sylVs[k], '\t', fields);
    int index = -1;
    if (fields.size() != 2 || !strToIntExact(fields[1], index) || index < 0)
      errorThrowf("Error: line %d of %s is not a syllable sequence, a TAB and a text index from 0: \"%s\" "
                  "(line %d of %s)",
                  lineNumbers[k], fileName.c_str(), m_sylVs[k].c_str(), TEXT_HERE);
  }
}

namespace {
std::string cutAtTab(const std::string& s) { return s.substr(0, s.find('\t')); }
}  // namespace

void textClass::txtNormalize(const std::string& language) {
  m_txtVsNormalized.clear();
  for (const std::string& entry : m_txtVs) {
    std::string text = cutAtTab(entry);
    txtMapApply(text, language);
    m_txtVsNormalized.push_back(text);
  }
}

void textClass::txtMapRead(const std::string& fileName, char delimiter, std::vector<txtMapEntry>& map) {
  map.clear();
  if (fileName.empty()) return;
  strVec lines;
  std::vector<int> lineNumbers;
  file2strVec(fileName, lines, '%', lineNumbers);
  strVec fields;
  for (size_t k = 0; k < lines.size(); ++k) {
    strSplit(lines[k], delimiter, fields);
    if (fields.size() < 3)
      errorThrowf("Error: Parsing error in \"%s\". (line %d of file %s)", fileName.c_str(), TEXT_HERE);
    map.push_back({fields[0], fields[1], fields[2], fileName, lineNumbers[k]});
  }
}

void textClass::txtMapPrint(const std::vector<txtMapEntry>& map) const {
  for (size_t i = 0; i < map.size(); ++i)
    printf("%d/%d: source=%s, target=%s, mode=%s\n", static_cast<int>(i), static_cast<int>(map.size()),
           map[i].source.c_str(), map[i].target.c_str(), map[i].mode.c_str());
}

namespace {

// Rules that lengthen the text compound (each e -> ee doubles it), so the length a rule
// would give is refused before the replacement is made.
void lengtheningCheck(const std::string& text, const txtMapEntry& rule) {
  const std::string& from = rule.source;
  if (from.empty() || rule.target.size() <= from.size()) return;
  const unsigned long long growth = rule.target.size() - from.size();
  const unsigned long long room = MAX_NORMALIZED_TEXT_LEN > static_cast<long long>(text.size())
                                      ? static_cast<unsigned long long>(MAX_NORMALIZED_TEXT_LEN) - text.size()
                                      : 0;
  unsigned long long matches = 0;
  for (size_t p = text.find(from); p != std::string::npos; p = text.find(from, p + from.size())) ++matches;
  if (matches == 0 || matches <= room / growth) return;
  const std::string where = rule.file.empty() ? std::string("the normalisation map")
                                              : strFormat("line %d of %s", rule.line, rule.file.c_str());
  errorThrowf("Error: the normalisation rule \"%s\" -> \"%s\" (%s) would make a text longer than "
              "MAX_NORMALIZED_TEXT_LEN = %lld bytes (line %d of file %s)",
              from.c_str(), rule.target.c_str(), where.c_str(), MAX_NORMALIZED_TEXT_LEN, TEXT_HERE);
}

}  // namespace

void textClass::txtMapApply(std::string& text, const std::string& language) const {
  if (language == "english") strToLower(text);
  for (const txtMapEntry& entry : m_textNormSp) {
    if (entry.mode.empty()) continue;
    switch (entry.mode[0]) {
      case '$':
        if (entry.source.empty()) break;
        while (!text.empty() && text.back() == entry.source[0]) text.pop_back();
        break;
      case '^': {
        if (entry.source.empty()) break;
        size_t n = 0;
        while (n < text.size() && text[n] == entry.source[0]) ++n;
        text.erase(0, n);
        break;
      }
      case 'g':
        lengtheningCheck(text, entry);
        strReplaceAll(text, entry.source, entry.target);
        break;
      default:
        break;
    }
  }
}

void textClass::txt2units(const std::string& text, const std::string& language, strVec& units) {
  // Characters are paired within each blank-separated text: an assessment joins its texts
  // with a blank, which no two-byte character holds.
  if (language == "chinese")
    for (size_t begin = 0; begin < text.size();) {
      size_t end = text.find(' ', begin);
      if (end == std::string::npos) end = text.size();
      for (size_t i = begin; i + 1 < end; i += 2) units.push_back(text.substr(i, 2));
      begin = end + 1;
    }
  if (language == "japanese")
    for (size_t i = 0; i < text.size(); ++i) units.push_back("X");
  if (language == "english") strSplit(text, ' ', units, true);
}

// ---- Texts to syllable sequences --------------------------------------------------------

namespace {

// The listing grows as the product of the numbers of alternatives, so it is refused before
// it is made rather than left to exhaust memory. Returns the number of sequences.
long long combinationCheck(const strTable& alternatives, const std::string& text) {
  long long product = 1;
  for (const strVec& alt : alternatives) {
    product *= static_cast<long long>(alt.size());
    if (product > MAX_SYL_COMB_NUM)
      errorThrowf("Error: The text \"%s\" has more than MAX_SYL_COMB_NUM = %lld syllable sequences (line %d of %s)",
                  text.c_str(), MAX_SYL_COMB_NUM, TEXT_HERE);
    if (product == 0) return 0;
  }
  return product;
}

// The sequences and syllables of all texts so far; each text's share is counted before its
// listing is made.
class listingTotal {
 public:
  explicit listingTotal(std::string source) : m_source(std::move(source)) {}
  void add(const strTable& alternatives, const std::string& text) {
    const long long product = combinationCheck(alternatives, text);
    m_sequences += product;
    if (m_sequences > MAX_SYL_SEQ_NUM)
      errorThrowf("Error: the texts of %s expand to more than MAX_SYL_SEQ_NUM = %lld syllable sequences in all "
                  "(line %d of %s)",
                  m_source.c_str(), MAX_SYL_SEQ_NUM, TEXT_HERE);
    m_syllables += product * static_cast<long long>(alternatives.size());
    if (m_syllables > MAX_SYL_SEQ_SYL_NUM)
      errorThrowf("Error: the texts of %s expand to more than MAX_SYL_SEQ_SYL_NUM = %lld syllables in all their "
                  "sequences (line %d of %s)",
                  m_source.c_str(), MAX_SYL_SEQ_SYL_NUM, TEXT_HERE);
  }

 private:
  std::string m_source;
  long long m_sequences = 0;
  long long m_syllables = 0;
};

}  // namespace

void textClass::txt2paChinese(const std::vector<wpaEntry>& wpa) {
  m_sylVs.clear();
  m_sylTagVs.clear();
  listingTotal total(txtSourceName());
  strTable paLists, tagLists;
  strVec paComb, tagComb;
  for (size_t i = 0; i < m_txtVsNormalized.size(); ++i) {
    paListsChinese(m_txtVsNormalized[i], wpa, paLists, tagLists);
    total.add(paLists, m_txtVsNormalized[i]);
    strVecCombine(paLists, paComb);
    strVecCombine(tagLists, tagComb);
    for (size_t j = 0; j < paComb.size(); ++j) {
      m_sylVs.push_back(paComb[j] + strFormat("\t%d", static_cast<int>(i)));
      m_sylTagVs.push_back(tagComb[j]);
    }
  }
}

void textClass::txt2paEnglish(const std::vector<wpaEntry>& wpa) {
  if (wpa.empty()) errorThrowf("Error: wpa.size()==0 at line %d of file %s!", TEXT_HERE);
  m_sylVs.clear();
  listingTotal total(txtSourceName());
  strTable lists;
  strVec comb;
  for (size_t i = 0; i < m_txtVsNormalized.size(); ++i) {
    paListsEnglish(m_txtVsNormalized[i], wpa, lists);
    total.add(lists, m_txtVsNormalized[i]);
    strVecCombine(lists, comb);
    for (const std::string& c : comb) m_sylVs.push_back(c + strFormat("\t%d", static_cast<int>(i)));
  }
}

void textClass::paListsChinese(const std::string& text, const std::vector<wpaEntry>& wpa, strTable& paLists,
                               strTable& tagLists) {
  paLists.clear();
  tagLists.clear();
  strVec units;
  txt2units(text, "chinese", units);
  strVec pa, tags;
  for (const std::string& unit : units) {
    unitPaLookup(unit, wpa, pa, tags);
    // A character without entry (already warned about) drops out of its text's sequences
    // instead of leaving a position with nothing to choose from.
    if (pa.empty()) continue;
    paLists.push_back(pa);
    tagLists.push_back(tags);
  }
}

void textClass::txt2paCombChinese(const std::string& text, const std::vector<wpaEntry>& wpa, strVec& paComb,
                                  strVec& tagComb) {
  strTable paLists, tagLists;
  paListsChinese(text, wpa, paLists, tagLists);
  combinationCheck(paLists, text);
  strVecCombine(paLists, paComb);
  strVecCombine(tagLists, tagComb);
}

void textClass::paListsEnglish(const std::string& text, const std::vector<wpaEntry>& wpa, strTable& lists) {
  lists.clear();
  strVec words;
  strSplit(text, ' ', words);
  for (const std::string& word : words) {
    int k = sylTableFind(word, wpa);
    if (k < 0)
      errorThrowf(
          "Error: Found no pronunciation entry for \"%s\". Please add the pronunciation to wpaAddendaFile. "
          "(line %d of file %s)",
          word.c_str(), TEXT_HERE);
    lists.push_back(wpa[k].pa);
  }
}

void textClass::txt2paCombEnglish(const std::string& text, const std::vector<wpaEntry>& wpa, strVec& comb) {
  strTable lists;
  paListsEnglish(text, wpa, lists);
  combinationCheck(lists, text);
  strVecCombine(lists, comb);
}

void textClass::unitPaLookup(const std::string& unit, const std::vector<wpaEntry>& wpa, strVec& pa, strVec& tags) {
  pa.clear();
  tags.clear();
  int k = sylTableFind(unit, wpa);
  if (k < 0) {
    printf("Warning: Found no syllable for \"%s\"!\n", unit.c_str());
    return;
  }
  const wpaEntry& entry = wpa[k];
  pa = entry.pa;
  std::vector<int> first;
  uniqueIndexGet(pa, first);
  // Entries read from "wpab" carry no tags: their tags are empty.
  for (int index : first)
    tags.push_back(index < static_cast<int>(entry.paTag.size()) ? entry.paTag[index] : std::string());
}

int textClass::sylTableFind(const std::string& key, const std::vector<wpaEntry>& wpa) {
  return lexiconFind(wpa, &wpaEntry::word, key);
}

void textClass::pronCheck(const std::string& text, const std::vector<wpaEntry>& wpa, strVec& pa) {
  strVec words, missing;
  strSplit(text, ' ', words);
  for (const std::string& word : words) {
    int k = sylTableFind(word, wpa);
    if (k < 0) {
      printf("Error: Found no pronunciation entry for \"%s\". (line %d of file %s)\n", word.c_str(), TEXT_HERE);
      missing.push_back(word);
      continue;
    }
    pa.insert(pa.end(), wpa[k].pa.begin(), wpa[k].pa.end());
  }
  if (missing.empty()) return;
  std::sort(missing.begin(), missing.end());
  missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
  strVec2file("missingWord.txt", missing);
  errorThrowf(
      "Error: %d words (recorded at \"missingWord.txt\") cannot be found in the pronunciation dictionary! "
      "Please add the pronunciation to wpaAddendaFile. (line %d of file %s)",
      static_cast<int>(missing.size()), TEXT_HERE);
}

void textClass::sylGapAdd(const std::string& gap) {
  printf("\tAdding %s between syllables...\n", gap.c_str());
  for (std::string& line : m_sylVs) strReplaceAll(line, "-", gap);
}

// ---- Japanese ---------------------------------------------------------------------------

void textClass::japaneseSylSave(const recogParam& param) {
  if (param.language != "japanese") return;
  for (std::string& line : m_sylVs) japaneseSylRules(line);
  if (param.outputDir.empty()) return;
  std::string path = param.outputDir + "/output.syl";
  strVec2file(path, m_sylVs);
  printf("\t===> Saved %s for Japanese!\n", path.c_str());
}

void textClass::japaneseSylRules(std::string& line) {
  static const char* const rules[][2] = {
      {"_n-", "-n-"},  {"-tsu(ts)", "-tsu"}, {"-su(s)", "-su"},    {"-ts_", "-tsu-"},  {"e_i-", "e-"},
      {"o_u-", "o-"},  {"a_a-", "a-"},       {"i_i-", "i-"},       {"u_u-", "u-"},     {"e_e_e-", "e-"},
      {"e_e-", "e-"},  {"o_o-", "o-"},       {"yu_yu-", "yu-"},    {"u_i-", "u-"},     {"a_u-", "a-"},
      {"-s_u", "-su"}, {"-ts_u", "-tsu"},    {"-#-#-#-", "-sil-"}, {"-#-#-", "-sil-"}, {"-#-", "-sil-"},
  };
  strVec fields;
  strSplit(line, '\t', fields);
  bool indexed = fields.size() == 2;
  std::string seq = indexed ? fields[0] : line;
  strToLower(seq);
  if (seq.size() >= 4 && seq.compare(0, 4, "sil-") == 0) seq.erase(0, 4);
  if (seq.size() >= 4 && seq.compare(seq.size() - 4, 4, "-sil") == 0) seq.erase(seq.size() - 4);
  seq = "-" + seq + "-";
  for (const auto& rule : rules) strReplaceAll(seq, rule[0], rule[1]);
  seq = seq.substr(1, seq.size() - 2);
  line = indexed ? seq + "\t" + fields[1] : seq;
}

// ---- Look-up and spelling conversion ----------------------------------------------------

void textClass::searchSylVs(const std::string& path, int mode, std::vector<int>& textIndex,
                            std::vector<int>& lineIndex) const {
  if (mode < 0 || mode > 2) errorThrow("Unknown mode in searchSylVs()!");
  strVec fields;
  for (size_t k = 0; k < m_sylVs.size(); ++k) {
    strSplit(m_sylVs[k], '\t', fields);
    // A line without its text index cannot name a text.
    if (fields.size() < 2) continue;
    std::string candidate = "-" + fields[0] + "-";
    bool match = mode == 0   ? candidate == path
                 : mode == 1 ? candidate.compare(0, path.size(), path) == 0
                             : candidate.find(path) != std::string::npos;
    if (!match) continue;
    textIndex.push_back(strToInt(fields[1].c_str()));
    lineIndex.push_back(static_cast<int>(k));
  }
}

bool textClass::nonSpeechUnit(const std::string& name) {
  return name == "sp" || name == "sil" || name == "filler" || name == "fillerC" || name == "fillerV";
}

strVec textClass::speechUnits(const std::string& path) {
  strVec pieces, out;
  strSplit(path, '-', pieces);
  for (const std::string& piece : pieces)
    if (!piece.empty() && !nonSpeechUnit(piece)) out.push_back(piece);
  return out;
}

std::string textClass::pinyinTableLookup(const std::string& key, const strTable& table, int keyColumn,
                                         int valueColumn) {
  if (keyColumn >= 0 && valueColumn >= 0) {
    size_t needed = static_cast<size_t>(std::max(keyColumn, valueColumn)) + 1;
    // A row too short for either column cannot hold the spelling.
    for (const strVec& row : table)
      if (row.size() >= needed && row[keyColumn] == key) return row[valueColumn];
  }
  if (!nonSpeechUnit(key))
    printf("Warning: Cannot find %s in the pinyinTable!\n", key.c_str());
  return key;
}

std::string textClass::sylStrConvert(const std::string& sylStr, const strTable& table, int keyColumn, int valueColumn) {
  strVec pieces;
  strSplit(sylStr, '-', pieces);
  for (std::string& piece : pieces) piece = pinyinTableLookup(piece, table, keyColumn, valueColumn);
  return stringJoin(pieces, "-");
}

namespace {

std::string rowNumStrToColumn(const std::string& rowNumStr, const strTable& table, size_t column) {
  strVec pieces;
  strSplit(rowNumStr, '-', pieces);
  for (std::string& piece : pieces) {
    int n = strToInt(piece.c_str());
    if (n < 1 || n > static_cast<int>(table.size()))
      errorThrowf("Error: Row %d is outside the pinyin table of %d rows (line %d of %s)", n,
                  static_cast<int>(table.size()), TEXT_HERE);
    const strVec& row = table[n - 1];
    if (row.size() <= column)
      errorThrowf("Error: Row %d of the pinyin table has %d cells, no cell %d (line %d of %s)", n,
                  static_cast<int>(row.size()), static_cast<int>(column), TEXT_HERE);
    piece = row[column];
  }
  return stringJoin(pieces, "-");
}

}  // namespace

std::string textClass::rowNumStrToColumn3(const std::string& rowNumStr, const strTable& table) {
  return rowNumStrToColumn(rowNumStr, table, 3);
}

std::string textClass::rowNumStrToColumn1(const std::string& rowNumStr, const strTable& table) {
  return rowNumStrToColumn(rowNumStr, table, 1);
}

}  // namespace tulim
