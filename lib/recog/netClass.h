// The syllable-level search net walked by the Viterbi search: real nodes that stand for
// pronunciation-dictionary entries, null nodes that only join others, and directed links.
// Read from "net" text lines (a file, or the lines the word-net builder makes) or from the
// "netb" binary image; written back in both forms for diagnosis.
#pragma once

#include <string>
#include <vector>

#include "stringUtil.h"

namespace tulim {

class dictClass;
class macroClass;

constexpr int MAX_STATE_NUM_IN_SYL = 150;
// Upper bound of one node's indirect fan-out: null nodes that branch and join again
// multiply the paths through them, and each path gives an entry.
constexpr int MAX_INDIRECT_FAN_OUT = 1000000;
// Upper bound of the indirect fan-outs of all nodes together: a shared null sub-net that
// many nodes enter gives each of them all of its paths.
constexpr long long MAX_NET_INDIRECT_FAN_OUT = 10000000;

struct netNode {
  int dicIndex = -1;                        // into the pronunciation dictionary; -1: null node
  std::string sylStr;                       // "!NULL" for a null node; empty in "netb" nets
  std::string sylTag;                       // lexicon word of a sausage-net node, mostly empty
  std::vector<int> fanOutDirect;            // ends of the outgoing links, in link order
  std::vector<int> fanOutIndirect;          // real nodes reached through chains of null nodes
  float penalty = 0.0f;                     // added on entering the node (filler nodes)
};

class netClass {
 public:
  int m_nodeNum = 0;
  int m_linkNum = 0;
  std::vector<netNode> m_node;

  // ---- Reading and writing ----------------------------------------------------------------

  void netLoad(const std::string& path, dictClass& dict);
  void netCreate(const strVec& lines, dictClass& dict);
  // "netb"/"NETB" binary or "net"/"NET" text by extension; another extension is fatal.
  void netRead(const std::string& path, dictClass& dict);
  // Builds the net from "net" text lines; model indices of used syllables that are
  // unresolved (-1) become model 0 in the dictionary.
  void netVs2net(const strVec& lines, dictClass& dict);
  void netReadBin(const std::string& path, dictClass& dict);
  // The "net" text; an empty path writes to standard output.
  void netPrint(const std::string& path) const;
  // Refuses a net that binImageHolds does not accept.
  void netWriteBin(const std::string& path) const;
  // Whether the "netb" image can hold the net: it stores no node 0 or 1 and reads both back
  // as null nodes.
  bool binImageHolds() const;

  // ---- Structure ----------------------------------------------------------------------------

  // Appends the real nodes reached from node through its direct successors, passing through
  // null nodes (duplicates kept). A null successor contributes its own fanOutIndirect, so
  // those must be current (the readers and the link additions keep them so).
  void fanOutCollect(int node, std::vector<int>& out) const;
  int maxFanOutNum() const;
  // Merges the nodes from firstShared on that stand for the same syllable (and word tag) and
  // lead to the same nodes, until no two do: the lines of a tree net that end alike then
  // share their ends, as they share their beginnings. The net keeps every path and its
  // scores, with fewer states for the search to hold. Nodes keep their order; the nodes
  // before firstShared and the end node are never merged.
  void lineEndsShare(int firstShared);
  // Emitting states of the net's real nodes (the recombination slots the search can fill).
  long long emittingStateNum(const dictClass& dict, const macroClass& models) const;
  // The indirect fan-outs of the real nodes together: the successors the search can make
  // in one frame on leaving nodes.
  long long linkFanOutNum() const;
  // Every node's penalty 0, then penalty for "filler", "fillerC" and "fillerV" nodes.
  void nodePenaltySet(float penalty);

  // Link additions over the real word nodes from node 4 on (not "sil" or "sp"); each
  // refreshes the link count and the indirect fan-outs.
  void linkStopAnywhere();
  void linkStartAnywhere();
  void linkSkippableTrailingSil();
  void linkSkippableLeadingSil();

  // Nodes other than "sil" and "sp" on the chain of first successors from node 4 to node 3.
  int sylCountOnFirstPath() const;
  // Console browser: shows the nodes whose indices are typed, until an index out of range
  // or the end of input.
  void treeNetBrowse() const;

 private:
  // Where the net came from, for messages: the file, or the lines it was built from.
  std::string m_source;

  void netTextRead(const strVec& lines, const std::vector<int>* lineNumbers, dictClass& dict);
  // Every fanOutIndirect, the null nodes' first (each successor before its predecessors),
  // so that no shared null sub-net is walked twice; a cycle of null nodes is fatal.
  void fanOutRebuild();
  // Fatal unless the end node can be reached from the start node (each found by structure,
  // as the search finds them, when there is exactly one).
  void pathCheck() const;
  // After a link addition: the search and the "netb" writer see the new links.
  void linksChanged();
  bool isWordNode(int i) const;
};

// label, " = ", each value and a blank, a line end.
void intVecPrint(const std::vector<int>& vec, const std::string& label);

}  // namespace tulim
