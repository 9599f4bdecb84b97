#include "layoutAhead.h"

#include "stateScorer.h"

namespace tulim {

layoutAhead::layoutAhead(macroClass& models, int frameNum)
    : m_work([&models, frameNum] {
        models.layoutPrepare();
        stateScorer::threadsPrepare(models, models.MMF().modelNum, frameNum);
      }) {}

void layoutAhead::wait() { m_work.wait(); }

}  // namespace tulim
