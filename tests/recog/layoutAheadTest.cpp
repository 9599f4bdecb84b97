#include "layoutAhead.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "gaussLayout.h"
#include "macroClass.h"
#include "modelSetFixture.h"
#include "stateScorer.h"
#include "threadCount.h"
#include "workerPool.h"

namespace tulim {
namespace {

// Every block of two layouts of one set holds the same values.
void expectSameLayout(const macroClass& set, const gaussLayout& a, const gaussLayout& b) {
  ASSERT_EQ(a.modelNum(), b.modelNum());
  const hmmSet& mmf = set.MMF();
  for (int m = 0; m < a.modelNum(); m++)
    for (int q = 0; q < MAX_STATE_NUM; q++)
      for (int s = 0; s < MAX_STREAM_NUM; s++) {
        const gaussBlock& x = a.block(m, q, s);
        const gaussBlock& y = b.block(m, q, s);
        ASSERT_EQ(x.mixtureNum, y.mixtureNum) << m << " " << q << " " << s;
        ASSERT_EQ(x.pad, y.pad);
        if (x.pad == 0) continue;
        const size_t values = static_cast<size_t>(x.pad) * static_cast<size_t>(2 + 2 * mmf.streamWidth[s]);
        EXPECT_EQ(std::memcmp(x.data, y.data, values * sizeof(float)), 0) << m << " " << q << " " << s;
      }
}

// The threads a set laid out ahead starts are those threadsPrepare starts, and its layout is
// the one layoutPrepare makes, while the caller looks models up meanwhile (which the thread
// sanitizer build checks for races). A set changed since its last layout is laid out anew. Each
// count is read in a child process of its own, whose pool starts empty.
TEST(LayoutAhead, LaysTheSetOutAndStartsTheThreadsOfItsSearch) {
  const auto preparedIn = test::poolThreadsPreparedBy;
  for (int frames : {0, 40, 2000}) {
    SCOPED_TRACE(frames);
    macroClass set;
    test::randomModelSet(set, 6, 29);
    const std::shared_ptr<const gaussLayout> before = set.gaussianLayout();
    set.MMFEdit();
    ASSERT_FALSE(set.laidOut());
    bool found = true;
    {
      layoutAhead ahead(set, frames);
      for (int k = 0; k < 200; k++) found = found && set.findModelIndex("m" + std::to_string(k % 6)) >= 0;
      ahead.wait();
    }
    EXPECT_TRUE(found);
    ASSERT_TRUE(set.laidOut());
    expectSameLayout(set, *before, *set.gaussianLayout());

    const int ahead = preparedIn([&] {
      set.MMFEdit();
      layoutAhead laying(set, frames);
      laying.wait();
    });
    const int direct = preparedIn([&] { stateScorer::threadsPrepare(set, 6, frames); });
    EXPECT_EQ(ahead, direct);
    if (frames == 0) {
      EXPECT_EQ(ahead, 0);
    }
  }
}

// A caller that fails before it waits (its net or its features) leaves the set laid out:
// the destructor waits for the thread.
TEST(LayoutAhead, ACallerThatNeverWaitsStillGetsTheLayout) {
  macroClass set;
  test::randomModelSet(set, 4, 41);
  set.MMFEdit();
  try {
    layoutAhead ahead(set, 400);
    throw 1;
  } catch (int) {
  }
  EXPECT_TRUE(set.laidOut());
}

}  // namespace
}  // namespace tulim
