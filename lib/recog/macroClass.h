// The acoustic model set: HMMs of phones read from "mac" text or "macb" images, sorted by
// name, prepared and laid out for scoring, with the model count file, name lookup with
// substitution and the writers. Shared read-only by the lexicon, the net reader, the search
// and scoring.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "blockArena.h"
#include "stringUtil.h"

namespace tulim {

constexpr int MAX_STREAM_NUM = 3;
constexpr int MAX_PARAM_NUM = 13;       // values per stream; every "mac" vector declares 13
constexpr int MAX_MIXTURE_NUM = 32;
constexpr int MAX_STATE_NUM = 3;        // emitting states; a model has two more
constexpr int MAX_MODEL_NAME_LEN = 50;  // name field bytes, the NUL included
constexpr int MAX_HEADER_LEN = 1000;    // header field bytes, the NUL included
constexpr int MAX_EXPORT_NAME_LEN = 20; // "ModelNames.txt" name field bytes, the NUL included
constexpr float LZERO = -1e10f;         // log of an impossible event: a dead score
constexpr double LOG_SMALL = -5e9;      // a log score at or below this is dead

// LOG_SMALL as a float: the same number, so a float compares with either alike.
constexpr float LOG_SMALL_FLOAT = static_cast<float>(LOG_SMALL);
static_assert(LOG_SMALL_FLOAT == LOG_SMALL, "LOG_SMALL must be a float");

// Scores that fell to LOG_SMALL or below stay exactly dead, so that float rounding near
// LZERO cannot lift them above it again.
inline float deadFloor(float score) { return score <= LOG_SMALL_FLOAT ? LZERO : score; }

struct hmmMixture {
  float mixtureWeight;  // log domain after preparation (LZERO for a zero weight)
  float mean[MAX_PARAM_NUM];
  float variance[MAX_PARAM_NUM];  // inverse variances after preparation
  float gconst;
};

// The mixtures of a stream, stored only as far as they are used (most streams hold fewer
// than MAX_MIXTURE_NUM): the readers size it to the stream's mixtureNum; a slot written beyond
// the end is made, zeroed, on the way; a slot never made reads as zero.
class mixtureList {
 public:
  hmmMixture& operator[](size_t m) {
    if (m >= m_slots.size()) {
      // A set built slot by slot in code gets room for every slot at once, so that a slot it
      // holds on to stays where it is while it writes the next ones.
      const size_t room = std::max(m + 1, static_cast<size_t>(MAX_MIXTURE_NUM));
      if (m_slots.capacity() < room) m_slots.reserve(room);
      m_slots.resize(m + 1, hmmMixture{});
    }
    return m_slots[m];
  }
  const hmmMixture& operator[](size_t m) const {
    static const hmmMixture zero{};
    return m < m_slots.size() ? m_slots[m] : zero;
  }
  // Keeps the first n slots (zeroed when new).
  void resize(size_t n) { m_slots.resize(n, hmmMixture{}); }
  // Exactly n slots, uninitialised, on that arena while it has room: for a reader that
  // writes all of them.
  void assignForOverwrite(size_t n, const std::shared_ptr<blockArena>& arena) {
    m_slots = std::vector<hmmMixture, arenaAllocator<hmmMixture>>(arenaAllocator<hmmMixture>(arena));
    m_slots.resize(n);
  }
  size_t size() const { return m_slots.size(); }

 private:
  std::vector<hmmMixture, arenaAllocator<hmmMixture>> m_slots;
};

struct hmmStream {
  int32_t mixtureNum;
  mixtureList mixture;
};

struct hmmState {
  float streamWeight[MAX_STREAM_NUM];
  hmmStream stream[MAX_STREAM_NUM];
};

struct hmmModel {
  std::string str;  // at most MAX_MODEL_NAME_LEN - 1 bytes
  float logCount;   // natural log of the model count file's count, 0 without one
  int32_t stateNum;  // with the entry and exit states
  hmmState state[MAX_STATE_NUM];  // HTK state n at index n - 2
  // Indexed by HTK state number - 1; probabilities as read, natural logs after preparation
  // (LZERO where the probability is 0).
  float transProb[MAX_STATE_NUM + 2][MAX_STATE_NUM + 2];
};

struct hmmSet {
  int32_t modelNum;  // always model.size()
  int32_t streamNum;
  int32_t streamWidth[MAX_STREAM_NUM];
  std::string header;  // the line after the stream information, not interpreted
  std::vector<hmmModel> model;  // sorted by str after loading
};

class gaussLayout;

class macroClass {
 public:
  macroClass();

  // ---- The models -----------------------------------------------------------------------

  // The set, read-only.
  const hmmSet& MMF() const { return m_set; }
  // The set for writing: every write goes through a reference from here, taken for the write
  // at hand, and counts as a change (see generation). A reference kept across layoutPrepare
  // would write where no check can see it.
  hmmSet& MMFEdit() {
    changed();
    return m_set;
  }
  // Different after every change to the set (reading, sorting, preparing, counts, appending,
  // freeing, MMFEdit); no two states of any sets in the process share one, except a copy and
  // the set it was copied from until either changes.
  uint64_t generation() const { return m_generation; }

  // ---- Reading ----------------------------------------------------------------------------

  // A set read is not yet laid out for scoring: its loader calls layoutPrepare once the set is
  // complete (counts read, edits made).

  // macroReadSorted when prepare is set, else macroReadRaw.
  void macroRead(const std::string& path, bool prepare);
  // macroReadRaw, then sortModels over all models and prepareModels.
  void macroReadSorted(const std::string& path);
  // Frees the set, then reads "mac"/"MAC" text or a "macb"/"MACB" image as it stands.
  void macroReadRaw(const std::string& path);
  // A text of two TEXT_PART_BYTES or more is parsed in parts of that size at least, on the threads
  // of workerPool::shared() (the models and messages of a parse of the whole text). Tests
  // split small texts.
  void macTextRead(const std::string& path);
  static constexpr size_t TEXT_PART_BYTES = size_t{1} << 20;
  static void textPartBytesSet(size_t bytes) { s_textPartBytes.store(bytes, std::memory_order_relaxed); }
  // The parts the last text read on this thread was parsed in (1 when whole).
  static size_t textPartsRead();
  void macbRead(const std::string& path);
  // The "macb" layout from the size bytes at buffer, which must hold exactly one image.
  void macbReadFromBuffer(const void* buffer, size_t size);
  // macbReadFromBuffer, then sortModels over all models and prepareModels.
  void macroReadFromBuffer(const void* buffer, size_t size);

  // Sets every logCount from the model count file (model name TAB count per line, in
  // sorted model order); a missing file leaves them all 0.
  void modelCountRead(const std::string& path);

  // ---- Lookup -----------------------------------------------------------------------------

  // Index of the model of that name, else findSubstituteModel; -1 when nothing stands for it
  // (always on an empty set).
  int findModelIndex(const std::string& name) const;
  // A related model for a context-dependent name the set lacks (x-a+sil, then any x-a+...,
  // then model 0), announced with a warning; -1 for the silence and filler names.
  int findSubstituteModel(const std::string& name) const;
  void getModelNames(strVec& names) const;

  // ---- Preparation and set operations ---------------------------------------------------

  // Sorts records lo..hi (inclusive) byte-wise by name.
  void sortModels(int lo, int hi);
  // Floors and inverts variances and takes logs of weights and transitions. Only once.
  void prepareModels();
  // Appends copies of other's models and re-sorts; neither set is prepared here.
  void macroAppend(const macroClass& other);
  void macroFree();

  // ---- Writers ----------------------------------------------------------------------------

  void macbWrite(const std::string& path) const;
  void macTextWrite(const std::string& path) const;
  // One model in readable form.
  void print(int modelIndex, const std::string& path) const;
  // The first stream of every model as floats, in the order of "ModelNames.txt" in the
  // working directory.
  void orderedModelExport(const std::string& path) const;

  // ---- HTK parameter files ----------------------------------------------------------------

  // Reverses the first n bytes of buffer in place.
  static void byteReverse(void* buffer, int n);
  // Field 0..3 of the 12-byte header (sample count, sample period, sample size, parameter
  // kind; the 16-bit ones zero-extended); -1 for any other index.
  static int32_t htkHeaderField(const std::string& path, int field);
  // frameNum frames of bytesPerFrame / 4 floats each, after the header.
  static std::vector<float> htkDataRead(const std::string& path, int frameNum, int bytesPerFrame);

  // ---- Scoring layout -----------------------------------------------------------------------

  // Lays the Gaussians of every model out for scoring (gaussLayout.h) as the set stands now:
  // the last step of loading a set, after its counts and edits, and again after any later
  // change, for the scorers made after it.
  void layoutPrepare();
  // The layout of the last layoutPrepare, which a copy shares; a fatal error when the set was
  // never laid out or has changed since, so that nothing is scored with a stale layout.
  // Safe from several threads at once while nobody changes the set.
  std::shared_ptr<const gaussLayout> gaussianLayout() const;
  // Whether gaussianLayout gives a layout now.
  bool laidOut() const { return m_layout && m_layoutGeneration == m_generation; }

 private:
  static std::atomic<size_t> s_textPartBytes;
  void changed();

  hmmSet m_set;
  uint64_t m_generation;
  std::shared_ptr<const gaussLayout> m_layout;
  uint64_t m_layoutGeneration = 0;  // the generation m_layout was made at
};

}  // namespace tulim
