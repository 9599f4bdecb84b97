#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fatalCatch.h"
#include "gaussLayout.h"
#include "macroClass.h"
#include "modelSetFixture.h"

using namespace tulim;
using ::testing::HasSubstr;

namespace {

// Row d of a block's means (or inverse variances when second is set), pad values.
std::vector<float> row(const gaussBlock& block, int width, int d, bool second) {
  const float* start = block.data + 2 * block.pad + (second ? width * block.pad : 0) + d * block.pad;
  return std::vector<float>(start, start + block.pad);
}

}  // namespace

TEST(GaussLayout, KeepsTheMixturesAboveTheWeightCutInOrderAndPadsTheRow) {
  macroClass set;
  test::modelSetPrepare(set, {"a", "b"});
  hmmStream& stream = set.MMFEdit().model[1].state[2].stream[1];
  stream.mixtureNum = 10;
  // Log weights: every third mixture at the cut or below, which the layout leaves out.
  for (int m = 0; m < 10; m++) {
    hmmMixture& mix = stream.mixture[m];
    mix.mixtureWeight = m % 3 == 0 ? (m == 0 ? MIXTURE_WEIGHT_CUT : LZERO) : -1.0f - static_cast<float>(m);
    mix.gconst = 100.0f + static_cast<float>(m);
    for (int d = 0; d < 13; d++) {
      mix.mean[d] = static_cast<float>(m * 100 + d);
      mix.variance[d] = static_cast<float>(m) + 0.5f;
    }
  }
  set.layoutPrepare();
  const std::shared_ptr<const gaussLayout> layout = set.gaussianLayout();
  ASSERT_EQ(layout->modelNum(), 2);
  const gaussBlock& block = layout->block(1, 2, 1);
  const std::vector<int> kept = {1, 2, 4, 5, 7, 8};
  ASSERT_EQ(block.mixtureNum, static_cast<int>(kept.size()));
  ASSERT_EQ(block.pad, 8);
  for (size_t n = 0; n < kept.size(); n++) {
    const hmmMixture& mix = stream.mixture[kept[n]];
    EXPECT_EQ(block.data[n], mix.mixtureWeight) << n;
    EXPECT_EQ(block.data[block.pad + static_cast<int>(n)], mix.gconst) << n;
    for (int d = 0; d < 13; d++) {
      EXPECT_EQ(row(block, 13, d, false)[n], mix.mean[d]) << n << " " << d;
      EXPECT_EQ(row(block, 13, d, true)[n], mix.variance[d]) << n << " " << d;
    }
  }
  // Padding lanes score -infinity: log weight -inf, the rest zero.
  for (int n = 6; n < 8; n++) {
    EXPECT_EQ(block.data[n], -HUGE_VALF);
    EXPECT_EQ(block.data[block.pad + n], 0.0f);
    EXPECT_EQ(row(block, 13, 0, false)[static_cast<size_t>(n)], 0.0f);
    EXPECT_EQ(row(block, 13, 12, true)[static_cast<size_t>(n)], 0.0f);
  }
  // The one-mixture streams of the fixture.
  EXPECT_EQ(layout->block(0, 0, 0).mixtureNum, 1);
  EXPECT_EQ(layout->block(0, 0, 0).pad, 8);
}

TEST(GaussLayout, ClampsCountsOutOfTheirLimitsInsteadOfReadingPastTheRecords) {
  macroClass set;
  test::modelSetPrepare(set, {"a", "b"});
  hmmSet& mmf = set.MMFEdit();
  mmf.model[0].stateNum = 9;                        // three emitting states at most
  mmf.model[1].state[0].stream[0].mixtureNum = 99;  // 32 at most
  mmf.model[1].stateNum = 2;                        // no emitting state
  set.layoutPrepare();
  const std::shared_ptr<const gaussLayout> layout = set.gaussianLayout();
  EXPECT_EQ(layout->block(0, 2, 2).mixtureNum, 1);
  EXPECT_EQ(layout->block(1, 0, 0).mixtureNum, 0);
  EXPECT_EQ(layout->block(1, 0, 0).pad, 0);
}

TEST(GaussLayout, MadeByLayoutPrepareSharedByCopiesAndRefusedOnceTheSetChanges) {
  macroClass never;
  EXPECT_THAT(test::expectFatal([&] { never.gaussianLayout(); }), HasSubstr("is not laid out for scoring"));

  macroClass set;
  test::modelSetPrepare(set, {"a", "b"});
  const std::shared_ptr<const gaussLayout> first = set.gaussianLayout();
  EXPECT_EQ(set.gaussianLayout(), first);  // made once, then shared
  const macroClass copy = set;
  EXPECT_EQ(copy.generation(), set.generation());
  EXPECT_EQ(copy.gaussianLayout(), first);  // the same models: the same layout

  const char* const changedSince = "changed after it was laid out for scoring";
  struct Case {
    const char* what;
    void (*change)(macroClass&);
    const char* message;
  } cases[] = {
      {"edited", [](macroClass& s) { s.MMFEdit().model[1].state[0].stream[0].mixture[0].mean[0] += 1.0f; },
       changedSince},
      {"only looked at for writing", [](macroClass& s) { s.MMFEdit(); }, changedSince},
      {"sorted", [](macroClass& s) { s.sortModels(0, s.MMF().modelNum - 1); }, changedSince},
      {"counts read", [](macroClass& s) { s.modelCountRead(""); }, changedSince},
      {"freed", [](macroClass& s) { s.macroFree(); }, "is not laid out for scoring"},
  };
  for (const Case& c : cases) {
    macroClass changed = set;
    const uint64_t before = changed.generation();
    c.change(changed);
    EXPECT_NE(changed.generation(), before) << c.what;
    EXPECT_THAT(test::expectFatal([&] { changed.gaussianLayout(); }), HasSubstr(c.message)) << c.what;
    EXPECT_EQ(set.gaussianLayout(), first) << c.what;  // the set it was copied from is untouched
    changed.layoutPrepare();
    const std::shared_ptr<const gaussLayout> again = changed.gaussianLayout();
    EXPECT_NE(again, first) << c.what;
    EXPECT_EQ(again->modelNum(), changed.MMF().modelNum) << c.what;
  }

  // Two sets made alike are still two sets: no generation is given twice.
  macroClass twin;
  test::modelSetPrepare(twin, {"a", "b"});
  EXPECT_NE(twin.generation(), set.generation());
}

TEST(GaussLayout, EveryBlockEqualsOneBuiltMixtureByMixture) {
  macroClass set;
  test::modelSetPrepare(set, {"a", "b", "c"});
  // Streams of 1..32 mixtures, some of them cut, so that blocks of every row count and empty
  // blocks sit side by side in the pool.
  int seed = 0;
  for (hmmModel& model : set.MMFEdit().model)
    for (int q = 0; q < MAX_STATE_NUM; q++)
      for (int s = 0; s < set.MMF().streamNum; s++) {
        hmmStream& stream = model.state[q].stream[s];
        stream.mixtureNum = 1 + (seed * 7) % MAX_MIXTURE_NUM;
        for (int m = 0; m < stream.mixtureNum; m++, seed++) {
          hmmMixture& mix = stream.mixture[m];
          mix.mixtureWeight = seed % 5 == 0 ? LZERO : -0.25f * static_cast<float>(seed % 9);
          mix.gconst = static_cast<float>(seed);
          for (int d = 0; d < MAX_PARAM_NUM; d++) {
            mix.mean[d] = static_cast<float>(seed) + 0.01f * static_cast<float>(d);
            mix.variance[d] = 1.0f + static_cast<float>(d);
          }
        }
      }
  set.layoutPrepare();
  const std::shared_ptr<const gaussLayout> layout = set.gaussianLayout();
  for (int k = 0; k < layout->modelNum(); k++)
    for (int q = 0; q < MAX_STATE_NUM; q++)
      for (int s = 0; s < set.MMF().streamNum; s++) {
        const hmmStream& stream = set.MMF().model[static_cast<size_t>(k)].state[q].stream[s];
        const int width = set.MMF().streamWidth[s];
        std::vector<const hmmMixture*> kept;
        for (int m = 0; m < stream.mixtureNum; m++)
          if (stream.mixture[m].mixtureWeight > MIXTURE_WEIGHT_CUT) kept.push_back(&stream.mixture[m]);
        const size_t pad = (kept.size() + GAUSS_ROW_ALIGN - 1) / GAUSS_ROW_ALIGN * GAUSS_ROW_ALIGN;
        std::vector<float> expected((2 + 2 * static_cast<size_t>(width)) * pad, 0.0f);
        for (size_t n = 0; n < pad; n++) {
          expected[n] = n < kept.size() ? kept[n]->mixtureWeight : -HUGE_VALF;
          if (n >= kept.size()) continue;
          expected[pad + n] = kept[n]->gconst;
          for (size_t d = 0; d < static_cast<size_t>(width); d++) {
            expected[(2 + d) * pad + n] = kept[n]->mean[d];
            expected[(2 + static_cast<size_t>(width) + d) * pad + n] = kept[n]->variance[d];
          }
        }
        const gaussBlock& block = layout->block(k, q, s);
        ASSERT_EQ(block.mixtureNum, static_cast<int>(kept.size())) << k << " " << q << " " << s;
        ASSERT_EQ(block.pad, static_cast<int>(pad)) << k << " " << q << " " << s;
        EXPECT_EQ(std::vector<float>(block.data, block.data + expected.size()), expected) << k << " " << q << " " << s;
      }
}
