// A model set laid out for scoring on a thread of its own, while the caller reads the rest of
// an utterance's inputs: laying out a large set first touches as much memory as reading it,
// and the net and the features do not need the layout.
#pragma once

#include "macroClass.h"
#include "workAhead.h"

namespace tulim {

class layoutAhead {
 public:
  // Starts macroClass::layoutPrepare of models on another thread and then, there,
  // stateScorer::threadsPrepare for a search of frameNum frames with every model of the set.
  // Until wait returns, the caller only reads the set: its models (names, lookups), never its
  // layout, and changes nothing in it. Where the system gives no thread, both are done here.
  layoutAhead(macroClass& models, int frameNum);
  // Returns once the set is laid out; throws what laying it out threw. A caller that fails
  // before it waits still waits for the thread when this ends.
  void wait();

 private:
  workAhead m_work;
};

}  // namespace tulim
