#include "pathCheck.h"

#include "utility.h"

namespace tulim {

void candidateCheck(const arenaCandidate& c, int line, const char* source) {
  if (c.sylNum < 0 || c.sylNum > MAX_SYL_NUM)
    errorThrowf("Candidate with sylNum = %d outside 0 to MAX_SYL_NUM = %d (line %d of %s)", c.sylNum, MAX_SYL_NUM,
                line, source);
  if (c.phoneNum < 0 || c.phoneNum > MAX_PHONE_NUM)
    errorThrowf("Candidate with phoneNum = %d outside 0 to MAX_PHONE_NUM = %d (line %d of %s)", c.phoneNum,
                MAX_PHONE_NUM, line, source);
  // The counts are what readers index by: every list must hold that many entries.
  const size_t syls = static_cast<size_t>(c.sylNum), phones = static_cast<size_t>(c.phoneNum);
  if (c.sylId.size() < syls || c.sylNode.size() < syls || c.sylEndFrame.size() < syls || c.sylEndScore.size() < syls)
    errorThrowf("Candidate with sylNum = %d lists fewer syllables (line %d of %s)", c.sylNum, line, source);
  if (c.phonePos.size() < phones || c.phoneEndFrame.size() < phones || c.phoneEndScore.size() < phones)
    errorThrowf("Candidate with phoneNum = %d lists fewer phones (line %d of %s)", c.phoneNum, line, source);
}

const pronEntry& pronAt(const std::vector<pronEntry>& pronDict, int index, int line, const char* source) {
  if (index < 0 || static_cast<size_t>(index) >= pronDict.size())
    errorThrowf("Dictionary index %d outside the %d entries of the pronunciation dictionary (line %d of %s)", index,
                static_cast<int>(pronDict.size()), line, source);
  return pronDict[static_cast<size_t>(index)];
}

}  // namespace tulim
