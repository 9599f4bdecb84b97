// A small English task on disk for the tests of lexicon and net preparation and of the stages
// after it: right-context models for the words "yes", "no" and "go" with "sil" and "sp", their
// lexicon, an addenda file, a normalisation map and a text file of the three words.
#pragma once

#include "recogParam.h"
#include "stringUtil.h"
#include "testFiles.h"

namespace tulim {
namespace test {

// The model names, for modelSetPrepare.
strVec englishFixtureModels();

// Writes the lexicon ("lex.wpa", sorted: go g_ow, no n_ow, yes y_eh_s), the addenda ("add.wpa":
// go g_ow#g_ax_ow), the map ("map.tnm": "!" removed at the end of a text) and the texts
// ("texts.txt": "Yes!", "no", "go", one a line) into dir, and sets the matching fields of
// param, with "english" and "recog".
void englishTaskWrite(const scratchDir& dir, recogParam& param);

}  // namespace test
}  // namespace tulim
