#include "mlfClass.h"

#include <cmath>
#include <cstdio>

#include "lineFile.h"
#include "stringUtil.h"
#include "utility.h"

namespace tulim {

void mlfClass::print() const {
  printf("Output of mlfClass::print():\n");
  for (size_t i = 0; i < m_syl.size(); ++i) {
    const sylInfo& syl = m_syl[i];
    printf("m_syl[%d]: name=%s, frameId=[%d, %d], text=%s, phoneNum=%d, score=%g\n", static_cast<int>(i),
           syl.name.c_str(), syl.frameId[0], syl.frameId[1], syl.text.c_str(), static_cast<int>(syl.phone.size()),
           static_cast<double>(syl.timberScore));
    for (size_t j = 0; j < syl.phone.size(); ++j) {
      const phoneInfo& phone = syl.phone[j];
      printf("\tphone[%d]: name=%s, frameId=[%d, %d], score=%g, cumlogProb=%g\n", static_cast<int>(j),
             phone.name.c_str(), phone.frameId[0], phone.frameId[1], static_cast<double>(phone.timberScore),
             static_cast<double>(phone.cumLogLike));
    }
  }
}

void mlfClass::epsRead(const std::string& fileName, std::vector<equivPhoneSet>& eps) {
  strVec lines;
  file2strVec(fileName, lines, '%');
  eps.clear();
  strVec fields;
  for (const std::string& line : lines) {
    strSplit(line, '\t', fields);
    equivPhoneSet set;
    set.name = fields[0];
    set.member.assign(fields.begin() + 1, fields.end());
    eps.push_back(std::move(set));
  }
}

float gbellScore(float x, const std::vector<float>& triple) {
  if (triple.size() < 3)
    errorThrowf("gbellScore needs 3 parameters, got %d (line %d of %s)", static_cast<int>(triple.size()), TULIM_HERE);
  const float t = (x - triple[2]) / triple[0];
  if (t == 0.0f) return 100.0f;
  const float tt = t * t;
  const float power = static_cast<float>(std::pow(static_cast<double>(tt), static_cast<double>(triple[1])));
  // 1 + power stays a float sum; only the quotient is taken in double precision.
  return static_cast<float>(100.0 / (1.0f + power));
}

float sqrtScore(float x) { return static_cast<float>((1.0 - std::sqrt(static_cast<double>(x))) * 100.0); }

int dbcsCharCount(const std::string& str) {
  int count = 0;
  for (size_t i = 0; i < str.size(); ++i) {
    if (static_cast<unsigned char>(str[i]) & 0x80) ++i;  // a lead byte takes its trail byte
    ++count;
  }
  return count;
}

void vecSortWithIndex(const std::vector<float>& values, std::vector<float>& sorted, std::vector<int>& index) {
  const size_t n = values.size();
  if (sorted.empty()) sorted = values;
  if (index.empty())
    for (size_t i = 0; i < n; ++i) index.push_back(static_cast<int>(i));
  if (sorted.size() != n || index.size() != n)
    errorThrowf("vecSortWithIndex: %d values, %d sorted, %d indices (line %d of %s)", static_cast<int>(n),
                static_cast<int>(sorted.size()), static_cast<int>(index.size()), TULIM_HERE);
  if (n > 0) vecQuickSortWithIndex(sorted, 0, static_cast<int>(n) - 1, index);
}

}  // namespace tulim
