#include "complex.h"

#include <cmath>
#include <cstdio>

namespace tulim {

void complex::print() const {
  if (im > 0)
    printf("%f+%fj", re, im);
  else if (im < 0)
    printf("%f-%fj", re, std::fabs(im));
  else
    printf("%f", re);
}

}  // namespace tulim
