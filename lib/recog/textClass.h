// The recognisable texts of one utterance and their derived forms: the texts as read, the
// normalisation map and the normalised texts, the syllable sequences (every combination of
// the lexicon's alternatives) with their text indices, and the pinyin-table conversions.
// Filled by lexicon and net preparation; read by the net builders and the best-path mapping.
#pragma once

#include <string>
#include <vector>

#include "arenaCandidate.h"
#include "dictClass.h"
#include "recogParam.h"
#include "stringUtil.h"

namespace tulim {

// The most syllable sequences one text may expand to (the product of the numbers of
// alternatives of its words or characters).
constexpr long long MAX_SYL_COMB_NUM = 100000;
// The most syllable sequences all texts together may expand to, and the most syllables in
// all of them: the tree net gets a node for every syllable that no neighbour shares.
constexpr long long MAX_SYL_SEQ_NUM = 100000;
constexpr long long MAX_SYL_SEQ_SYL_NUM = 4000000;
// The most nodes of a tree net built from one utterance's texts. Building and reading a net
// costs about 400 bytes and 1.3 us a node before the search starts, and a search keeps at most
// maxCandidateNum candidates alive, so a net far beyond this is built rather than searched:
// texts that expand to more (a few words of many pronunciations each) are refused instead.
constexpr long long MAX_TREE_NET_NODE_NUM = 200000;
// The longest text that the normalisation rules may make.
constexpr long long MAX_NORMALIZED_TEXT_LEN = 100000;

// A node of a word-level net built from the texts, numbered by its position.
struct wordNetNode {
  std::string sylStr;  // syllable or phonetic-alphabet name, or "!NULL"
  std::string sylTag;  // sausage net: the lexicon word the node pronounces
};

struct netLink {
  int start;
  int end;
};

struct txtMapEntry {
  std::string source;
  std::string target;
  std::string mode;  // only the first character counts: '$', '^' or 'g'
  std::string file{};  // where the rule was read, for messages (empty for rules made in code)
  int line = 0;
};

class textClass {
 public:
  strVec m_txtVs;  // as read; only the part before a first TAB is the text
  std::vector<txtMapEntry> m_textNormSp;
  strVec m_txtVsNormalized;  // parallel to m_txtVs; its index is the text index
  strVec m_sylVs;            // "syl-syl-...\t<text index>"
  strVec m_sylTagVs;         // Chinese: the tags of each m_sylVs line, joined by '-'
  strVec m_netVs;            // the word-level net as text lines
  int m_matchSylBegin = 0;
  int m_matchSylNum = 0;
  std::string m_txtSource;  // the name txtRead was given (a file or the texts), for messages

  textClass();
  ~textClass();

  // ---- Texts ----------------------------------------------------------------------------

  // The lines of the file of that name, or else the name itself split at '#'.
  void txtRead(const std::string& name);
  void txtVsSet(const strVec& texts);
  void sylVsSet(const strVec& syls);
  // A syllable file: each line a sequence, a TAB and its text index; a line without a
  // readable index is fatal.
  void sylVsRead(const std::string& fileName);
  void txtNormalize(const std::string& language);
  void txtMapRead(const std::string& fileName, char delimiter, std::vector<txtMapEntry>& map);
  void txtMapPrint(const std::vector<txtMapEntry>& map) const;
  void txtMapApply(std::string& text, const std::string& language) const;
  // Appends the lexicon units of text: 2-byte characters paired within each blank-separated
  // piece (Chinese), one "X" per byte (Japanese) or blank-separated words (English).
  static void txt2units(const std::string& text, const std::string& language, strVec& units);

  // ---- Texts to syllable sequences ------------------------------------------------------

  void txt2paChinese(const std::vector<wpaEntry>& wpa);
  void txt2paEnglish(const std::vector<wpaEntry>& wpa);
  static void txt2paCombChinese(const std::string& text, const std::vector<wpaEntry>& wpa, strVec& paComb,
                                strVec& tagComb);
  static void txt2paCombEnglish(const std::string& text, const std::vector<wpaEntry>& wpa, strVec& comb);
  // The sorted distinct alternatives of unit and the tag of each one's first occurrence.
  static void unitPaLookup(const std::string& unit, const std::vector<wpaEntry>& wpa, strVec& pa, strVec& tags);
  static int sylTableFind(const std::string& key, const std::vector<wpaEntry>& wpa);
  // Appends the alternatives of every word; words without entry are fatal after being
  // listed in "missingWord.txt".
  static void pronCheck(const std::string& text, const std::vector<wpaEntry>& wpa, strVec& pa);
  void sylGapAdd(const std::string& gap);

 private:
  // The alternatives of each word (English) or character (Chinese) of a text.
  static void paListsEnglish(const std::string& text, const std::vector<wpaEntry>& wpa, strTable& lists);
  static void paListsChinese(const std::string& text, const std::vector<wpaEntry>& wpa, strTable& paLists,
                             strTable& tagLists);
  std::string txtSourceName() const;

 public:

  // ---- Japanese -------------------------------------------------------------------------

  // For "japanese" rewrites m_sylVs and, with an output directory, saves it as output.syl.
  void japaneseSylSave(const recogParam& param);
  static void japaneseSylRules(std::string& line);

  // ---- Look-up and spelling conversion --------------------------------------------------

  // True for the units that are not speech: "sp", "sil", "filler", "fillerC", "fillerV". The
  // scoring skips them, and a best path of nothing else found none of the texts.
  static bool nonSpeechUnit(const std::string& name);
  // The units of a '-'-joined path that are speech: empty pieces and non-speech units dropped.
  static strVec speechUnits(const std::string& path);

  // Appends the text and line index of every m_sylVs line that the path ("-a-b-") matches:
  // whole (mode 0), as its beginning (1) or anywhere (2).
  void searchSylVs(const std::string& path, int mode, std::vector<int>& textIndex, std::vector<int>& lineIndex) const;
  static std::string pinyinTableLookup(const std::string& key, const strTable& table, int keyColumn, int valueColumn);
  static std::string sylStrConvert(const std::string& sylStr, const strTable& table, int keyColumn, int valueColumn);
  static std::string rowNumStrToColumn3(const std::string& rowNumStr, const strTable& table);
  static std::string rowNumStrToColumn1(const std::string& rowNumStr, const strTable& table);

  // ---- Word-level nets --------------------------------------------------------------------
  // Node 0 is the null start and node 1 the null end; with edge silences node 2 is the
  // leading and node 3 the trailing "sil"; word nodes follow. The result goes to m_netVs.

  // A prefix tree over the sequences of m_sylVs.
  void treeNetCreate(const recogParam& param, int fillerFlag, int softSilFlag, int edgeSilFlag);
  // A chain of alternative slots from the single normalised text through the lexicon.
  void sausageNetCreate(const std::vector<wpaEntry>& wpa, const recogParam& param);
  // m_netVs := the "net" text lines of the nodes and links.
  void netPrint(const std::vector<wordNetNode>& nodes, const std::vector<netLink>& links);
  // The extra links, each over the word nodes from node 4 on.
  void addLink4stopAnywhere(const std::vector<wordNetNode>& nodes, std::vector<netLink>& links);
  void addLink4startAnywhere(const std::vector<wordNetNode>& nodes, std::vector<netLink>& links);
  void addLink4forwardJump(const std::vector<wordNetNode>& nodes, std::vector<netLink>& links);
  void addLink4skippableTrailingSil(const std::vector<wordNetNode>& nodes, std::vector<netLink>& links);
  void addLink4skippableLeadingSil(const std::vector<wordNetNode>& nodes, std::vector<netLink>& links);

  // ---- Best path to text -----------------------------------------------------------------

  // Maps the syllables of candidate order[best] to the m_sylVs lines that agree with them
  // under the run's comparison mode; textIndex gets the matching texts (sorted, unique),
  // lineIndex the lines in the order found; returns the path as "a-b-c". In comparison
  // mode 3 also sets m_matchSylBegin/m_matchSylNum to the matched stretch of the path.
  // An assessment whose path matches no line gets text 0 and no line (scored 0 by the
  // caller); a recognition fails, saying so when the path holds no syllable at all.
  std::string pinyin2text(int best, arenaCandidate* const* order, const dictClass& dict, std::vector<int>& textIndex,
                          std::vector<int>& lineIndex, const recogParam& param);
};

}  // namespace tulim
