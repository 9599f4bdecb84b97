#include "viterbiClass.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <new>

#include "dictClass.h"
#include "utility.h"

namespace tulim {

// Messages of this module name it "viterbi".
#define VITERBI_HERE __LINE__, "viterbi"

namespace {

inline bool alive(const arenaCandidate& cand) { return cand.score > LOG_SMALL; }

// A live score's bits as an unsigned value that orders the scores from the highest down; the
// two zeros are one score.
inline uint32_t descendingOrder(float score) {
  if (score == 0.0f) score = 0.0f;
  uint32_t bits;
  std::memcpy(&bits, &score, sizeof bits);
  const uint32_t ascending = (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
  return ~ascending;
}

}  // namespace

viterbiClass::viterbiClass(int arenaLen)
    : m_arenaLen(arenaLen > 0 ? arenaLen : 0), m_arena(nullptr), m_order(nullptr) {
  if (m_arenaLen > 0) {
    size_t len = static_cast<size_t>(m_arenaLen);
    // Records are small: their history lists stay empty until a search returns.
    m_arena = new (std::nothrow) arenaCandidate[len]();
    m_order = static_cast<arenaCandidate**>(malloc(len * sizeof(arenaCandidate*)));
    if (!m_arena || !m_order) {
      delete[] m_arena;
      free(m_order);
      errorThrowf("Error: cannot allocate an arena of %d candidates (line %d of file %s)", m_arenaLen, VITERBI_HERE);
    }
    for (int i = 0; i < m_arenaLen; i++) m_order[i] = &m_arena[i];
    m_held.assign(len, 0);
    m_sylHead.assign(len, -1);
    m_phoneHead.assign(len, -1);
    m_sortKey.resize(len);
    m_sortTmp.resize(len);
  }
}

viterbiClass::~viterbiClass() {
  delete[] m_arena;
  free(m_order);
}

// ---- Node finders -----------------------------------------------------------------------

int viterbiClass::startNodeFind(const std::vector<netNode>& nodes) const {
  std::vector<int> entering(nodes.size(), 0);
  for (const netNode& node : nodes)
    for (int e : node.fanOutDirect)
      if (e >= 0 && static_cast<size_t>(e) < nodes.size()) entering[static_cast<size_t>(e)]++;
  int found = -1, count = 0;
  for (size_t i = 0; i < nodes.size(); i++)
    if (entering[i] == 0) {
      if (count == 0) found = static_cast<int>(i);
      count++;
    }
  if (count != 1) errorThrowf("Error: more than one starting nodes! (line %d of file %s)", VITERBI_HERE);
  return found;
}

int viterbiClass::endNodeFind(const std::vector<netNode>& nodes) const {
  int found = -1, count = 0;
  for (size_t i = 0; i < nodes.size(); i++)
    if (nodes[i].fanOutDirect.empty()) {
      if (count == 0) found = static_cast<int>(i);
      count++;
    }
  if (count != 1) errorThrowf("Error: more than one ending nodes! (line %d of file %s)", VITERBI_HERE);
  return found;
}


// ---- History ----------------------------------------------------------------------------

void viterbiClass::sylAdd(arenaCandidate& cand, int dicIndex, int node, int endFrame) {
  if (cand.sylNum >= MAX_SYL_NUM) errorThrowf("MAX_SYL_NUM exceeded! (line %d of file %s)", VITERBI_HERE);
  int& head = m_sylHead[recordOf(cand)];
  m_sylPool.push_back(sylEntry{head, dicIndex, node, endFrame, cand.score});
  head = static_cast<int>(m_sylPool.size() - 1);
  cand.sylNum++;
}

void viterbiClass::phoneAdd(arenaCandidate& cand, int modelPos, int endFrame) {
  if (cand.phoneNum >= MAX_PHONE_NUM)
    errorThrowf("MAX_PHONE_NUM (%d) exceeded! (line %d of file %s)", MAX_PHONE_NUM, VITERBI_HERE);
  int& head = m_phoneHead[recordOf(cand)];
  m_phonePool.push_back(phoneEntry{head, modelPos, endFrame, cand.score});
  head = static_cast<int>(m_phonePool.size() - 1);
  cand.phoneNum++;
}

arenaCandidate* viterbiClass::candidateCopy(const arenaCandidate& src, int lastPos) {
  if (lastPos >= m_arenaLen) return nullptr;
  arenaCandidate* dst = m_order[lastPos];
  dst->stateIdx = src.stateIdx;
  dst->modelPos = src.modelPos;
  dst->node = src.node;
  dst->score = src.score;
  dst->sylNum = src.sylNum;
  dst->phoneNum = src.phoneNum;
  const size_t from = recordOf(src), to = recordOf(*dst);
  m_sylHead[to] = m_sylHead[from];
  m_phoneHead[to] = m_phoneHead[from];
  m_held[to] = 1;
  return dst;
}

namespace {

constexpr size_t POOL_MIN = 4096;  // pool entries below which no compaction is worth it
// A place's steps over a frame, as the state scorer counts a state's, for the threads that
// score beside them. Measured, they take as long as 50 to 90 of them; counted as 24, so that
// more threads score: they start late and fault in the pages they fill, and with the count
// measured the search still waited for its rows (3 % more wall time on the bench task, 5 %
// less CPU time).
constexpr double PLACE_STEP_WORK = 24.0;

// The best of n scores into best and the worst live one (above LOG_SMALL) into worst, each
// kept where none beats it. Four of each side by side: one after the other, every comparison
// waited for the one before.
void bestAndWorst(size_t n, const float* values, float& best, float& worst) {
  float b[4] = {best, best, best, best}, w[4] = {worst, worst, worst, worst};
  size_t at = 0;
  for (; at + 4 <= n; at += 4)
    for (int k = 0; k < 4; k++) {
      const float value = values[at + static_cast<size_t>(k)];
      b[k] = value > b[k] ? value : b[k];
      w[k] = value > LOG_SMALL_FLOAT && value < w[k] ? value : w[k];
    }
  for (int k = 1; k < 4; k++) {
    b[0] = b[k] > b[0] ? b[k] : b[0];
    w[0] = w[k] < w[0] ? w[k] : w[0];
  }
  for (; at < n; at++) {
    const float value = values[at];
    b[0] = value > b[0] ? value : b[0];
    w[0] = value > LOG_SMALL_FLOAT && value < w[0] ? value : w[0];
  }
  best = b[0];
  worst = w[0];
}

// What staying gives each of n places (held: its score; dead at or below LOG_SMALL), and what
// it gives the place above where givesAbove is set (emission has one more, for the place above
// the last). A function of its own with restrict pointers: the compiler then knows the arrays
// apart and makes vector code of the loop, which it did not where they were the search's own.
void stayAndEnter(size_t n, const float* __restrict held, const float* __restrict selfTrans,
                  const float* __restrict nextTrans, const float* __restrict emission,
                  const uint8_t* __restrict givesAbove, float* __restrict stayed, float* __restrict entering) {
  for (size_t at = 0; at < n; at++) {
    const float h = held[at];
    const float stay = deadFloor(h + (selfTrans[at] + emission[at]));
    const float enter = deadFloor(h + (nextTrans[at] + emission[at + 1]));
    const float up = h > LOG_SMALL_FLOAT ? enter : LZERO;
    stayed[at] = h > LOG_SMALL_FLOAT ? stay : LZERO;
    entering[at] = givesAbove[at] ? up : LZERO;
  }
}

// Keeps the marked entries of a pool in order (an entry's earlier one always comes before
// it) and returns each old index's new one; heads are then mapped through it.
template <typename Entry>
std::vector<int> poolKeep(std::vector<Entry>& pool, const std::vector<uint8_t>& mark) {
  std::vector<int> to(pool.size(), -1);
  size_t n = 0;
  for (size_t i = 0; i < pool.size(); i++) {
    if (!mark[i]) continue;
    Entry e = pool[i];
    if (e.prev >= 0) e.prev = to[static_cast<size_t>(e.prev)];
    pool[n] = e;
    to[i] = static_cast<int>(n++);
  }
  pool.resize(n);
  return to;
}

template <typename Entry>
void poolMark(const std::vector<Entry>& pool, int head, std::vector<uint8_t>& mark) {
  for (int i = head; i >= 0 && !mark[static_cast<size_t>(i)]; i = pool[static_cast<size_t>(i)].prev)
    mark[static_cast<size_t>(i)] = 1;
}

}  // namespace

void viterbiClass::poolCompact() {
  // Every record that took a candidate in this search keeps its history: which of them the
  // positions still reach is not tracked, and a record beyond the count is overwritten soon.
  std::vector<uint8_t> sylMark(m_sylPool.size(), 0), phoneMark(m_phonePool.size(), 0);
  for (size_t rec = 0; rec < m_held.size(); rec++) {
    if (!m_held[rec]) continue;
    poolMark(m_sylPool, m_sylHead[rec], sylMark);
    poolMark(m_phonePool, m_phoneHead[rec], phoneMark);
  }
  const std::vector<int> sylTo = poolKeep(m_sylPool, sylMark);
  const std::vector<int> phoneTo = poolKeep(m_phonePool, phoneMark);
  for (size_t rec = 0; rec < m_held.size(); rec++) {
    if (!m_held[rec]) continue;
    int& syl = m_sylHead[rec];
    int& phone = m_phoneHead[rec];
    if (syl >= 0) syl = sylTo[static_cast<size_t>(syl)];
    if (phone >= 0) phone = phoneTo[static_cast<size_t>(phone)];
  }
  m_poolLimit = std::max<size_t>(POOL_MIN, 2 * (m_sylPool.size() + m_phonePool.size()));
}

void viterbiClass::poolsReserve() {
  // A frame adds at most an entry to each pool for each record: with this room the pools are
  // not moved before their first compaction, where growing step by step from nothing took
  // tens of moves. Later growth is by doubling, and rare.
  const size_t room = m_poolLimit + static_cast<size_t>(std::max(m_arenaLen, 0));
  m_sylPool.reserve(room);
  m_phonePool.reserve(room);
}

void viterbiClass::historiesFill(int count) {
  for (int pos = 0; pos < count; pos++) historyFill(pos);
}

void viterbiClass::historyFill(int pos) {
  if (pos < 0 || pos >= m_arenaLen) return;
  arenaCandidate& cand = *m_order[pos];
  const size_t rec = recordOf(cand);
  const size_t syls = static_cast<size_t>(cand.sylNum), phones = static_cast<size_t>(cand.phoneNum);
  cand.sylId.resize(syls);
  cand.sylNode.resize(syls);
  cand.sylEndFrame.resize(syls);
  cand.sylEndScore.resize(syls);
  cand.phonePos.resize(phones);
  cand.phoneEndFrame.resize(phones);
  cand.phoneEndScore.resize(phones);
  int e = m_sylHead[rec];
  for (size_t k = syls; k-- > 0; e = m_sylPool[static_cast<size_t>(e)].prev) {
    const sylEntry& entry = m_sylPool[static_cast<size_t>(e)];
    cand.sylId[k] = entry.sylId;
    cand.sylNode[k] = entry.node;
    cand.sylEndFrame[k] = entry.endFrame;
    cand.sylEndScore[k] = entry.endScore;
  }
  e = m_phoneHead[rec];
  for (size_t k = phones; k-- > 0; e = m_phonePool[static_cast<size_t>(e)].prev) {
    const phoneEntry& entry = m_phonePool[static_cast<size_t>(e)];
    cand.phonePos[k] = entry.pos;
    cand.phoneEndFrame[k] = entry.endFrame;
    cand.phoneEndScore[k] = entry.endScore;
  }
}

// ---- Search -----------------------------------------------------------------------------

int viterbiClass::branchKind(const arenaCandidate& cand) const {
  const nodeModels& nm = m_nodeModels[static_cast<size_t>(cand.node)];
  int model = nm.modelIndex[cand.modelPos];
  if (cand.stateIdx + 3 < m_scorer->models().MMF().model[static_cast<size_t>(model)].stateNum) return 2;
  if (cand.modelPos + 1 < nm.modelNum) return 1;
  return 0;
}

int viterbiClass::searchInit(const std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim,
                             int frameNum, int candidateNum, int& endNode) {
  stateScorer& scorer = *m_scorer;
  scorer.streamsCheck(dim);
  if (frameNum < 1) errorThrowf("Error: frameNum=%d < 1 (line %d of file %s)", frameNum, VITERBI_HERE);
  int startNode = startNodeFind(nodes);
  endNode = endNodeFind(nodes);
  const netNode& start = nodes[static_cast<size_t>(startNode)];
  int firstNum = start.dicIndex < 0 ? static_cast<int>(start.fanOutIndirect.size()) : 1;
  if (candidateNum > m_arenaLen)
    errorThrowf("Error: m_arenaLen=%d, candidateNum=%d (line %d of file %s)", m_arenaLen, candidateNum, VITERBI_HERE);
  if (firstNum > candidateNum)
    errorThrowf("Error: nodeNumForFirstFrame=%d, candidateNum=%d (line %d of file %s)", firstNum, candidateNum,
                VITERBI_HERE);

  // Every real node's syllable must name models the set and the cache hold; the frame loop
  // then trusts them.
  m_nodeModels.assign(nodes.size(), nodeModels{nullptr, 0});
  int nodeNum = static_cast<int>(nodes.size());
  for (int n = 0; n < nodeNum; n++) {
    const netNode& node = nodes[static_cast<size_t>(n)];
    for (int e : node.fanOutIndirect) {
      if (e < 0 || e >= nodeNum)
        errorThrowf("Error: node %d links to node %d outside the net (line %d of file %s)", n, e, VITERBI_HERE);
      // A successor's first model is scored on entry; only the end node is entered without
      // one, and never as one of a null start node's first-frame candidates.
      if (nodes[static_cast<size_t>(e)].dicIndex < 0 && (e != endNode || (n == startNode && start.dicIndex < 0)))
        errorThrowf("Error: node %d lists the null node %d among its indirect successors (line %d of file %s)", n, e,
                    VITERBI_HERE);
    }
    if (node.dicIndex < 0) continue;
    if (static_cast<size_t>(node.dicIndex) >= dict.m_pronDict.size())
      errorThrowf("Error: sylIndex (%d) of node %d out of the range of [0, %d]! (line %d of file %s)", node.dicIndex, n,
                  static_cast<int>(dict.m_pronDict.size()), VITERBI_HERE);
    const std::vector<int>& idx = dict.m_pronDict[static_cast<size_t>(node.dicIndex)].modelIndex;
    if (idx.empty())
      errorThrowf("Error: syllable \"%s\" of node %d has no model (line %d of file %s)",
                  dict.m_pronDict[static_cast<size_t>(node.dicIndex)].syl.c_str(), n, VITERBI_HERE);
    for (int model : idx) scorer.modelCheck(model, n);
    m_nodeModels[static_cast<size_t>(n)] = nodeModels{idx.data(), static_cast<int>(idx.size())};
  }

  scorer.cacheClear();
  m_netModels.clear();
  for (const nodeModels& nm : m_nodeModels)
    m_netModels.insert(m_netModels.end(), nm.modelIndex, nm.modelIndex + nm.modelNum);
  // The pass over the states asks for most of them on every frame: it has them scored a block
  // of frames at a time instead of by helpers that guess.
  m_placesOn = m_statePass && placesBuild(nodes, frameNum, candidateNum, m_descCandidateNum);
  scorer.aheadInit(m_netModels, !m_placesOn);

  // Each node gets the recombination slots its syllable can fill (the limit is checked
  // when a candidate takes one).
  if (m_stateSlot.size() < nodes.size()) m_stateSlot.resize(nodes.size());
  for (int n = 0; n < nodeNum; n++) {
    size_t need = static_cast<size_t>(std::min(m_nodeModels[static_cast<size_t>(n)].modelNum * MAX_STATE_NUM,
                                               MAX_STATE_NUM_IN_SYL));
    std::vector<int>& slots = m_stateSlot[static_cast<size_t>(n)];
    if (slots.size() < need) slots.resize(need, -1);
  }

  // Only the first candidateNum positions are read before being written.
  std::fill(m_held.begin(), m_held.end(), 0);
  m_sylPool.clear();
  m_phonePool.clear();
  m_poolLimit = POOL_MIN;
  poolsReserve();
  for (int i = 0; i < m_arenaLen; i++) m_order[i] = &m_arena[i];
  for (int i = 0; i < candidateNum; i++) {
    arenaCandidate& rec = m_arena[i];
    rec.stateIdx = 0;
    rec.modelPos = 0;
    rec.node = 0;
    rec.sylNum = 0;
    rec.phoneNum = 0;
    rec.score = LZERO;
    m_sylHead[static_cast<size_t>(i)] = -1;
    m_phoneHead[static_cast<size_t>(i)] = -1;
  }
  for (int j = 0; j < firstNum; j++) {
    arenaCandidate& cand = m_arena[j];
    cand.node = start.dicIndex < 0 ? start.fanOutIndirect[static_cast<size_t>(j)] : startNode;
    int model = m_nodeModels[static_cast<size_t>(cand.node)].modelIndex[0];
    cand.score = deadFloor(scorer.stateProb(features, model, 0, 0));
    m_held[static_cast<size_t>(j)] = 1;
  }
  return firstNum;
}

int viterbiClass::search(const std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim,
                         int frameNum, int candidateNum, stateScorer& scorer, float beam, int descCandidateNum) {
  m_scorer = &scorer;
  int endNode = -1;
  // Between frames positions live..N-1 are all dead, so each frame's steps skip them.
  int live = 0;
  int N = candidateNum;
  bool places = false;
  scorer.searchRun(
      features, dim, frameNum,
      [&] {
        m_descCandidateNum = descCandidateNum;
        live = searchInit(nodes, dict, features, dim, frameNum, candidateNum, endNode);
        places = m_placesOn;
      },
      [&] {
        N = places ? searchPlaces(nodes, features, dim, frameNum, beam, endNode, live)
                   : searchFrames(nodes, features, dim, frameNum, candidateNum, beam, descCandidateNum, endNode, live);
      });

  // Frames after the first sort their candidates; a one-frame utterance must be sorted
  // too, or m_order[0] would be the first start successor rather than the best.
  if (frameNum == 1) sortCandidates(N);
  int last = frameNum - 1;
  for (int i = 0; i < N; i++) {
    arenaCandidate& cand = *m_order[i];
    if (!m_held[recordOf(cand)] || cand.node == endNode) continue;
    sylAdd(cand, nodes[static_cast<size_t>(cand.node)].dicIndex, cand.node, last);
    phoneAdd(cand, cand.modelPos, last);
  }
  historiesFill(std::min(N, FILLED_HISTORIES));
  // No list of an earlier search stays behind to be read as this one's.
  for (int pos = FILLED_HISTORIES; pos < N; pos++) {
    arenaCandidate& cand = *m_order[pos];
    for (std::vector<int>* list : {&cand.sylId, &cand.sylNode, &cand.sylEndFrame, &cand.phonePos, &cand.phoneEndFrame})
      list->clear();
    cand.sylEndScore.clear();
    cand.phoneEndScore.clear();
  }
  m_scorer = nullptr;
  return N;
}

void viterbiClass::recombine(const std::vector<netNode>& nodes, int lastPos) {
  if (m_stateSlot.size() < nodes.size()) m_stateSlot.resize(nodes.size());
  recombineRange(lastPos, lastPos, lastPos);
}

void viterbiClass::recombineRange(int liveEnd, int deadEnd, int lastPos) {
  // A dead candidate between liveEnd and deadEnd could only lose a slot or die again.
  // First every slot a candidate is about to take is emptied, so that no position of a
  // former frame counts; then the candidates take their slots in position order.
  for (int pos = 0; pos < lastPos; pos++) {
    if (pos == liveEnd) pos = deadEnd;
    if (pos >= lastPos) break;
    const arenaCandidate& cand = *m_order[pos];
    int slot = cand.modelPos * MAX_STATE_NUM + cand.stateIdx;
    if (slot >= MAX_STATE_NUM_IN_SYL)
      errorThrowf("MAX_STATE_NUM_IN_SYL exceeded: index=%d, MAX_STATE_NUM_IN_SYL=%d (line %d of file %s)", slot,
                  MAX_STATE_NUM_IN_SYL, VITERBI_HERE);
    std::vector<int>& slots = m_stateSlot[static_cast<size_t>(cand.node)];
    if (static_cast<size_t>(slot) >= slots.size()) slots.resize(static_cast<size_t>(slot) + 1, -1);
    slots[static_cast<size_t>(slot)] = -1;
  }
  for (int pos = 0; pos < lastPos; pos++) {
    if (pos == liveEnd) pos = deadEnd;
    if (pos >= lastPos) break;
    arenaCandidate& cand = *m_order[pos];
    int& holder =
        m_stateSlot[static_cast<size_t>(cand.node)][static_cast<size_t>(cand.modelPos * MAX_STATE_NUM + cand.stateIdx)];
    if (holder < 0) {
      holder = pos;
    } else if (cand.score > m_order[holder]->score) {
      m_order[holder]->score = LZERO;
      holder = pos;
    } else {
      cand.score = LZERO;
    }
  }
}

void viterbiClass::sortCandidates(int lastPos) { sortRange(lastPos, lastPos, lastPos); }

int viterbiClass::sortRange(int liveEnd, int deadEnd, int lastPos) {
  // The search keeps every dead score at exactly LZERO, so ordering the live ones by
  // (score, position) and appending the dead in position order is the stable sort by score.
  int live = 0;
  for (int pos = 0; pos < lastPos; pos++) {
    if (pos == liveEnd) pos = deadEnd;
    if (pos >= lastPos) break;
    float score = m_order[pos]->score;
    if (score > LZERO) m_sortKey[static_cast<size_t>(live++)] = sortKey{descendingOrder(score), pos};
  }
  // The keys are in position order, so a stable sort by score alone is the sort by (score,
  // position); no two keys are equal, so every sort gives this one order.
  std::sort(m_sortKey.begin(), m_sortKey.begin() + live, [](const sortKey& a, const sortKey& b) {
    return a.order < b.order || (a.order == b.order && a.pos < b.pos);
  });
  size_t k = 0;
  for (int i = 0; i < live; i++) m_sortTmp[k++] = m_order[m_sortKey[static_cast<size_t>(i)].pos];
  for (int pos = 0; pos < liveEnd; pos++)
    if (!(m_order[pos]->score > LZERO)) m_sortTmp[k++] = m_order[pos];
  for (int pos = liveEnd; pos < deadEnd; pos++) m_sortTmp[k++] = m_order[pos];
  for (int pos = deadEnd; pos < lastPos; pos++)
    if (!(m_order[pos]->score > LZERO)) m_sortTmp[k++] = m_order[pos];
  std::copy(m_sortTmp.begin(), m_sortTmp.begin() + lastPos, m_order);
  return live;
}

int viterbiClass::prune(int t, int candidateNum, float beam, int descCandidateNum) {
  int live = candidateNum;
  return pruneLive(t, candidateNum, beam, descCandidateNum, live);
}

namespace {

// The count of frame t from that of the frame before.
int frameCount(int t, int N, int descCandidateNum) {
  if (descCandidateNum) {
    // Tenths in integers: N * 0.7 in floating point falls just short of whole numbers
    // (90 * 0.7 truncates to 62).
    int64_t tenths = t == 60 || t == 75 ? 8 : t == 100 ? 7 : t == 120 ? 6 : 10;
    if (tenths < 10 && N > 0) N = std::max(1, static_cast<int>(static_cast<int64_t>(N) * tenths / 10));
  }
  return N;
}

}  // namespace

int viterbiClass::pruneLive(int t, int candidateNum, float beam, int descCandidateNum, int& live) {
  const int N = frameCount(t, candidateNum, descCandidateNum);
  int limit = std::min(N, live);
  if (limit <= 0 || !m_order) {
    live = std::max(0, limit);
    return N;
  }
  double floor = static_cast<double>(m_order[0]->score) - static_cast<double>(beam);
  int i = 0;
  while (i < limit && !(m_order[i]->score < floor)) i++;
  for (int k = i; k < limit; k++)
    if (m_order[k]->score != LZERO) m_order[k]->score = LZERO;
  live = i;
  return N;
}

int viterbiClass::searchFrames(const std::vector<netNode>& nodes, const float* features, int dim, int frameNum,
                               int candidateNum, float beam, int descCandidateNum, int endNode, int live) {
  stateScorer& scorer = *m_scorer;
  auto transProb = [&](int model, int from, int to) { return scorer.transProb(model, from, to); };
  int N = candidateNum;
  for (int t = 1; t < frameNum; t++) {
    scorer.frameBegin(t);
    const float* x = features + static_cast<size_t>(t) * static_cast<size_t>(dim);
    auto prob = [&](int model, int state) { return scorer.stateProb(x, model, state, t); };
    int lastPos = N;
    bool full = false;
    for (int i = 0; i < live; i++) {
      arenaCandidate& cand = *m_order[i];
      if (!alive(cand)) continue;
      const nodeModels& nm = m_nodeModels[static_cast<size_t>(cand.node)];
      int model = nm.modelIndex[cand.modelPos];
      int s = cand.stateIdx;
      int kind = branchKind(cand);
      if (!full && kind == 0) {
        const std::vector<int>& next = nodes[static_cast<size_t>(cand.node)].fanOutIndirect;
        int nextNum = static_cast<int>(next.size());
        for (int j = 0; j < nextNum; j++) {
          arenaCandidate* copy = candidateCopy(cand, lastPos);
          if (!copy) {
            printf(
                "Warning: Arena is full! frameId=%d/%d, candidateId=%d/%d, branchId=%d/%d, lastPos (%d) > "
                "m_arenaLen-1 (%d)!\n",
                t, frameNum, i, N, j, nextNum, lastPos, m_arenaLen - 1);
            full = true;
            break;
          }
          int e = next[static_cast<size_t>(j)];
          copy->stateIdx = 0;
          copy->modelPos = 0;
          copy->node = e;
          if (e == endNode) {
            copy->score = LZERO;
          } else {
            int first = m_nodeModels[static_cast<size_t>(e)].modelIndex[0];
            copy->score = deadFloor(cand.score + transProb(model, s, s + 1) + prob(first, 0) +
                                    nodes[static_cast<size_t>(e)].penalty);
          }
          sylAdd(*copy, nodes[static_cast<size_t>(cand.node)].dicIndex, cand.node, t - 1);
          phoneAdd(*copy, cand.modelPos, t - 1);
          lastPos++;
        }
      } else if (!full) {
        arenaCandidate* copy = candidateCopy(cand, lastPos);
        if (!copy) {
          printf("Warning: Arena is full! frameId=%d, candidateId=%d, lastPos (%d) > m_arenaLen-1 (%d)!\n", t, i,
                 lastPos, m_arenaLen - 1);
          full = true;
        } else if (kind == 1) {
          copy->stateIdx = 0;
          copy->modelPos = cand.modelPos + 1;
          copy->score = deadFloor(copy->score + (transProb(model, s, s + 1) + prob(nm.modelIndex[copy->modelPos], 0)));
          phoneAdd(*copy, cand.modelPos, t - 1);
          lastPos++;
        } else {
          copy->stateIdx = s + 1;
          copy->score = deadFloor(copy->score + (transProb(model, s, s + 1) + prob(model, s + 1)));
          lastPos++;
        }
      }
      cand.score = deadFloor(cand.score + (transProb(model, s, s) + prob(model, s)));
    }
    recombineRange(live, N, lastPos);
    live = sortRange(live, N, lastPos);
    N = pruneLive(t, N, beam, descCandidateNum, live);
    if (m_sylPool.size() + m_phonePool.size() > m_poolLimit) poolCompact();
  }
  return N;
}

// ---- The pass over the states ------------------------------------------------------------
//
// With a count that holds every state, the candidates' pass keeps, after recombination, the
// best path into each state and prunes by the beam alone. The pass below computes the same
// over an array: each state takes the best of staying and of the paths entering it, with the
// same float operations in the same order, so every score equals the candidates' one. Only
// among paths of exactly equal scores may another one be kept: staying wins, as the
// candidate that stays (it comes first) does, then the earlier place.

bool viterbiClass::placesBuild(const std::vector<netNode>& nodes, int frameNum, int candidateNum,
                               int descCandidateNum) {
  const macroClass& models = m_scorer->models();
  const size_t nodeNum = nodes.size();
  auto emitting = [&](int model) { return models.MMF().model[static_cast<size_t>(model)].stateNum - 2; };
  m_nodeFirst.assign(nodeNum + 1, 0);
  for (size_t n = 0; n < nodeNum; n++) {
    const nodeModels& nm = m_nodeModels[n];
    int count = 0;
    for (int p = 0; p < nm.modelNum; p++) count += emitting(nm.modelIndex[p]);
    m_nodeFirst[n + 1] = m_nodeFirst[n] + count;
  }
  int least = candidateNum;
  for (int t = 1; t < frameNum && descCandidateNum; t++) least = frameCount(t, least, descCandidateNum);
  m_placesCount = least;
  const int placeNum = m_nodeFirst[nodeNum];
  if (placeNum > least || placeNum > m_arenaLen) return false;

  m_places.resize(static_cast<size_t>(placeNum));
  m_emissionOf.assign(static_cast<size_t>(models.MMF().modelNum) * MAX_STATE_NUM, -1);
  m_emissionKey.clear();
  m_lastPlaces.clear();
  for (size_t n = 0; n < nodeNum; n++) {
    const nodeModels& nm = m_nodeModels[n];
    size_t at = static_cast<size_t>(m_nodeFirst[n]);
    for (int p = 0; p < nm.modelNum; p++) {
      const int model = nm.modelIndex[p], Q = emitting(model);
      for (int s = 0; s < Q; s++, at++) {
        place& pl = m_places[at];
        const int key = model * MAX_STATE_NUM + s;
        int& e = m_emissionOf[static_cast<size_t>(key)];
        if (e < 0) {
          e = static_cast<int>(m_emissionKey.size());
          m_emissionKey.push_back(key);
        }
        pl.model = model;
        pl.state = s;
        pl.modelPos = p;
        pl.node = static_cast<int>(n);
        pl.emission = e;
        pl.selfTrans = m_scorer->transProb(model, s, s);
        pl.nextTrans = m_scorer->transProb(model, s, s + 1);
        pl.step = s + 1 < Q ? STEP_STATE : p + 1 < nm.modelNum ? STEP_MODEL : STEP_NODE;
        pl.tooDeep = p * MAX_STATE_NUM + s >= MAX_STATE_NUM_IN_SYL;
        if (pl.step == STEP_NODE) m_lastPlaces.push_back(static_cast<int>(at));
      }
    }
  }
  m_emissionFrame.assign(m_emissionKey.size(), -1);
  m_emissionScore.resize(m_emissionKey.size());
  return true;
}

void viterbiClass::placePoolCompact() {
  std::vector<uint8_t> sylMark(m_sylPool.size(), 0), phoneMark(m_phonePool.size(), 0);
  const size_t placeNum = m_places.size();
  for (size_t at = 0; at < placeNum; at++) {
    if (!(m_score[at] > LOG_SMALL)) continue;
    poolMark(m_sylPool, m_hold.sylHead[at], sylMark);
    poolMark(m_phonePool, m_hold.phoneHead[at], phoneMark);
  }
  const std::vector<int> sylTo = poolKeep(m_sylPool, sylMark);
  const std::vector<int> phoneTo = poolKeep(m_phonePool, phoneMark);
  for (size_t at = 0; at < placeNum; at++) {
    if (!(m_score[at] > LOG_SMALL)) continue;
    int& syl = m_hold.sylHead[at];
    int& phone = m_hold.phoneHead[at];
    if (syl >= 0) syl = sylTo[static_cast<size_t>(syl)];
    if (phone >= 0) phone = phoneTo[static_cast<size_t>(phone)];
  }
  // The candidates' margin: a larger one compacts less often, but grows the pools into pages
  // touched for the first time, and those cost more than the compactions saved.
  m_poolLimit = std::max<size_t>(POOL_MIN, 2 * (m_sylPool.size() + m_phonePool.size()));
}

int viterbiClass::searchPlaces(const std::vector<netNode>& nodes, const float* features, int dim, int frameNum,
                               float beam, int endNode, int firstNum) {
  stateScorer& scorer = *m_scorer;
  const size_t placeNum = m_places.size();
  m_score.assign(placeNum, LZERO);
  m_scoreNext.resize(placeNum);
  m_hold.assign(placeNum);
  m_holdNext.assign(placeNum);
  m_from.resize(placeNum);
  for (int j = 0; j < firstNum; j++) {
    const arenaCandidate& cand = m_arena[j];
    float& score = m_score[static_cast<size_t>(m_nodeFirst[static_cast<size_t>(cand.node)])];
    if (cand.score > score) score = cand.score;
  }
  // What the frame loop reads of every place, side by side.
  std::vector<float> selfTrans(placeNum), nextTrans(placeNum);
  std::vector<int> emissionOf(placeNum);
  std::vector<uint8_t> stepOf(placeNum), givesAbove(placeNum);
  std::vector<int> modelPosOf(placeNum);
  std::vector<uint8_t> tooDeepOf(placeNum);
  // The first states of the nodes' second and later models, top down: a path that enters one
  // closes the model below in its history.
  std::vector<size_t> modelFirsts;
  for (size_t at = placeNum; at-- > 1;)
    if (m_places[at - 1].step == STEP_MODEL) modelFirsts.push_back(at);
  std::vector<size_t> wonFirsts(modelFirsts.size());  // per frame, those the path from below won
  for (size_t at = 0; at < placeNum; at++) {
    modelPosOf[at] = m_places[at].modelPos;
    tooDeepOf[at] = m_places[at].tooDeep;
    selfTrans[at] = m_places[at].selfTrans;
    nextTrans[at] = m_places[at].nextTrans;
    emissionOf[at] = m_places[at].emission;
    stepOf[at] = m_places[at].step;
    givesAbove[at] = m_places[at].step != STEP_NODE;
  }
  float* score = m_score.data();
  float* next = m_scoreNext.data();
  int* from = m_from.data();
  int* emissionFrame = m_emissionFrame.data();
  float* emissionScore = m_emissionScore.data();
  std::vector<int> enteredAt(placeNum, 0);  // the frame a node entry last won the place
  // The node entries each node's last place makes, side by side: the first place of the node
  // entered and that node's penalty, those of m_lastPlaces[k] from entryStart[k] on.
  std::vector<size_t> entryStart(m_lastPlaces.size() + 1, 0), entryFirst;
  std::vector<float> entryPenalty;
  for (size_t k = 0; k < m_lastPlaces.size(); k++) {
    for (int e : nodes[static_cast<size_t>(m_places[static_cast<size_t>(m_lastPlaces[k])].node)].fanOutIndirect) {
      if (e == endNode) continue;
      entryFirst.push_back(static_cast<size_t>(m_nodeFirst[static_cast<size_t>(e)]));
      entryPenalty.push_back(nodes[static_cast<size_t>(e)].penalty);
    }
    entryStart[k + 1] = entryFirst.size();
  }
  // The first place of each node that has places; per place, what a syllable closed there
  // records (read at nodes' last places).
  std::vector<size_t> nodeFirstPlace;
  for (size_t n = 0; n + 1 < m_nodeFirst.size(); n++)
    if (m_nodeFirst[n] != m_nodeFirst[n + 1]) nodeFirstPlace.push_back(static_cast<size_t>(m_nodeFirst[n]));
  std::vector<int> nodeOf(placeNum), dicIndexOf(placeNum);
  for (size_t at = 0; at < placeNum; at++) {
    nodeOf[at] = m_places[at].node;
    dicIndexOf[at] = nodes[static_cast<size_t>(m_places[at].node)].dicIndex;
  }

  // The scores of a block of frames, for the states the places held at its start ask for
  // (their own and those they may enter): blockOf[e] is the block's first frame when it has e.
  constexpr int BLOCK_FRAMES = 16;
  const size_t emissionNum = m_emissionKey.size();
  std::vector<int> blockOf(emissionNum, -1), blockColumn(emissionNum, 0), blockKeys;
  std::vector<float> blockScores;
  // Frame t's row of the block is blockRows + (t - blockStart) * blockWidth: in blockScores, or
  // in the scorer's kept rows (blockInKept).
  const float* blockRows = nullptr;
  size_t blockWidth = 0;
  bool blockInKept = false;
  std::vector<int> placeColumn(placeNum, -1);  // per place, its state's column in the block
  bool blockMisses = true;                       // some place has none
  // Per place, this frame: its emission (one more, never read, above the last), what staying
  // gives it and what it gives the place above.
  std::vector<float> placeScore(placeNum + 1, 0.0f), stayed(placeNum), entering(placeNum);
  // Per place, this frame: all ones when the path from the place below wins.
  std::vector<int32_t> winsOf(placeNum, 0);
  int blockStart = -1, blockLast = 0;
  // Sets out the block from frame t: the states to score on its frames.
  auto blockSet = [&](int t) {
    blockStart = t;
    blockKeys.clear();
    auto want = [&](size_t e) {
      if (blockOf[e] == t) return;
      blockOf[e] = t;
      blockColumn[e] = static_cast<int>(blockKeys.size());
      blockKeys.push_back(m_emissionKey[e]);
    };
    for (size_t at = 0; at < placeNum; at++) {
      if (!(score[at] > LOG_SMALL)) continue;
      want(static_cast<size_t>(emissionOf[at]));
      if (stepOf[at] != STEP_NODE) {
        want(static_cast<size_t>(emissionOf[at + 1]));
        continue;
      }
      for (int e : nodes[static_cast<size_t>(m_places[at].node)].fanOutIndirect)
        if (e != endNode) want(static_cast<size_t>(emissionOf[static_cast<size_t>(m_nodeFirst[static_cast<size_t>(e)])]));
    }
    // When they are most states of the net, the beam prunes little: every state for the rest
    // of the frames in one block, shared out at once. Its scores are read where the scorer
    // keeps them for the ranking after the search, when it keeps every state's: a copy of
    // them all would only fill more pages.
    const bool rest = 4 * blockKeys.size() >= 3 * emissionNum;
    if (rest)
      for (size_t e = 0; e < emissionNum; e++) want(e);
    blockLast = rest ? frameNum - 1 : std::min(frameNum - 1, t + BLOCK_FRAMES - 1);
    const int last = blockLast;
    const float* kept = rest ? scorer.keptRows(features, dim) : nullptr;
    for (size_t e = 0; kept && e < emissionNum; e++)
      if (scorer.keptColumn(m_emissionKey[e]) < 0) kept = nullptr;
    blockInKept = kept != nullptr;
    if (blockInKept) {
      for (size_t e = 0; e < emissionNum; e++) blockColumn[e] = scorer.keptColumn(m_emissionKey[e]);
      blockRows = kept + static_cast<size_t>(t) * scorer.keptWidth();
      blockWidth = scorer.keptWidth();
    } else {
      blockScores.resize(blockKeys.size() * static_cast<size_t>(last - t + 1));
      blockRows = blockScores.data();
      blockWidth = blockKeys.size();
    }
    blockMisses = false;
    for (size_t at = 0; at < placeNum; at++) {
      const size_t e = static_cast<size_t>(emissionOf[at]);
      placeColumn[at] = blockOf[e] == t ? blockColumn[e] : -1;
      blockMisses = blockMisses || placeColumn[at] < 0;
    }
  };

  auto frameSearch = [&](int t) {
    const float* x = features + static_cast<size_t>(t) * static_cast<size_t>(dim);
    const float* blockRow = blockRows + static_cast<size_t>(t - blockStart) * blockWidth;
    auto emission = [&](int e) {
      const size_t i = static_cast<size_t>(e);
      if (blockOf[i] == blockStart) return blockRow[blockColumn[i]];
      if (emissionFrame[i] != t) {
        const int key = m_emissionKey[i];
        emissionScore[i] = scorer.stateProb(x, key / MAX_STATE_NUM, key % MAX_STATE_NUM, t);
        emissionFrame[i] = t;
      }
      return emissionScore[i];
    };
    // Each place's emission of the frame: from the block's row, or scored now for a place that
    // is held, or that the one below may enter, without a column in the block.
    for (size_t at = 0; at < placeNum; at++) {
      const int column = placeColumn[at];
      placeScore[at] = column >= 0 ? blockRow[column] : 0.0f;
    }
    if (blockMisses)
      for (size_t at = 0; at < placeNum; at++)
        if (placeColumn[at] < 0 && (score[at] > LOG_SMALL_FLOAT || (at > 0 && score[at - 1] > LOG_SMALL_FLOAT)))
          placeScore[at] = emission(emissionOf[at]);
    // What staying gives each place, and what the place above gets from it; then each place
    // takes the better, staying on equal scores. A node's last place gives the next node's
    // first nothing: that one is entered from the nodes before it, below.
    stayAndEnter(placeNum, score, selfTrans.data(), nextTrans.data(), placeScore.data(), givesAbove.data(),
                 stayed.data(), entering.data());
    // Each place takes the better, staying on equal scores, and the history that comes with
    // it: that of the frame before, of itself or of the place below. These loops have no
    // branches, so that the compiler makes vector code of them.
    if (placeNum > 0) next[0] = stayed[0];
    for (size_t at = 1; at < placeNum; at++) {
      const float enter = entering[at - 1], stay = stayed[at];
      const bool wins = enter > stay;
      next[at] = wins ? enter : stay;
      winsOf[at] = wins ? -1 : 0;
    }
    {
      const int* from[4] = {m_hold.sylHead.data(), m_hold.phoneHead.data(), m_hold.sylNum.data(),
                            m_hold.phoneNum.data()};
      int* to[4] = {m_holdNext.sylHead.data(), m_holdNext.phoneHead.data(), m_holdNext.sylNum.data(),
                    m_holdNext.phoneNum.data()};
      for (int field = 0; field < 4; field++) {
        const int* held = from[field];
        int* taken = to[field];
        if (placeNum > 0) taken[0] = held[0];
        for (size_t at = 1; at < placeNum; at++) {
          const int32_t wins = winsOf[at];
          taken[at] = (held[at - 1] & wins) | (held[at] & ~wins);
        }
      }
    }
    // A path that left a model closes it in its history, with its score on entry. The first
    // states the path from below won are picked out without a branch: which ones win is as
    // good as random.
    {
      int* phoneHead = m_holdNext.phoneHead.data();
      int* phoneNum = m_holdNext.phoneNum.data();
      size_t won = 0;
      for (const size_t at : modelFirsts) {
        wonFirsts[won] = at;
        won += static_cast<size_t>(winsOf[at] & 1);
      }
      for (size_t k = 0; k < won; k++) {
        const size_t at = wonFirsts[k];
        const int count = phoneNum[at] + 1;
        if (count > MAX_PHONE_NUM)
          errorThrowf("MAX_PHONE_NUM (%d) exceeded! (line %d of file %s)", MAX_PHONE_NUM, VITERBI_HERE);
        // Only a model's first state is entered from another model or node.
        if (tooDeepOf[at])
          errorThrowf("MAX_STATE_NUM_IN_SYL exceeded: index=%d, MAX_STATE_NUM_IN_SYL=%d (line %d of file %s)",
                      m_places[at].modelPos * MAX_STATE_NUM + m_places[at].state, MAX_STATE_NUM_IN_SYL,
                      VITERBI_HERE);
        m_phonePool.push_back(phoneEntry{phoneHead[at], modelPosOf[at - 1], t - 1, next[at]});
        phoneHead[at] = static_cast<int>(m_phonePool.size() - 1);
        phoneNum[at] = count;
      }
    }
    // The paths that leave a node enter the nodes after it: a node entry wins over the paths
    // within the node entered on a greater score only.
    for (size_t k = 0; k < m_lastPlaces.size(); k++) {
      const size_t at = static_cast<size_t>(m_lastPlaces[k]);
      const float held = score[at];
      if (!(held > LOG_SMALL)) continue;
      const float out = held + nextTrans[at];
      for (size_t j = entryStart[k]; j < entryStart[k + 1]; j++) {
        const size_t first = entryFirst[j];
        // A node's first place has its column in the block, or is scored now.
        const float enter = deadFloor(out + (blockMisses ? emission(emissionOf[first]) : placeScore[first]) +
                                      entryPenalty[j]);
        if (enter > next[first]) {
          next[first] = enter;
          from[first] = static_cast<int>(at);
          enteredAt[first] = t;
        }
      }
    }
    // The paths that entered a node close the one they left, node by node: the histories are
    // read from the frame before and written to this one, so the order changes nothing else.
    for (const size_t at : nodeFirstPlace) {
      if (enteredAt[at] != t) continue;
      const size_t src = static_cast<size_t>(from[at]);
      placeHold h = m_hold.of(src);
      const float value = next[at];
      const int syls = h.sylNum + 1, phones = h.phoneNum + 1;
      if (syls > MAX_SYL_NUM) errorThrowf("MAX_SYL_NUM exceeded! (line %d of file %s)", VITERBI_HERE);
      m_sylPool.push_back(sylEntry{h.sylHead, dicIndexOf[src], nodeOf[src], t - 1, value});
      h.sylHead = static_cast<int>(m_sylPool.size() - 1);
      if (phones > MAX_PHONE_NUM)
        errorThrowf("MAX_PHONE_NUM (%d) exceeded! (line %d of file %s)", MAX_PHONE_NUM, VITERBI_HERE);
      m_phonePool.push_back(phoneEntry{h.phoneHead, modelPosOf[src], t - 1, value});
      h.phoneHead = static_cast<int>(m_phonePool.size() - 1);
      h.sylNum = syls;
      h.phoneNum = phones;
      m_holdNext.set(at, h);
      if (tooDeepOf[at])
        errorThrowf("MAX_STATE_NUM_IN_SYL exceeded: index=%d, MAX_STATE_NUM_IN_SYL=%d (line %d of file %s)",
                    m_places[at].modelPos * MAX_STATE_NUM + m_places[at].state, MAX_STATE_NUM_IN_SYL, VITERBI_HERE);
    }
    // The beam, when it reaches below the worst score held (a dead place holds LZERO, below
    // every live score).
    float best = LZERO, worst = std::numeric_limits<float>::max();
    bestAndWorst(placeNum, next, best, worst);
    const double floor = static_cast<double>(best) - static_cast<double>(beam);
    if (best > LOG_SMALL && worst < floor)
      for (size_t at = 0; at < placeNum; at++) {
        const float value = next[at];
        next[at] = ((value > LOG_SMALL_FLOAT) & (value < floor)) ? LZERO : value;
      }
    std::swap(score, next);
    m_score.swap(m_scoreNext);
    m_hold.swap(m_holdNext);
    if (m_sylPool.size() + m_phonePool.size() > m_poolLimit) placePoolCompact();
  };
  // A block's frames are scored on the threads while this one steps over those scored.
  const double stepWork = PLACE_STEP_WORK * static_cast<double>(placeNum);
  for (int t = 1; t < frameNum; t = blockLast + 1) {
    scorer.frameBegin(t);
    blockSet(t);
    scorer.statesScoreBeside(features, dim, t, blockLast, blockKeys.data(), blockKeys.size(),
                             blockInKept ? nullptr : blockScores.data(),
                             stepWork, [&](const std::function<void(int)>& rowWait) {
                               for (int u = t; u <= blockLast; u++) {
                                 if (u > t) scorer.frameBegin(u);
                                 rowWait(u);
                                 frameSearch(u);
                               }
                             });
  }

  // The places still held become the first records, best first; the count returned is the
  // candidates' pass's.
  std::vector<int> order;
  for (size_t at = 0; at < placeNum; at++)
    if (m_score[at] > LOG_SMALL) order.push_back(static_cast<int>(at));
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    const float sa = m_score[static_cast<size_t>(a)], sb = m_score[static_cast<size_t>(b)];
    return sa > sb || (sa == sb && a < b);
  });
  std::fill(m_held.begin(), m_held.end(), 0);
  const int count = static_cast<int>(order.size());
  for (int i = 0; i < count; i++) {
    const size_t at = static_cast<size_t>(order[static_cast<size_t>(i)]);
    const placeHold held = m_hold.of(at);
    const place& pl = m_places[at];
    arenaCandidate& rec = m_arena[i];
    rec.stateIdx = pl.state;
    rec.modelPos = pl.modelPos;
    rec.node = pl.node;
    rec.score = m_score[at];
    rec.sylNum = held.sylNum;
    rec.phoneNum = held.phoneNum;
    m_sylHead[static_cast<size_t>(i)] = held.sylHead;
    m_phoneHead[static_cast<size_t>(i)] = held.phoneHead;
    m_held[static_cast<size_t>(i)] = 1;
    m_order[i] = &rec;
  }
  // The rest of the count are dead, as the candidates' pass leaves them.
  for (int i = count; i < m_placesCount; i++) {
    arenaCandidate& rec = m_arena[i];
    rec.stateIdx = 0;
    rec.modelPos = 0;
    rec.node = endNode;
    rec.score = LZERO;
    rec.sylNum = 0;
    rec.phoneNum = 0;
    m_sylHead[static_cast<size_t>(i)] = -1;
    m_phoneHead[static_cast<size_t>(i)] = -1;
    m_order[i] = &rec;
  }
  return m_placesCount;
}

}  // namespace tulim
