#include "CFloatVec.h"

#include <climits>
#include <cstdint>

#include "utility.h"

namespace tulim {

void CFloatVec::resize(int n, int extra) {
  if (n < 0 || extra < 0 || int64_t(n) + extra > INT_MAX)
    errorThrowf("CFloatVec::resize: bad size %d + %d (line %d of %s)", n, extra, TULIM_HERE);
  data.reset(new float[size_t(n) + size_t(extra)]());
  size = n;
}

}  // namespace tulim
