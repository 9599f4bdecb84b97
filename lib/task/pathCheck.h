// Checks of a search candidate before its path is read: its counts within the fixed limits and
// its dictionary indices within the pronunciation dictionary. Used by the candidate writers
// (utilClass) and the segmentation of mlfClass. The caller passes its own place (TULIM_HERE),
// which ends the fatal message.
#pragma once

#include <vector>

#include "arenaCandidate.h"
#include "dictClass.h"

namespace tulim {

// Fatal when the candidate's sylNum or phoneNum lies outside 0 to MAX_SYL_NUM / MAX_PHONE_NUM.
void candidateCheck(const arenaCandidate& c, int line, const char* source);

// The dictionary entry at index; fatal when there is none.
const pronEntry& pronAt(const std::vector<pronEntry>& pronDict, int index, int line, const char* source);

}  // namespace tulim
