#include "netClass.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>

#include "dictClass.h"
#include "lineFile.h"
#include "macroClass.h"
#include "platform/byteOrder.h"
#include "utility.h"

namespace tulim {

namespace {

// Messages of this module name it "net".
#define NET_HERE __LINE__, "net"

bool isNullSpelling(const std::string& s) { return s == "!NULL" || s == "!Null" || s == "!null"; }

// Reads a decimal integer at *p (after optional white space), as a scan would; false when
// there is none or it does not fit in 32 bits.
bool scanInt(const char*& p, int& value) {
  char* end = nullptr;
  errno = 0;
  long v = strtol(p, &end, 10);
  if (end == p || errno == ERANGE || v < -2147483647L - 1 || v > 2147483647L) return false;
  value = static_cast<int>(v);
  p = end;
  return true;
}

// Matches literal text after optional white space.
bool scanLiteral(const char*& p, const char* literal) {
  while (isWhiteSpace(*p)) ++p;
  size_t n = strlen(literal);
  if (strncmp(p, literal, n) != 0) return false;
  p += n;
  return true;
}

[[noreturn]] void badLine(const std::string& line, int lineIndex, const char* what, int sourceLine) {
  errorThrowf("Error: cannot parse %s in net line %d \"%s\" (line %d of file %s)", what, lineIndex, line.c_str(),
              sourceLine, "net");
}

}  // namespace

void netClass::netLoad(const std::string& path, dictClass& dict) { netRead(path, dict); }

void netClass::netCreate(const strVec& lines, dictClass& dict) { netVs2net(lines, dict); }

void netClass::netRead(const std::string& path, dictClass& dict) {
  const std::string ext = getFileExt(path);
  if (ext == "netb" || ext == "NETB") {
    netReadBin(path, dict);
  } else if (ext == "net" || ext == "NET") {
    strVec lines;
    std::vector<int> lineNumbers;
    file2strVec(path, lines, 0, lineNumbers);
    m_source = path;
    netTextRead(lines, &lineNumbers, dict);
  } else {
    errorThrowf("Error in reading %s: The only allowed extension are \"net\" and \"netb\".  (line %d of file %s)\n",
                path.c_str(), NET_HERE);
  }
}

void netClass::netVs2net(const strVec& lines, dictClass& dict) {
  m_source = "the given net lines";
  netTextRead(lines, nullptr, dict);
}

void netClass::netTextRead(const strVec& lines, const std::vector<int>* lineNumbers, dictClass& dict) {
  // The line's number in the file, or in the given lines.
  auto lineOf = [lineNumbers](int index) { return lineNumbers ? (*lineNumbers)[static_cast<size_t>(index)] : index + 1; };
  if (lines.empty()) errorThrowf("Error: netVs.size()==0! (line %d of file %s)", NET_HERE);
  if (dict.m_pronDict.empty()) errorThrowf("Error: myDict.m_pronDict.size()==0! (line %d of file %s)", NET_HERE);

  m_node.clear();
  m_nodeNum = m_linkNum = 0;
  if (lines.size() < 2) errorThrowf("Error: the net has no \"N=%%d\\tL=%%d\" line (line %d of file %s)", NET_HERE);
  {
    const char* p = lines[1].c_str();
    int nodeNum = 0, linkNum = 0;
    if (!scanLiteral(p, "N=") || !scanInt(p, nodeNum) || !scanLiteral(p, "L=") || !scanInt(p, linkNum))
      badLine(lines[1], 1, "the counts", __LINE__);
    if (nodeNum < 0 || linkNum < 0)
      errorThrowf("Error: negative counts N=%d L=%d in the net (line %d of file %s)", nodeNum, linkNum, NET_HERE);
    if (lines.size() - 2 < static_cast<size_t>(nodeNum) + static_cast<size_t>(linkNum))
      errorThrowf("Error: the net declares %d nodes and %d links but has %d lines after its counts (line %d of file %s)",
                  nodeNum, linkNum, static_cast<int>(lines.size() - 2), NET_HERE);
    m_nodeNum = nodeNum;
    m_linkNum = linkNum;
  }

  m_node.resize(static_cast<size_t>(m_nodeNum));
  for (int i = 0; i < m_nodeNum; ++i) {
    const std::string& line = lines[static_cast<size_t>(2 + i)];
    const char* p = line.c_str();
    int ignored = 0;
    if (!scanLiteral(p, "I=") || !scanInt(p, ignored) || !scanLiteral(p, "W=")) badLine(line, 2 + i, "the node", __LINE__);
    std::string w = p;
    strTrimRight(w);
    netNode& node = m_node[static_cast<size_t>(i)];
    size_t at1 = w.find('@');
    node.sylStr = w.substr(0, at1);
    node.sylTag.clear();
    node.dicIndex = -1;
    if (isNullSpelling(node.sylStr)) continue;
    if (at1 != std::string::npos) {
      size_t at2 = w.find('@', at1 + 1);
      const std::string index = w.substr(at1 + 1, at2 == std::string::npos ? std::string::npos : at2 - at1 - 1);
      if (!strToIntExact(index, node.dicIndex))
        errorThrowf("Error: node %d has the dictionary index \"%s\", not a decimal integer, at line %d of %s "
                    "(line %d of file %s)",
                    i, index.c_str(), lineOf(2 + i), m_source.c_str(), NET_HERE);
      if (at2 != std::string::npos) node.sylTag = w.substr(at2 + 1);
    }
    if (node.dicIndex == -1) {
      node.dicIndex = dict.findSyllable(node.sylStr);
      if (node.dicIndex < 0)
        errorThrowf("Error: \"%s\" (nodeIndex=%d) not found in the pronunciation dictionary. (line %d of file %s)\n",
                    node.sylStr.c_str(), i, NET_HERE);
    }
  }

  for (int k = 0; k < m_linkNum; ++k) {
    const int lineIndex = 2 + m_nodeNum + k;
    const std::string& line = lines[static_cast<size_t>(lineIndex)];
    const char* p = line.c_str();
    while (isWhiteSpace(*p)) ++p;
    while (*p && !isWhiteSpace(*p)) ++p;  // the "J=%d" token
    int start = 0, end = 0;
    if (!scanLiteral(p, "S=") || !scanInt(p, start) || !scanLiteral(p, "E=") || !scanInt(p, end))
      badLine(line, lineIndex, "the link", __LINE__);
    if (start < 0 || start >= m_nodeNum || end < 0 || end >= m_nodeNum)
      errorThrowf("Error: link %d from %d to %d leaves the net of %d nodes (line %d of file %s)", k, start, end,
                  m_nodeNum, NET_HERE);
    m_node[static_cast<size_t>(start)].fanOutDirect.push_back(end);
  }
  fanOutRebuild();
  pathCheck();

  const int dictSize = static_cast<int>(dict.m_pronDict.size());
  for (size_t i = 0; i < m_node.size(); ++i) {
    netNode& node = m_node[i];
    if (isNullSpelling(node.sylStr)) continue;
    if (node.dicIndex < 0 || node.dicIndex >= dictSize)
      errorThrowf("Error: sylIndex (%d) out of the range of [0, %d]! (line %d of file %s)\n", node.dicIndex, dictSize,
                  NET_HERE);
    // The search scores the entry's models, the results print the node's name: the two must
    // be one syllable. A name left empty (a net read from "netb" and written again) has only
    // its index.
    const std::string& entry = dict.m_pronDict[static_cast<size_t>(node.dicIndex)].syl;
    if (!node.sylStr.empty() && node.sylStr != entry)
      errorThrowf("Error: net line %d \"%s\" of %s names \"%s\", but dictionary entry %d is \"%s\" "
                  "(line %d of file %s)",
                  lineOf(static_cast<int>(2 + i)), lines[2 + i].c_str(), m_source.c_str(), node.sylStr.c_str(),
                  node.dicIndex, entry.c_str(), NET_HERE);
    for (int& model : dict.m_pronDict[static_cast<size_t>(node.dicIndex)].modelIndex)
      if (model < 0) model = 0;
  }
}

void netClass::netReadBin(const std::string& path, dictClass& dict) {
  std::string bytes;
  file2string(path.c_str(), bytes);
  const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t size = bytes.size();

  m_node.clear();
  m_nodeNum = m_linkNum = 0;
  m_source = path;
  if (size < 8) errorThrowf("Error: %s is too short for a netb image (%d bytes) (line %d of file %s)", path.c_str(),
                            static_cast<int>(size), NET_HERE);
  const int nodeNum = static_cast<int>(readLittleEndian32(data));
  const int linkNum = static_cast<int>(readLittleEndian32(data + 4));
  if (nodeNum < 2 || linkNum < 0)
    errorThrowf("Error: %s declares %d nodes and %d links (line %d of file %s)", path.c_str(), nodeNum, linkNum,
                NET_HERE);
  const unsigned long long expected = 8ULL + 4ULL * static_cast<unsigned>(nodeNum - 2) + 8ULL * static_cast<unsigned>(linkNum);
  if (expected != size)
    errorThrowf("Error: %s holds %d bytes but %d nodes and %d links need %llu (line %d of file %s)", path.c_str(),
                static_cast<int>(size), nodeNum, linkNum, expected, NET_HERE);

  const int dictSize = static_cast<int>(dict.m_pronDict.size());
  m_node.resize(static_cast<size_t>(nodeNum));
  size_t pos = 8;
  for (int i = 0; i < nodeNum; ++i) {
    netNode& node = m_node[static_cast<size_t>(i)];
    if (i >= 2) {
      node.dicIndex = static_cast<int>(readLittleEndian32(data + pos));
      pos += 4;
      if (node.dicIndex < -1 || node.dicIndex >= dictSize)
        errorThrowf("Error: sylIndex (%d) out of the range of [0, %d]! (line %d of file %s)\n", node.dicIndex, dictSize,
                    NET_HERE);
    }
    // Null nodes may stand anywhere (the filler nets have them beyond node 1).
    if (node.dicIndex == -1) node.sylStr = "!NULL";
  }
  for (int k = 0; k < linkNum; ++k, pos += 8) {
    int start = static_cast<int>(readLittleEndian32(data + pos));
    int end = static_cast<int>(readLittleEndian32(data + pos + 4));
    if (start < 0 || start >= nodeNum || end < 0 || end >= nodeNum)
      errorThrowf("Error: link %d from %d to %d leaves the net of %d nodes (line %d of file %s)", k, start, end, nodeNum,
                  NET_HERE);
    m_node[static_cast<size_t>(start)].fanOutDirect.push_back(end);
  }
  m_nodeNum = nodeNum;
  m_linkNum = linkNum;
  fanOutRebuild();
  pathCheck();
  for (const netNode& node : m_node)
    if (node.dicIndex >= 0)
      for (int& model : dict.m_pronDict[static_cast<size_t>(node.dicIndex)].modelIndex)
        if (model < 0) model = 0;
}

void netClass::netPrint(const std::string& path) const {
  filePtr owned;
  FILE* fp = stdout;
  if (!path.empty()) {
    owned = openFilePtr(path, "w");
    fp = owned.get();
  }
  fprintf(fp, "VERSION=1.0 (by netClass::netPrint())\n");
  fprintf(fp, "N=%d\tL=%d\n", m_nodeNum, m_linkNum);
  for (size_t i = 0; i < m_node.size(); ++i)
    fprintf(fp, "I=%d\tW=%s@%d@%s\n", static_cast<int>(i), m_node[i].sylStr.c_str(), m_node[i].dicIndex,
            m_node[i].sylTag.c_str());
  int link = 0;
  for (size_t i = 0; i < m_node.size(); ++i)
    for (int end : m_node[i].fanOutDirect) fprintf(fp, "J=%d\tS=%d\tE=%d\n", link++, static_cast<int>(i), end);
  if (owned) closeWrittenFile(owned, path);
}

bool netClass::binImageHolds() const {
  return m_node.size() >= 2 && m_node[0].dicIndex == -1 && m_node[1].dicIndex == -1;
}

void netClass::netWriteBin(const std::string& path) const {
  if (!binImageHolds())
    errorThrowf("Error: a netb image holds only nets whose nodes 0 and 1 are null nodes (line %d of file %s)", NET_HERE);
  std::string bytes;
  int links = 0;
  for (const netNode& node : m_node) links += static_cast<int>(node.fanOutDirect.size());
  appendLittleEndian32(bytes, static_cast<uint32_t>(m_node.size()));
  appendLittleEndian32(bytes, static_cast<uint32_t>(links));
  for (size_t i = 2; i < m_node.size(); ++i) appendLittleEndian32(bytes, static_cast<uint32_t>(m_node[i].dicIndex));
  for (size_t i = 0; i < m_node.size(); ++i)
    for (int end : m_node[i].fanOutDirect) {
      appendLittleEndian32(bytes, static_cast<uint32_t>(i));
      appendLittleEndian32(bytes, static_cast<uint32_t>(end));
    }
  buffer2file(path.c_str(), bytes.data(), static_cast<long>(bytes.size()));
}

void netClass::fanOutCollect(int node, std::vector<int>& out) const {
  for (int e : m_node[static_cast<size_t>(node)].fanOutDirect) {
    const netNode& next = m_node[static_cast<size_t>(e)];
    const size_t adding = next.dicIndex >= 0 ? 1 : next.fanOutIndirect.size();
    if (out.size() + adding > static_cast<size_t>(MAX_INDIRECT_FAN_OUT))
      errorThrowf("Error: node %d reaches more than MAX_INDIRECT_FAN_OUT = %d nodes through null nodes in %s "
                  "(line %d of file %s)",
                  node, MAX_INDIRECT_FAN_OUT, m_source.c_str(), NET_HERE);
    if (next.dicIndex >= 0)
      out.push_back(e);
    else
      out.insert(out.end(), next.fanOutIndirect.begin(), next.fanOutIndirect.end());
  }
}

void netClass::fanOutRebuild() {
  const size_t n = m_node.size();
  for (netNode& node : m_node) node.fanOutIndirect.clear();
  long long total = 0;
  auto build = [&](size_t i) {
    fanOutCollect(static_cast<int>(i), m_node[i].fanOutIndirect);
    total += static_cast<long long>(m_node[i].fanOutIndirect.size());
    if (total > MAX_NET_INDIRECT_FAN_OUT)
      errorThrowf("Error: the nodes of %s reach more than MAX_NET_INDIRECT_FAN_OUT = %lld nodes through null nodes "
                  "in all (line %d of file %s)",
                  m_source.c_str(), MAX_NET_INDIRECT_FAN_OUT, NET_HERE);
  };
  // Null nodes depth-first through their null successors, each built when all of those are;
  // an explicit stack, so that long null chains need no deep recursion.
  enum : char { UNSEEN, OPEN, BUILT };
  std::vector<char> state(n, UNSEEN);
  std::vector<std::pair<size_t, size_t>> stack;  // node, next successor
  for (size_t root = 0; root < n; ++root) {
    if (m_node[root].dicIndex >= 0 || state[root] != UNSEEN) continue;
    state[root] = OPEN;
    stack.push_back({root, 0});
    while (!stack.empty()) {
      const size_t top = stack.back().first;
      const std::vector<int>& successors = m_node[top].fanOutDirect;
      if (stack.back().second == successors.size()) {
        build(top);
        state[top] = BUILT;
        stack.pop_back();
        continue;
      }
      const size_t e = static_cast<size_t>(successors[stack.back().second++]);
      if (m_node[e].dicIndex >= 0 || state[e] == BUILT) continue;
      if (state[e] == OPEN)
        errorThrowf("Error: null node %d lies on a cycle of null nodes in %s (line %d of file %s)", static_cast<int>(e),
                    m_source.c_str(), NET_HERE);
      state[e] = OPEN;
      stack.push_back({e, 0});
    }
  }
  for (size_t i = 0; i < n; ++i)
    if (m_node[i].dicIndex >= 0) build(i);
}

void netClass::pathCheck() const {
  const size_t n = m_node.size();
  std::vector<char> seen(n, 0);
  for (const netNode& node : m_node)
    for (int e : node.fanOutDirect) seen[static_cast<size_t>(e)] = 1;
  int start = -1, end = -1, starts = 0, ends = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!seen[i] && starts++ == 0) start = static_cast<int>(i);
    if (m_node[i].fanOutDirect.empty() && ends++ == 0) end = static_cast<int>(i);
  }
  // Several or no start or end nodes: the search says so when it looks for them.
  if (starts != 1 || ends != 1) return;
  std::fill(seen.begin(), seen.end(), 0);
  std::vector<int> todo{start};
  seen[static_cast<size_t>(start)] = 1;
  while (!todo.empty()) {
    const int i = todo.back();
    todo.pop_back();
    for (int e : m_node[static_cast<size_t>(i)].fanOutDirect)
      if (!seen[static_cast<size_t>(e)]) {
        seen[static_cast<size_t>(e)] = 1;
        todo.push_back(e);
      }
  }
  if (!seen[static_cast<size_t>(end)])
    errorThrowf("Error: %s has no path from its start node %d to its end node %d (line %d of file %s)", m_source.c_str(),
                start, end, NET_HERE);
}

void netClass::linksChanged() {
  fanOutRebuild();
  m_linkNum = 0;
  for (const netNode& node : m_node) m_linkNum += static_cast<int>(node.fanOutDirect.size());
}

void netClass::lineEndsShare(int firstShared) {
  const size_t n = m_node.size();
  const size_t first = static_cast<size_t>(std::max(firstShared, 0));
  std::vector<int> rep(n, -1);  // the node each one merges into; -1 until it is placed
  // A node's successors through the merges, each once, in link order.
  auto successorsOf = [&](const netNode& node) {
    std::vector<int> out;
    for (int e : node.fanOutDirect) {
      const int r = rep[static_cast<size_t>(e)] < 0 ? e : rep[static_cast<size_t>(e)];
      if (std::find(out.begin(), out.end(), r) == out.end()) out.push_back(r);
    }
    return out;
  };
  struct signature {
    int dicIndex;
    std::string sylStr, sylTag;
    std::vector<int> successors;
    bool operator<(const signature& o) const {
      return std::tie(dicIndex, sylStr, sylTag, successors) < std::tie(o.dicIndex, o.sylStr, o.sylTag, o.successors);
    }
  };
  std::map<signature, int> seen;
  // Each node is placed after its successors (depth first, an explicit stack), so that equal
  // ends meet before the nodes that lead to them. A node on a cycle, which meets a successor
  // still open, and the nodes before firstShared stay as they are, as does the end node.
  enum : char { UNSEEN, OPEN, DONE };
  std::vector<char> state(n, UNSEEN);
  std::vector<char> alone(n, 0);
  std::vector<std::pair<size_t, size_t>> stack;
  for (size_t root = 0; root < n; ++root) {
    if (state[root] != UNSEEN) continue;
    state[root] = OPEN;
    stack.push_back({root, 0});
    while (!stack.empty()) {
      const size_t top = stack.back().first;
      const netNode& node = m_node[top];
      if (stack.back().second < node.fanOutDirect.size()) {
        const size_t e = static_cast<size_t>(node.fanOutDirect[stack.back().second++]);
        if (state[e] == OPEN) alone[top] = 1;
        if (state[e] != UNSEEN) continue;
        state[e] = OPEN;
        stack.push_back({e, 0});
        continue;
      }
      stack.pop_back();
      state[top] = DONE;
      rep[top] = static_cast<int>(top);
      if (top < first || alone[top] || node.fanOutDirect.empty()) continue;
      auto placed =
          seen.insert({signature{node.dicIndex, node.sylStr, node.sylTag, successorsOf(node)}, static_cast<int>(top)});
      if (!placed.second) rep[top] = placed.first->second;
    }
  }
  // Each class is kept at its lowest index, so that the nodes keep their order.
  std::vector<int> lowest(n, -1);
  for (size_t i = 0; i < n; ++i) {
    int& low = lowest[static_cast<size_t>(rep[i])];
    if (low < 0) low = static_cast<int>(i);
  }
  std::vector<int> index(n, -1);
  std::vector<netNode> kept;
  for (size_t i = 0; i < n; ++i)
    if (lowest[static_cast<size_t>(rep[i])] == static_cast<int>(i)) {
      index[static_cast<size_t>(rep[i])] = static_cast<int>(kept.size());
      kept.push_back(m_node[i]);
    }
  if (kept.size() == n) return;
  for (netNode& node : kept) {
    std::vector<int> successors = successorsOf(node);
    for (int& e : successors) e = index[static_cast<size_t>(e)];
    node.fanOutDirect = successors;
  }
  m_node.swap(kept);
  m_nodeNum = static_cast<int>(m_node.size());
  linksChanged();
}

long long netClass::emittingStateNum(const dictClass& dict, const macroClass& models) const {
  long long states = 0;
  for (const netNode& node : m_node) {
    if (node.dicIndex < 0 || static_cast<size_t>(node.dicIndex) >= dict.m_pronDict.size()) continue;
    for (int m : dict.m_pronDict[static_cast<size_t>(node.dicIndex)].modelIndex)
      if (m >= 0 && m < models.MMF().modelNum) states += std::max(models.MMF().model[static_cast<size_t>(m)].stateNum - 2, 0);
  }
  return states;
}

long long netClass::linkFanOutNum() const {
  long long links = 0;
  for (const netNode& node : m_node)
    if (node.dicIndex >= 0) links += static_cast<long long>(node.fanOutIndirect.size());
  return links;
}

int netClass::maxFanOutNum() const {
  size_t most = 0;
  for (const netNode& node : m_node) most = std::max(most, node.fanOutIndirect.size());
  return static_cast<int>(most);
}

void netClass::nodePenaltySet(float penalty) {
  for (netNode& node : m_node) {
    node.penalty = 0.0f;
    if (node.sylStr == "filler" || node.sylStr == "fillerC" || node.sylStr == "fillerV") node.penalty = penalty;
  }
}

bool netClass::isWordNode(int i) const {
  const netNode& node = m_node[static_cast<size_t>(i)];
  return node.dicIndex >= 0 && node.sylStr != "sil" && node.sylStr != "sp";
}

namespace {
bool holds(const std::vector<int>& list, int value) { return std::find(list.begin(), list.end(), value) != list.end(); }
}  // namespace

void netClass::linkStopAnywhere() {
  const int n = static_cast<int>(m_node.size());
  for (int i = 4; i < n; ++i)
    if (isWordNode(i) && !holds(m_node[static_cast<size_t>(i)].fanOutDirect, 3))
      m_node[static_cast<size_t>(i)].fanOutDirect.push_back(3);
  linksChanged();
}

void netClass::linkStartAnywhere() {
  const int n = static_cast<int>(m_node.size());
  for (int i = 4; i < n; ++i)
    if (isWordNode(i) && !holds(m_node[2].fanOutDirect, i)) m_node[2].fanOutDirect.push_back(i);
  linksChanged();
}

void netClass::linkSkippableTrailingSil() {
  const int n = static_cast<int>(m_node.size());
  for (int i = 4; i < n; ++i)
    if (isWordNode(i) && holds(m_node[static_cast<size_t>(i)].fanOutDirect, 3))
      m_node[static_cast<size_t>(i)].fanOutDirect.push_back(1);
  linksChanged();
}

void netClass::linkSkippableLeadingSil() {
  const int n = static_cast<int>(m_node.size());
  for (int i = 4; i < n; ++i)
    if (isWordNode(i) && holds(m_node[2].fanOutDirect, i)) m_node[0].fanOutDirect.push_back(i);
  linksChanged();
}

int netClass::sylCountOnFirstPath() const {
  const int n = static_cast<int>(m_node.size());
  int count = 0;
  // At most one visit per node: a chain that loops, or has a node without successors,
  // ends the count.
  for (int i = 4, steps = 0; i >= 0 && i < n && i != 3 && steps < n; ++steps) {
    const netNode& node = m_node[static_cast<size_t>(i)];
    if (node.sylStr != "sil" && node.sylStr != "sp") ++count;
    if (node.fanOutDirect.empty()) break;
    i = node.fanOutDirect[0];
  }
  return count;
}

void netClass::treeNetBrowse() const {
  const int last = static_cast<int>(m_node.size()) - 1;
  printf("m_nodeNum = %d\n", m_nodeNum);
  while (true) {
    printf("Please input a tree net index within [0 %d]: ", last);
    fflush(stdout);
    std::string line;
    if (!fileReadLine(stdin, line)) {
      printf("\n");
      return;
    }
    const int i = strToInt(line.c_str());
    if (i < 0 || i > last) {
      printf("Index out of bound! Exiting...\n");
      return;
    }
    const netNode& node = m_node[static_cast<size_t>(i)];
    printf("\tNode index = %d\n", i);
    printf("\tm_node[%d].dicIndex = %d\n", i, node.dicIndex);
    printf("\tm_node[%d].sylStr = \"%s\"\n", i, node.sylStr.c_str());
    printf("\t%d direct fanout node = ", static_cast<int>(node.fanOutDirect.size()));
    for (int e : node.fanOutDirect) printf("%d(%s) ", e, m_node[static_cast<size_t>(e)].sylStr.c_str());
    printf("\n");
    printf("\t%d indirect fanout node = ", static_cast<int>(node.fanOutIndirect.size()));
    for (int e : node.fanOutIndirect) printf("%d(%s) ", e, m_node[static_cast<size_t>(e)].sylStr.c_str());
    printf("\n");
  }
}

void intVecPrint(const std::vector<int>& vec, const std::string& label) {
  printf("%s = ", label.c_str());
  for (int v : vec) printf("%d ", v);
  printf("\n");
}

}  // namespace tulim
