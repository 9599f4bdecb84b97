#include "viterbiClass.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dictClass.h"
#include "utility.h"

namespace tulim {

// Messages of this module name it "viterbi".
#define VITERBI_HERE __LINE__, "viterbi"

namespace {

// Scores that fell to LOG_SMALL or below stay exactly dead, so that float rounding near
// LZERO cannot lift them above it again.
inline float deadFloor(float score) { return score <= LOG_SMALL ? LZERO : score; }

inline bool alive(const arenaCandidate& cand) { return cand.score > LOG_SMALL; }

}  // namespace

viterbiClass::viterbiClass(int arenaLen, int modelNum)
    : m_modelNum(modelNum > 0 ? modelNum : 0),
      m_arenaLen(arenaLen > 0 ? arenaLen : 0),
      m_arena(nullptr),
      m_order(nullptr) {
  if (m_modelNum > 0) m_stateProbCache.resize(static_cast<size_t>(m_modelNum));
  if (m_arenaLen > 0) {
    size_t len = static_cast<size_t>(m_arenaLen);
    m_arena = static_cast<arenaCandidate*>(calloc(len, sizeof(arenaCandidate)));
    m_order = static_cast<arenaCandidate**>(calloc(len, sizeof(arenaCandidate*)));
    if (!m_arena || !m_order) {
      free(m_arena);
      free(m_order);
      errorThrowf("Error: cannot allocate an arena of %d candidates (line %d of file %s)", m_arenaLen, VITERBI_HERE);
    }
    for (int i = 0; i < m_arenaLen; i++) m_order[i] = &m_arena[i];
    m_held.assign(len, 0);
    m_sortKey.resize(len);
    m_sortTmp.resize(len);
  }
}

viterbiClass::~viterbiClass() {
  free(m_arena);
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

// ---- Scores -----------------------------------------------------------------------------

float viterbiClass::transProb(int modelIdx, int from, int to) const {
  return m_models->MMF.model[static_cast<size_t>(modelIdx)].transProb[from + 1][to + 1];
}

void viterbiClass::mixtureLogProb(const float* x, const gaussBlock& block, int width, float* out) const {
  // Mixtures side by side: each one's sum still runs over the dimensions in order, in
  // single precision, so every value is the one the plain per-mixture loop gives.
  float acc[MAX_MIXTURE_NUM];
  const int pad = block.pad;
  const float* logWeight = block.data;
  const float* gconst = logWeight + pad;
  const float* mean = gconst + pad;
  const float* invVar = mean + static_cast<size_t>(width) * static_cast<size_t>(pad);
  for (int m = 0; m < pad; m++) acc[m] = 0.0f;
  for (int k = 0; k < width; k++) {
    const float xk = x[k];
    const float* mk = mean + static_cast<size_t>(k) * static_cast<size_t>(pad);
    const float* vk = invVar + static_cast<size_t>(k) * static_cast<size_t>(pad);
    for (int m = 0; m < pad; m++) {
      float d = xk - mk[m];
      acc[m] += d * d * vk[m];
    }
  }
  for (int m = 0; m < block.mixtureNum; m++) out[m] = -(acc[m] + gconst[m]) / 2.0f + logWeight[m];
}

void viterbiClass::streamLogProb(const float* x, const modelLayout& layout, int state, double* sum) const {
  const int streamNum = m_models->MMF.streamNum;
  float score[MAX_STREAM_NUM][MAX_MIXTURE_NUM];
  int most = 0;
  for (int s = 0; s < streamNum; s++) {
    const gaussBlock& block = layout.block[state][s];
    mixtureLogProb(x + m_streamOffset[static_cast<size_t>(s)], block, m_streamWidth[static_cast<size_t>(s)], score[s]);
    most = std::max(most, block.mixtureNum);
    sum[s] = LZERO;
  }
  // Each stream's sum runs over its mixtures in order; the streams go side by side so that
  // their chains of exp and log overlap in the processor.
  for (int m = 0; m < most; m++)
    for (int s = 0; s < streamNum; s++)
      if (m < layout.block[state][s].mixtureNum) sum[s] = logAdd(sum[s], score[s][m]);
}

float viterbiClass::stateProb(const float* x, const modelLayout& layout, int modelIdx, int state, int frameId) {
  stateProbCache& cache = m_stateProbCache[static_cast<size_t>(modelIdx)];
  if (cache.frameId[state] == frameId) return cache.logProb[state];
  double sum[MAX_STREAM_NUM];
  streamLogProb(x, layout, state, sum);
  float p = 0.0f;
  for (int s = 0; s < m_models->MMF.streamNum; s++) p += static_cast<float>(sum[s]);
  cache.frameId[state] = frameId;
  cache.logProb[state] = p;
  return p;
}

// ---- Gaussian layout ----------------------------------------------------------------------

namespace {

int mixturePad(int n) { return (n + 7) / 8 * 8; }

int activeMixtures(const hmmStream& stream) {
  int n = 0;
  for (int m = 0; m < stream.mixtureNum; m++) n += stream.mixture[m].mixtureWeight > MIXTURE_WEIGHT_CUT;
  return n;
}

}  // namespace

size_t viterbiClass::layoutSize(const macroClass& models, int modelIdx) const {
  const hmmModel& model = models.MMF.model[static_cast<size_t>(modelIdx)];
  size_t size = 0;
  for (int q = 0; q < model.stateNum - 2; q++)
    for (int s = 0; s < models.MMF.streamNum; s++)
      size += static_cast<size_t>(mixturePad(activeMixtures(model.state[q].stream[s]))) *
              static_cast<size_t>(2 + 2 * models.MMF.streamWidth[s]);
  return size;
}

void viterbiClass::layoutFill(const macroClass& models, int modelIdx, modelLayout& layout, float* data) const {
  const hmmModel& model = models.MMF.model[static_cast<size_t>(modelIdx)];
  for (int q = 0; q < model.stateNum - 2; q++)
    for (int s = 0; s < models.MMF.streamNum; s++) {
      const hmmStream& stream = model.state[q].stream[s];
      const int width = models.MMF.streamWidth[s];
      const int pad = mixturePad(activeMixtures(stream));
      const size_t size = static_cast<size_t>(pad) * static_cast<size_t>(2 + 2 * width);
      std::fill(data, data + size, 0.0f);
      float* logWeight = data;
      float* gconst = logWeight + pad;
      float* mean = gconst + pad;
      float* invVar = mean + static_cast<size_t>(width) * static_cast<size_t>(pad);
      int n = 0;
      for (int m = 0; m < stream.mixtureNum; m++) {
        const hmmMixture& mix = stream.mixture[m];
        if (!(mix.mixtureWeight > MIXTURE_WEIGHT_CUT)) continue;
        logWeight[n] = mix.mixtureWeight;
        gconst[n] = mix.gconst;
        for (int k = 0; k < width; k++) {
          mean[static_cast<size_t>(k) * static_cast<size_t>(pad) + static_cast<size_t>(n)] = mix.mean[k];
          invVar[static_cast<size_t>(k) * static_cast<size_t>(pad) + static_cast<size_t>(n)] = mix.variance[k];
        }
        n++;
      }
      layout.block[q][s] = gaussBlock{n, pad, data};
      data += size;
    }
}

// ---- Checks -----------------------------------------------------------------------------

void viterbiClass::streamsCheck(const macroClass& models, int dim) {
  int streamNum = models.MMF.streamNum;
  if (streamNum < 1 || streamNum > MAX_STREAM_NUM)
    errorThrowf("Error: streamNum=%d out of [1, %d] (line %d of file %s)", streamNum, MAX_STREAM_NUM, VITERBI_HERE);
  m_streamOffset.assign(static_cast<size_t>(streamNum), 0);
  m_streamWidth.assign(models.MMF.streamWidth, models.MMF.streamWidth + streamNum);
  int sum = 0;
  for (int s = 0; s < streamNum; s++) {
    int width = models.MMF.streamWidth[s];
    if (width < 1 || width > MAX_PARAM_NUM)
      errorThrowf("Error: streamWidth[%d]=%d out of [1, MAX_PARAM_NUM=%d] (line %d of file %s)", s, width,
                  MAX_PARAM_NUM, VITERBI_HERE);
    m_streamOffset[static_cast<size_t>(s)] = sum;
    sum += width;
  }
  if (dim != sum)
    errorThrowf("Error: feature dimension %d differs from the sum %d of the stream widths (line %d of file %s)", dim,
                sum, VITERBI_HERE);
  m_models = &models;
}

void viterbiClass::modelCheck(const macroClass& models, int modelIdx, int node) const {
  int limit = std::min(models.MMF.modelNum, m_modelNum);
  if ((modelIdx < 0 || modelIdx >= limit) && node >= 0)
    errorThrowf("Error: model index %d of node %d out of [0, %d) (line %d of file %s)", modelIdx, node, limit,
                VITERBI_HERE);
  if (modelIdx < 0 || modelIdx >= limit)
    errorThrowf("Error: model index %d out of [0, %d) (line %d of file %s)", modelIdx, limit, VITERBI_HERE);
  const hmmModel& model = models.MMF.model[static_cast<size_t>(modelIdx)];
  if (model.stateNum < 3 || model.stateNum > MAX_STATE_NUM + 2)
    errorThrowf("Error: model %s has stateNum=%d out of [3, %d] (line %d of file %s)", model.str.c_str(),
                model.stateNum, MAX_STATE_NUM + 2, VITERBI_HERE);
  for (int q = 0; q < model.stateNum - 2; q++)
    for (int s = 0; s < models.MMF.streamNum; s++) {
      int mixtureNum = model.state[q].stream[s].mixtureNum;
      if (mixtureNum < 0 || mixtureNum > MAX_MIXTURE_NUM)
        errorThrowf("Error: mixtureNum=%d exceeds MAX_MIXTURE_NUM=%d in model %s (line %d of file %s)", mixtureNum,
                    MAX_MIXTURE_NUM, model.str.c_str(), VITERBI_HERE);
    }
}

// ---- History ----------------------------------------------------------------------------

void viterbiClass::sylAdd(arenaCandidate& cand, int dicIndex, int node, int endFrame) {
  if (cand.sylNum >= MAX_SYL_NUM) errorThrowf("MAX_SYL_NUM exceeded! (line %d of file %s)", VITERBI_HERE);
  int k = cand.sylNum++;
  cand.sylId[k] = dicIndex;
  cand.sylNode[k] = node;
  cand.sylEndFrame[k] = endFrame;
  cand.sylEndScore[k] = cand.score;
}

void viterbiClass::phoneAdd(arenaCandidate& cand, int modelPos, int endFrame) {
  if (cand.phoneNum >= MAX_PHONE_NUM)
    errorThrowf("MAX_PHONE_NUM (%d) exceeded! (line %d of file %s)", MAX_PHONE_NUM, VITERBI_HERE);
  int k = cand.phoneNum++;
  cand.phonePos[k] = modelPos;
  cand.phoneEndFrame[k] = endFrame;
  cand.phoneEndScore[k] = cand.score;
}

arenaCandidate* viterbiClass::candidateCopy(const arenaCandidate& src, int lastPos) {
  if (lastPos >= m_arenaLen) return nullptr;
  arenaCandidate* dst = m_order[lastPos];
  dst->stateIdx = src.stateIdx;
  dst->modelPos = src.modelPos;
  dst->node = src.node;
  dst->score = src.score;
  const size_t syl = static_cast<size_t>(src.sylNum), phone = static_cast<size_t>(src.phoneNum);
  dst->sylNum = src.sylNum;
  memcpy(dst->sylId, src.sylId, syl * sizeof(int));
  memcpy(dst->sylNode, src.sylNode, syl * sizeof(int));
  memcpy(dst->sylEndFrame, src.sylEndFrame, syl * sizeof(int));
  memcpy(dst->sylEndScore, src.sylEndScore, syl * sizeof(float));
  dst->phoneNum = src.phoneNum;
  memcpy(dst->phonePos, src.phonePos, phone * sizeof(int));
  memcpy(dst->phoneEndFrame, src.phoneEndFrame, phone * sizeof(int));
  memcpy(dst->phoneEndScore, src.phoneEndScore, phone * sizeof(float));
  m_held[static_cast<size_t>(dst - m_arena)] = 1;
  return dst;
}

// ---- Search -----------------------------------------------------------------------------

int viterbiClass::branchKind(const arenaCandidate& cand) const {
  const nodeModels& nm = m_nodeModels[static_cast<size_t>(cand.node)];
  int model = nm.modelIndex[cand.modelPos];
  if (cand.stateIdx + 3 < m_models->MMF.model[static_cast<size_t>(model)].stateNum) return 2;
  if (cand.modelPos + 1 < nm.modelNum) return 1;
  return 0;
}

int viterbiClass::searchInit(std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim,
                             int frameNum, int candidateNum, const macroClass& models, int& endNode) {
  streamsCheck(models, dim);
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
    for (int model : idx) modelCheck(models, model, n);
    m_nodeModels[static_cast<size_t>(n)] = nodeModels{idx.data(), static_cast<int>(idx.size())};
  }

  for (stateProbCache& cache : m_stateProbCache)
    for (int q = 0; q < MAX_STATE_NUM; q++) cache.frameId[q] = -1;

  std::vector<uint8_t> used(static_cast<size_t>(models.MMF.modelNum), 0);
  for (const nodeModels& nm : m_nodeModels)
    for (int k = 0; k < nm.modelNum; k++) used[static_cast<size_t>(nm.modelIndex[k])] = 1;
  size_t poolSize = 0;
  for (int k = 0; k < models.MMF.modelNum; k++)
    if (used[static_cast<size_t>(k)]) poolSize += layoutSize(models, k);
  m_gaussPool.resize(poolSize);
  m_layout.resize(static_cast<size_t>(models.MMF.modelNum));
  float* data = m_gaussPool.data();
  for (int k = 0; k < models.MMF.modelNum; k++)
    if (used[static_cast<size_t>(k)]) {
      layoutFill(models, k, m_layout[static_cast<size_t>(k)], data);
      data += layoutSize(models, k);
    }
  if (m_slotStamp.size() != nodes.size() * MAX_STATE_NUM_IN_SYL)
    m_slotStamp.assign(nodes.size() * MAX_STATE_NUM_IN_SYL, 0);

  // Only the first candidateNum positions are read before being written; clearing just
  // them leaves the rest of the arena untouched (and unbacked by memory) until it is used.
  std::fill(m_held.begin(), m_held.end(), 0);
  for (int i = 0; i < m_arenaLen; i++) m_order[i] = &m_arena[i];
  for (int i = 0; i < candidateNum; i++) {
    arenaCandidate& rec = m_arena[i];
    rec.stateIdx = 0;
    rec.modelPos = 0;
    rec.node = 0;
    rec.sylNum = 0;
    rec.phoneNum = 0;
    rec.score = LZERO;
  }
  for (int j = 0; j < firstNum; j++) {
    arenaCandidate& cand = m_arena[j];
    cand.node = start.dicIndex < 0 ? start.fanOutIndirect[static_cast<size_t>(j)] : startNode;
    int model = m_nodeModels[static_cast<size_t>(cand.node)].modelIndex[0];
    cand.score = deadFloor(stateProb(features, m_layout[static_cast<size_t>(model)], model, 0, 0));
    m_held[static_cast<size_t>(j)] = 1;
  }
  return firstNum;
}

int viterbiClass::search(std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim,
                         int frameNum, int candidateNum, const macroClass& models, float beam, int descCandidateNum) {
  int endNode = -1;
  // Between frames positions live..N-1 are all dead, so each frame's steps skip them.
  int live = searchInit(nodes, dict, features, dim, frameNum, candidateNum, models, endNode);
  int N = candidateNum;
  for (int t = 1; t < frameNum; t++) {
    const float* x = features + static_cast<size_t>(t) * static_cast<size_t>(dim);
    auto prob = [&](int model, int state) {
      return stateProb(x, m_layout[static_cast<size_t>(model)], model, state, t);
    };
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
    recombineRange(nodes, live, N, lastPos);
    live = sortRange(live, N, lastPos);
    N = pruneLive(t, N, beam, descCandidateNum, live);
  }

  // Frames after the first sort their candidates; a one-frame utterance must be sorted
  // too, or m_order[0] would be the first start successor rather than the best.
  if (frameNum == 1) sortCandidates(N);
  int last = frameNum - 1;
  for (int i = 0; i < N; i++) {
    arenaCandidate& cand = *m_order[i];
    if (!m_held[static_cast<size_t>(&cand - m_arena)] || cand.node == endNode) continue;
    sylAdd(cand, nodes[static_cast<size_t>(cand.node)].dicIndex, cand.node, last);
    phoneAdd(cand, cand.modelPos, last);
  }
  return N;
}

void viterbiClass::recombine(std::vector<netNode>& nodes, int lastPos) {
  recombineRange(nodes, lastPos, lastPos, lastPos);
}

void viterbiClass::recombineRange(std::vector<netNode>& nodes, int liveEnd, int deadEnd, int lastPos) {
  if (m_slotStamp.size() != nodes.size() * MAX_STATE_NUM_IN_SYL)
    m_slotStamp.assign(nodes.size() * MAX_STATE_NUM_IN_SYL, 0);
  if (++m_stamp == 0) {  // wrapped: no slot may look taken
    std::fill(m_slotStamp.begin(), m_slotStamp.end(), 0);
    m_stamp = 1;
  }
  // A dead candidate between liveEnd and deadEnd could only lose a slot or die again.
  for (int pos = 0; pos < lastPos; pos++) {
    if (pos == liveEnd) pos = deadEnd;
    if (pos >= lastPos) break;
    arenaCandidate& cand = *m_order[pos];
    int slot = cand.modelPos * MAX_STATE_NUM + cand.stateIdx;
    if (slot >= MAX_STATE_NUM_IN_SYL)
      errorThrowf("MAX_STATE_NUM_IN_SYL exceeded: index=%d, MAX_STATE_NUM_IN_SYL=%d (line %d of file %s)", slot,
                  MAX_STATE_NUM_IN_SYL, VITERBI_HERE);
    size_t key = static_cast<size_t>(cand.node) * MAX_STATE_NUM_IN_SYL + static_cast<size_t>(slot);
    int& holder = nodes[static_cast<size_t>(cand.node)].stateSlot[slot];
    if (m_slotStamp[key] != m_stamp) {
      m_slotStamp[key] = m_stamp;
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
    if (score > LZERO) m_sortKey[static_cast<size_t>(live++)] = sortKey{score, pos};
  }
  std::sort(m_sortKey.begin(), m_sortKey.begin() + live, [](const sortKey& a, const sortKey& b) {
    return a.score > b.score || (a.score == b.score && a.pos < b.pos);
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

int viterbiClass::pruneLive(int t, int candidateNum, float beam, int descCandidateNum, int& live) {
  int N = candidateNum;
  if (descCandidateNum) {
    // Tenths in integers: N * 0.7 in floating point falls just short of whole numbers
    // (90 * 0.7 truncates to 62).
    int64_t tenths = t == 60 || t == 75 ? 8 : t == 100 ? 7 : t == 120 ? 6 : 10;
    if (tenths < 10 && N > 0) N = std::max(1, static_cast<int>(static_cast<int64_t>(N) * tenths / 10));
  }
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

// ---- Model score over a span ------------------------------------------------------------

float viterbiClass::modelProb(const float* features, int dim, int frameId1, int frameId2, const macroClass& models,
                              int modelIdx) {
  // In 64 bits: the span of two arbitrary ints need not fit in one.
  const int64_t n = static_cast<int64_t>(frameId2) - frameId1 + 1;
  if (n < MAX_STATE_NUM) {
    printf("Warning in viterbiClass::modelProb: modelIdx=%d, frameId1=%d, frameId2=%d, frameNum=%" PRId64
           "<MAX_STATE_NUM=%d\n",
           modelIdx, frameId1, frameId2, n, MAX_STATE_NUM);
    return LZERO;
  }
  if (frameId1 < 0) errorThrowf("Error: frameId1=%d < 0 (line %d of file %s)", frameId1, VITERBI_HERE);
  streamsCheck(models, dim);
  modelCheck(models, modelIdx, -1);
  // The cache is keyed by frame index alone, and these indices are relative to the span.
  stateProbCache& cache = m_stateProbCache[static_cast<size_t>(modelIdx)];
  for (int q = 0; q < MAX_STATE_NUM; q++) cache.frameId[q] = -1;
  m_spanPool.resize(layoutSize(models, modelIdx));
  layoutFill(models, modelIdx, m_spanLayout, m_spanPool.data());
  const modelLayout& layout = m_spanLayout;

  int Q = models.MMF.model[static_cast<size_t>(modelIdx)].stateNum - 2;
  float prev[MAX_STATE_NUM], cur[MAX_STATE_NUM];
  for (int q = 0; q < MAX_STATE_NUM; q++) prev[q] = LZERO;
  const float* x = features + static_cast<size_t>(frameId1) * static_cast<size_t>(dim);
  prev[0] = deadFloor(stateProb(x, layout, modelIdx, 0, 0));
  for (int r = 1; r < n; r++) {
    x = features + static_cast<size_t>(frameId1 + r) * static_cast<size_t>(dim);
    cur[0] = deadFloor(transProb(modelIdx, 0, 0) + prev[0] + stateProb(x, layout, modelIdx, 0, r));
    for (int q = 1; q < Q; q++) {
      float stay = transProb(modelIdx, q, q) + prev[q];
      float move = transProb(modelIdx, q - 1, q) + prev[q - 1];
      cur[q] = deadFloor(std::max(move, stay) + stateProb(x, layout, modelIdx, q, r));
    }
    for (int q = 0; q < Q; q++) prev[q] = cur[q];
  }
  return prev[Q - 1];
}

}  // namespace tulim
