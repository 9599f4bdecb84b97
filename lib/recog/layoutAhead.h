// A model set laid out for scoring on a thread of its own, while the caller reads the rest of
// an utterance's inputs: laying out a large set first touches as much memory as reading it,
// and the net and the features do not need the layout.
#pragma once

#include <exception>
#include <thread>

#include "macroClass.h"

namespace tulim {

class layoutAhead {
 public:
  // Starts macroClass::layoutPrepare of models on another thread and then, there,
  // stateScorer::threadsPrepare for a search of frameNum frames with every model of the set.
  // Until wait returns, the caller only reads the set: its models (names, lookups), never its
  // layout, and changes nothing in it. Where the system gives no thread, both are done here.
  layoutAhead(macroClass& models, int frameNum);
  // Returns once the set is laid out; throws what laying it out threw.
  void wait();
  // Waits too, throwing nothing: a caller that fails meanwhile leaves the set as a finished
  // layoutPrepare would.
  ~layoutAhead();
  layoutAhead(const layoutAhead&) = delete;
  layoutAhead& operator=(const layoutAhead&) = delete;

 private:
  static void prepare(macroClass& models, int frameNum);
  std::thread m_thread;
  std::exception_ptr m_error;
};

}  // namespace tulim
