// The frame-synchronous Viterbi beam search of one utterance over a syllable net, with its
// bounded arena of candidates; the states are scored by a stateScorer. Driven by the
// recognition core; the segmentation, the label writers and the best-path-to-text mapping
// read the candidates.
#pragma once

#include <cstdint>
#include <vector>

#include "arenaCandidate.h"
#include "macroClass.h"
#include "netClass.h"
#include "stateScorer.h"

namespace tulim {

class dictClass;

class viterbiClass {
 public:
  int m_arenaLen;           // candidate records in the arena
  arenaCandidate* m_arena;  // m_arenaLen records
  // The search sorts and overwrites candidates through these pointers; records never move.
  arenaCandidate** m_order;
  // When the count of every frame is at least the net's emitting states, the histogram can
  // never prune and the search runs over an array of the states instead of sorting
  // candidates: the same paths and scores at a fraction of the cost. false keeps the
  // candidates' pass always (the tests compare the two).
  bool m_statePass = true;

  // Allocates the arena when arenaLen > 0; 0 makes an object that only finds start and end
  // nodes.
  explicit viterbiClass(int arenaLen);
  ~viterbiClass();
  viterbiClass(const viterbiClass&) = delete;
  viterbiClass& operator=(const viterbiClass&) = delete;

  // Runs the search over frameNum frames of dim floats each (frame-major), the states scored
  // by scorer, and returns the final candidate count N; m_order[0..N-1] are then sorted by
  // score, best first, and their histories are closed at the last frame. The lists of the
  // first FILLED_HISTORIES are filled in; those of the others are empty until historyFill
  // fills them, as it can until the next search (the records beyond N hold none).
  // descCandidateNum lowers N at frames 60, 75, 100 and 120.
  int search(const std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim, int frameNum,
             int candidateNum, stateScorer& scorer, float beam, int descCandidateNum);

  // The arena a search of candidateNum candidates over a net of stateNum emitting states
  // needs: one record per candidate when the count holds every state on every frame (the
  // search then runs over the states), otherwise candidatesArena, what the candidates need.
  static long long arenaLenFor(long long candidateNum, long long stateNum, int descCandidateNum,
                               long long candidatesArena) {
    return candidateNum >= stateNum && !descCandidateNum ? candidateNum : candidatesArena;
  }

  // The one node that no link enters, and the one node without outgoing links.
  int startNodeFind(const std::vector<netNode>& nodes) const;
  int endNodeFind(const std::vector<netNode>& nodes) const;

  // ---- Steps of the search, open to the tests -------------------------------------------

  // Kills (LZERO) every candidate at positions 0..lastPos-1 that another one in the same
  // node, model position and state beats; on equal scores the later position dies.
  void recombine(const std::vector<netNode>& nodes, int lastPos);
  // Orders the pointers at positions 0..lastPos-1 by score, highest first, equal scores in
  // position order (no score lies below LZERO: the search keeps dead ones at exactly LZERO).
  void sortCandidates(int lastPos);
  // The candidate count for frame t (lowered at frames 60, 75, 100 and 120 when
  // descCandidateNum is set, never below 1); then every position below it from the first one
  // more than beam under position 0 is killed. Returns the count.
  int prune(int t, int candidateNum, float beam, int descCandidateNum);
  // Append one closed syllable or phone with the candidate's current score to its history.
  void sylAdd(arenaCandidate& cand, int dicIndex, int node, int endFrame);
  void phoneAdd(arenaCandidate& cand, int modelPos, int endFrame);
  // Fills the lists of the candidate at position pos, or of those at 0..count-1, from their
  // histories.
  void historyFill(int pos);
  void historiesFill(int count);
  // The candidates whose lists a search fills: as many as any list of results shows. A net
  // of many states leaves a thousand and more, and their lists cost more than their search.
  static constexpr int FILLED_HISTORIES = 100;

 private:
  struct nodeModels {
    const int* modelIndex;  // the node's syllable models; null for a null node
    int modelNum;
  };
  struct sortKey {
    uint32_t order;  // the score's bits, turned so that a higher score gives a lower value
    int pos;
  };
  // A history is a chain of entries in two pools shared by all candidates: a branch copies
  // the head of a chain instead of the whole history.
  struct sylEntry {
    int prev;  // earlier entry of the same history; -1 at its start
    int sylId;
    int node;
    int endFrame;
    float endScore;
  };
  struct phoneEntry {
    int prev;
    int pos;
    int endFrame;
    float endScore;
  };

  stateScorer* m_scorer = nullptr;       // of the current search
  std::vector<nodeModels> m_nodeModels;  // per net node, for the current search
  std::vector<int> m_netModels;          // the models of every node, node after node
  // Per net node, the recombination slots (model position * MAX_STATE_NUM + state): the
  // position of the candidate that holds each, -1 for none.
  std::vector<std::vector<int>> m_stateSlot;
  std::vector<uint8_t> m_held;    // per record: holds a candidate of this search
  std::vector<int> m_sylHead;     // per record: last entry of its syllable history
  std::vector<int> m_phoneHead;
  std::vector<sylEntry> m_sylPool;
  std::vector<phoneEntry> m_phonePool;
  size_t m_poolLimit = 0;  // pool entries at which the unreachable ones are dropped
  // Room in both pools for what they may hold before their first compaction.
  void poolsReserve();
  std::vector<sortKey> m_sortKey;
  std::vector<arenaCandidate*> m_sortTmp;

  int searchInit(const std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim,
                 int frameNum, int candidateNum, int& endNode);
  // The steps over positions 0..liveEnd-1 and deadEnd..lastPos-1; those between are dead.
  void recombineRange(int liveEnd, int deadEnd, int lastPos);
  // Returns the number of live candidates, which now come first.
  int sortRange(int liveEnd, int deadEnd, int lastPos);
  // prune over the first live positions only (the rest are dead); live becomes the number
  // that survive.
  int pruneLive(int t, int candidateNum, float beam, int descCandidateNum, int& live);
  int branchKind(const arenaCandidate& cand) const;
  // A copy of src's state and history at position lastPos; null when the arena has no
  // record left.
  arenaCandidate* candidateCopy(const arenaCandidate& src, int lastPos);
  // Drops the pool entries that no record holding a candidate reaches.
  void poolCompact();
  size_t recordOf(const arenaCandidate& cand) const { return static_cast<size_t>(&cand - m_arena); }
  // The frames 1..frameNum-1 of the search, from live candidates on; returns the final N.
  int searchFrames(const std::vector<netNode>& nodes, const float* features, int dim, int frameNum, int candidateNum,
                   float beam, int descCandidateNum, int endNode, int live);

  // ---- The pass over the states ------------------------------------------------------------
  // Every emitting state of the net is a place: node after node, model after model, state
  // after state. The places of node n are m_nodeFirst[n] .. m_nodeFirst[n + 1] - 1.
  enum placeStep : uint8_t {
    STEP_STATE,  // the next place is the model's next state
    STEP_MODEL,  // the next place is the first state of the node's next model
    STEP_NODE,   // the last state of the node: the path goes on into the node's successors
  };
  struct place {
    int model;
    int state;
    int modelPos;
    int node;
    int emission;     // index of the place's (model, state) among the net's distinct ones
    float selfTrans;  // staying
    float nextTrans;  // leaving for the next place or node
    placeStep step;
    bool tooDeep;     // a candidate here exceeds MAX_STATE_NUM_IN_SYL
  };
  // The history of what a place holds between frames: the last entries of its two lists, and
  // the entries of each list up to them.
  struct placeHold {
    int sylHead;
    int phoneHead;
    int sylNum;
    int phoneNum;
  };
  // The same for every place, one array a field, so that a frame's loops over them make
  // vector code.
  struct placeHolds {
    std::vector<int> sylHead, phoneHead, sylNum, phoneNum;
    void assign(size_t n) {
      sylHead.assign(n, -1);
      phoneHead.assign(n, -1);
      sylNum.assign(n, 0);
      phoneNum.assign(n, 0);
    }
    placeHold of(size_t at) const { return placeHold{sylHead[at], phoneHead[at], sylNum[at], phoneNum[at]}; }
    void set(size_t at, const placeHold& h) {
      sylHead[at] = h.sylHead;
      phoneHead[at] = h.phoneHead;
      sylNum[at] = h.sylNum;
      phoneNum[at] = h.phoneNum;
    }
    void swap(placeHolds& other) {
      sylHead.swap(other.sylHead);
      phoneHead.swap(other.phoneHead);
      sylNum.swap(other.sylNum);
      phoneNum.swap(other.phoneNum);
    }
  };
  std::vector<int> m_nodeFirst;
  std::vector<place> m_places;
  std::vector<int> m_lastPlaces;  // the places of STEP_NODE, in order
  std::vector<float> m_score, m_scoreNext;  // per place; LZERO: empty
  // Per place: the histories of the frame before, and the ones the frame being searched makes
  // from them.
  placeHolds m_hold, m_holdNext;
  std::vector<int> m_from;              // per place, this frame: the place its best path came from
  std::vector<int> m_emissionOf;        // per (model, state) key: its index, -1 when not in the net
  std::vector<int> m_emissionKey;       // per index, its key
  std::vector<int> m_emissionFrame;     // per index: the frame its score is of
  std::vector<float> m_emissionScore;
  int m_placesCount = 0;  // the count of the last frame
  bool m_placesOn = false;  // the search runs over the places
  int m_descCandidateNum = 0;

  // The places of the net; false when a frame's count may be below their number.
  bool placesBuild(const std::vector<netNode>& nodes, int frameNum, int candidateNum, int descCandidateNum);
  // The frames 1..frameNum-1 over the places, from the candidates searchInit made; the
  // candidates left, best first, are then the first records, and dead ones fill the rest of
  // the last frame's count, which is returned.
  int searchPlaces(const std::vector<netNode>& nodes, const float* features, int dim, int frameNum, float beam,
                   int endNode, int firstNum);
  // Drops the pool entries that no held place reaches.
  void placePoolCompact();
};

}  // namespace tulim
