// The lexicon: pronunciation dictionary (syllables or word pronunciations to model indices),
// word-to-phonetic-alphabet lexicons ("wpa" text, one-string form, "wpab" binary) with their
// addenda, the pinyin table and the unvoiced phone list. Filled by lexicon preparation; read
// by the text conversions, the net builder, the search and the scoring.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "stringUtil.h"

namespace tulim {

class macroClass;
class textClass;

// A "wpab" word holds fewer than MAX_WPA_WORD_LEN bytes, a PA alternative fewer than
// MAX_WPA_PA_LEN.
constexpr int MAX_WPA_WORD_LEN = 1000;
constexpr int MAX_WPA_PA_LEN = 100;

struct pronEntry {
  std::string syl;              // a syllable, or for English phones joined by '_'
  std::vector<int> modelIndex;  // into the sorted model array; negative: no model found
};

struct wpaEntry {
  std::string word;
  strVec pa;     // phonetic-alphabet alternatives
  strVec paTag;  // Chinese only: one tag per alternative
};

class dictClass {
 public:
  std::vector<pronEntry> m_pronDict;  // ascending byte order of syl
  std::vector<wpaEntry> m_wpa;        // ascending byte order of word
  std::vector<wpaEntry> m_wpaAddenda;
  strVec m_qiYinList;  // unvoiced phone base names
  strTable m_pinyinTable;

  dictClass();
  ~dictClass();

  // ---- Reading and building -------------------------------------------------------------

  void pronDictLoad(const std::string& fileName, const macroClass& mac);
  // Appends one entry per non-comment line, in file order (the file must be sorted).
  void pronDictRead(const std::string& fileName, const macroClass& mac);
  void pinyinTableRead(const std::string& fileName);

  // A "wpa" or "wpab" file when one of that name exists, else the one-string form.
  void wpaRead(const std::string& nameOrLexicon, const std::string& language);
  void wpaAddendaRead(const std::string& fileName, const std::string& language);
  void wpaTextRead(const std::string& fileName, const std::string& language, std::vector<wpaEntry>& out);
  // Appends the entries of "word pa#pa@word pa..." (English only).
  void wpaStringRead(const std::string& lexicon, const std::string& language, std::vector<wpaEntry>& out);
  void wpabRead(const std::string& fileName);
  // The "wpab" image of size bytes at buffer; fileName only names it in messages.
  void wpabReadFromBuffer(const char* buffer, size_t size, const std::string& fileName = "buffer");

  // Addenda replace the lexicon entries of their words or are added; the lexicon ends sorted.
  void wpaMerge();
  void wpaSort();

  // Rebuilds m_pronDict from the words of the texts through m_wpa (English).
  void pronDictCreate(const strVec& texts, const macroClass& mac);
  // The same for texts whose field 0 is already a '-'-joined list of pronunciations.
  void pronDictCreate2(const strVec& texts, const macroClass& mac);

  // ---- Look-ups ---------------------------------------------------------------------------

  int findSyllable(const std::string& syl) const;  // -1 when absent
  int wpaFind(const std::string& word) const;      // -1 when absent

  // ---- Writers and inspection -------------------------------------------------------------

  void pronDictWrite(const std::string& fileName, const macroClass& mac) const;
  void wpaForTexts(const std::string& fileName, const textClass& text, const std::string& language) const;
  void wpaWrite(const std::string& fileName) const;
  void wpabWrite(const std::string& fileName) const;
  void pronDictPrint(const macroClass& mac) const;
  void wpaPrint() const;
  void wpaAddendaPrint() const;
  // Shows the entries whose indices are typed on standard input, until an index out of
  // range or the end of input.
  void pronDictBrowse(const macroClass& mac) const;

  void pronDictSort(int lo, int hi);
  void pronDictSwap(int i, int j);

 private:
  void pronDictFromPa(strVec& pa, const macroClass& mac);
};

}  // namespace tulim
