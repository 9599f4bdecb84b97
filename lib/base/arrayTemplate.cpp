#include "arrayTemplate.h"

namespace tulim {

void segmentPrint(const segment* segments, int count) {
  for (int i = 0; i < count; i++) {
    const segment& s = segments[i];
    printf("i=%d: begin=%d, end=%d, duration=%d, valid=%d\n", i, s.begin, s.end, s.duration, s.valid);
  }
}

}  // namespace tulim
