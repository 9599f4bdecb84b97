// textClass: the word-level nets built from the texts (tree net and sausage net) with
// their filler, silence and extra links, written as "net" text lines.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <unordered_set>

#include "textClass.h"
#include "utility.h"

namespace tulim {

namespace {

// Messages of the text module name it "text".
#define TEXT_HERE __LINE__, "text"

const char* const NULL_NODE = "!NULL";

// Links already in the net, for the "unless it exists" tests: the same answers as a scan of
// the link list, without its cost on large nets.
class linkSet {
 public:
  explicit linkSet(const std::vector<netLink>& links) {
    for (const netLink& l : links) m_set.insert(key(l.start, l.end));
  }
  // Adds the link unless it exists.
  void addUnique(std::vector<netLink>& links, int start, int end) {
    if (m_set.insert(key(start, end)).second) links.push_back(netLink{start, end});
  }
  bool has(int start, int end) const { return m_set.count(key(start, end)) != 0; }

 private:
  static uint64_t key(int start, int end) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(start)) << 32) | static_cast<uint32_t>(end);
  }
  std::unordered_set<uint64_t> m_set;
};

bool isCandidate(const wordNetNode& node) {
  return node.sylStr != NULL_NODE && node.sylStr != "sil" && node.sylStr != "sp";
}

int addNode(std::vector<wordNetNode>& nodes, const std::string& sylStr, const std::string& sylTag = "") {
  nodes.push_back(wordNetNode{sylStr, sylTag});
  return static_cast<int>(nodes.size()) - 1;
}

void linkAll(std::vector<netLink>& links, const std::vector<int>& from, const std::vector<int>& to) {
  for (int end : to)
    for (int start : from) links.push_back(netLink{start, end});
}

}  // namespace

void textClass::netPrint(const std::vector<wordNetNode>& nodes, const std::vector<netLink>& links) {
  m_netVs.clear();
  m_netVs.push_back("VERSION=1.0");
  m_netVs.push_back(strFormat("N=%d\tL=%d", static_cast<int>(nodes.size()), static_cast<int>(links.size())));
  for (size_t i = 0; i < nodes.size(); ++i)
    m_netVs.push_back(
        strFormat("I=%d\tW=%s@%d@%s", static_cast<int>(i), nodes[i].sylStr.c_str(), -1, nodes[i].sylTag.c_str()));
  for (size_t k = 0; k < links.size(); ++k)
    m_netVs.push_back(strFormat("J=%d\tS=%d\tE=%d", static_cast<int>(k), links[k].start, links[k].end));
}

void textClass::addLink4stopAnywhere(const std::vector<wordNetNode>& nodes, std::vector<netLink>& links) {
  linkSet existing(links);
  for (size_t i = 4; i < nodes.size(); ++i)
    if (isCandidate(nodes[i])) existing.addUnique(links, static_cast<int>(i), 3);
}

void textClass::addLink4startAnywhere(const std::vector<wordNetNode>& nodes, std::vector<netLink>& links) {
  linkSet existing(links);
  for (size_t i = 4; i < nodes.size(); ++i)
    if (isCandidate(nodes[i])) existing.addUnique(links, 2, static_cast<int>(i));
}

void textClass::addLink4forwardJump(const std::vector<wordNetNode>& nodes, std::vector<netLink>& links) {
  linkSet existing(links);
  for (size_t i = 4; i < nodes.size(); ++i) {
    if (nodes[i].sylStr == NULL_NODE) continue;
    for (size_t j = i + 1; j < nodes.size(); ++j) existing.addUnique(links, static_cast<int>(i), static_cast<int>(j));
  }
}

void textClass::addLink4skippableTrailingSil(const std::vector<wordNetNode>& nodes, std::vector<netLink>& links) {
  const linkSet existing(links);
  for (size_t i = 4; i < nodes.size(); ++i)
    if (isCandidate(nodes[i]) && existing.has(static_cast<int>(i), 3)) links.push_back(netLink{static_cast<int>(i), 1});
}

void textClass::addLink4skippableLeadingSil(const std::vector<wordNetNode>& nodes, std::vector<netLink>& links) {
  const linkSet existing(links);
  for (size_t i = 4; i < nodes.size(); ++i)
    if (isCandidate(nodes[i]) && existing.has(2, static_cast<int>(i))) links.push_back(netLink{0, static_cast<int>(i)});
}

namespace {

// The five extra-link rules in their order, each under its run parameter. They link to and
// from nodes 2 and 3 as the leading and trailing edge nodes; in a net without these, nodes
// 2 and 3 are words (the rules would loop back to the second word instead) or, with
// fillers, null junctions where end-point detection has already cut the silence away.
void extraLinksAdd(textClass& text, const recogParam& param, const std::vector<wordNetNode>& nodes,
                   std::vector<netLink>& links, bool edgeNodes) {
  const bool asked = param.addLink4stopAnywhere || param.addLink4startAnywhere || param.addLink4forwardJump ||
                     param.addLink4skippableTrailingSil || param.addLink4skippableLeadingSil;
  if (asked && !edgeNodes) {
    printf("Warning: the net has no leading and trailing silence (end-point detection), so no extra links are added "
           "(line %d in %s)\n",
           TEXT_HERE);
    return;
  }
  if (param.addLink4stopAnywhere) {
    printf("\tAdd links for stop anywhere...   (line %d in %s)\n", TEXT_HERE);
    text.addLink4stopAnywhere(nodes, links);
  }
  if (param.addLink4startAnywhere) {
    printf("\tAdd links for start anywhere...  (line %d in %s)\n", TEXT_HERE);
    text.addLink4startAnywhere(nodes, links);
  }
  if (param.addLink4forwardJump) {
    printf("\tAdd links for forward jump...    (line %d in %s)\n", TEXT_HERE);
    text.addLink4forwardJump(nodes, links);
  }
  if (param.addLink4skippableTrailingSil) {
    printf("\tAdd links for skippable trailing sil...    (line %d in %s)\n", TEXT_HERE);
    text.addLink4skippableTrailingSil(nodes, links);
  }
  if (param.addLink4skippableLeadingSil) {
    printf("\tAdd links for skippable leading sil...     (line %d in %s)\n", TEXT_HERE);
    text.addLink4skippableLeadingSil(nodes, links);
  }
}

}  // namespace

void textClass::treeNetCreate(const recogParam& param, int fillerFlag, int softSilFlag, int edgeSilFlag) {
  if (m_sylVs.empty()) errorThrowf("Error: m_sylVs.size()=0 at line %d of file %s!", TEXT_HERE);

  // The fillers hang on the junctions 2 and 3, so these exist with the filler flag even
  // without edge silences (they become null nodes below).
  const bool junctions = edgeSilFlag || fillerFlag;
  std::vector<wordNetNode> nodes;
  std::vector<netLink> links;
  addNode(nodes, NULL_NODE);
  addNode(nodes, NULL_NODE);
  if (junctions) {
    addNode(nodes, "sil");
    addNode(nodes, "sil");
    links.push_back(netLink{0, 2});
    links.push_back(netLink{3, 1});
  }
  const int root = junctions ? 2 : 0;
  const int finish = junctions ? 3 : 1;

  // Empty pieces are dropped before sorting: sorted with them, "a--b-c" would come before
  // "a-b", whose syllables would then all look shared and its end would never be linked.
  strVec sequences;
  strVec syls;
  for (const std::string& line : m_sylVs) {
    strSplit(line.substr(0, line.find('\t')), '-', syls);
    strVecRemoveEmpty(syls);
    sequences.push_back(stringJoin(syls, "-"));
  }
  std::sort(sequences.begin(), sequences.end());
  size_t depth = 0;
  for (const std::string& s : sequences)
    depth = std::max(depth, 1 + static_cast<size_t>(std::count(s.begin(), s.end(), '-')));

  strVec lastSeen(depth);
  std::vector<int> parent(depth, -1);
  parent[0] = root;
  for (const std::string& sequence : sequences) {
    strSplit(sequence, '-', syls);
    strVecRemoveEmpty(syls);
    bool created = false;
    for (size_t k = 0; k < syls.size(); ++k) {
      if (!created && syls[k] == lastSeen[k]) continue;  // shared with the previous sequence
      created = true;
      if (static_cast<long long>(nodes.size()) >= MAX_TREE_NET_NODE_NUM)
        errorThrowf("Error: the texts of %s expand to a tree net of more than MAX_TREE_NET_NODE_NUM = %lld nodes "
                    "(%zu syllable sequences) (line %d of %s)",
                    txtSourceName().c_str(), MAX_TREE_NET_NODE_NUM, sequences.size(), TEXT_HERE);
      const int node = addNode(nodes, syls[k]);
      links.push_back(netLink{parent[k], node});
      lastSeen[k] = syls[k];
      if (k + 1 < depth) parent[k + 1] = node;
      if (k + 1 == syls.size()) {
        links.push_back(netLink{node, finish});
        for (size_t j = k + 1; j < depth; ++j) lastSeen[j].clear();
      }
    }
  }

  if (fillerFlag) {
    nodes[2].sylStr = NULL_NODE;
    nodes[3].sylStr = NULL_NODE;
    for (const char* filler : {"fillerC", "fillerV", "sil"}) {
      const int atStart = addNode(nodes, filler);
      links.push_back(netLink{2, atStart});
      links.push_back(netLink{atStart, 2});
      const int atEnd = addNode(nodes, filler);
      links.push_back(netLink{3, atEnd});
      links.push_back(netLink{atEnd, 3});
    }
  }

  if (softSilFlag && m_sylVs.size() == 1) {
    // Counted like the word nodes above, without empty pieces, so that every silence lies
    // between two of them.
    strSplit(sequences[0], '-', syls);
    strVecRemoveEmpty(syls);
    const int first = junctions ? 4 : 2;
    for (int k = 0; k + 1 < static_cast<int>(syls.size()); ++k) {
      const int sil = addNode(nodes, "sil");
      links.push_back(netLink{first + k, sil});
      links.push_back(netLink{sil, first + k + 1});
    }
  }

  extraLinksAdd(*this, param, nodes, links, edgeSilFlag != 0);
  netPrint(nodes, links);
}

void textClass::sausageNetCreate(const std::vector<wpaEntry>& wpa, const recogParam& param) {
  if (m_txtVs.size() != 1)
    errorThrowf("Error: m_txtVs.size()=!1, which cannot be transformed into sausage net at line %d of file %s!",
                TEXT_HERE);
  if (m_txtVsNormalized.empty())
    errorThrowf("Error: the text has not been normalised for the sausage net (line %d of file %s)", TEXT_HERE);
  const std::string& text = m_txtVsNormalized[0];

  std::vector<wordNetNode> nodes;
  std::vector<netLink> links;
  addNode(nodes, NULL_NODE);
  addNode(nodes, NULL_NODE);
  addNode(nodes, "sil");
  addNode(nodes, "sil");
  links.push_back(netLink{0, 2});
  links.push_back(netLink{3, 1});

  strVec units;
  txt2units(text, param.language, units);
  if (units.empty())
    errorThrowf("Error: the text \"%s\" holds no unit for a sausage net in \"%s\" (line %d of file %s)", text.c_str(),
                param.language.c_str(), TEXT_HERE);

  const bool softSil = param.usePaddedSoftSil != 0;
  std::vector<int> frontier{2}, earlier{0}, slot;
  for (size_t k = 0; k < units.size(); ++k) {
    const std::string& unit = units[k];
    strVec alternatives;
    std::string word = unit;
    const int entry = sylTableFind(unit, wpa);
    if (entry < 0) {
      printf("Warning: Found no pinyin for \"%s\" in \"%s\". Use \"a\" instead.\n", unit.c_str(), text.c_str());
      if (param.language == "english")
        errorThrowf("Error: Found no pronunciation entry for %s. Please add the pronunciation to wpaAddendaFile. (line %d of file %s)",
                    unit.c_str(), TEXT_HERE);
      alternatives.push_back("a");
    } else {
      alternatives = wpa[static_cast<size_t>(entry)].pa;
      std::sort(alternatives.begin(), alternatives.end());
      alternatives.erase(std::unique(alternatives.begin(), alternatives.end()), alternatives.end());
      word = wpa[static_cast<size_t>(entry)].word;
    }

    slot.clear();
    for (const std::string& alternative : alternatives) slot.push_back(addNode(nodes, alternative, word));
    linkAll(links, frontier, slot);
    if (softSil && k > 0) linkAll(links, earlier, slot);

    const bool last = k + 1 == units.size();
    if (last || softSil) {
      earlier = frontier;
      frontier = slot;
      slot = last ? std::vector<int>{3} : std::vector<int>{addNode(nodes, "sil")};
      linkAll(links, frontier, slot);
    }
    earlier = frontier;
    frontier = slot;
  }

  extraLinksAdd(*this, param, nodes, links, true);
  netPrint(nodes, links);
}

}  // namespace tulim
