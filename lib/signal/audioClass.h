// The audio routines: a class without data whose members frame a wave, measure it, find
// its end points, check its volume, condition it and set up pitch tracking. Callers build
// a local instance and call its members.
#pragma once

#include <cstdint>

namespace tulim {

class audioClass {
 public:
  // ---- Frames, volume and end points ----------------------------------------------------

  // ---- Volume check ----------------------------------------------------------------------

  // ---- Pitch-tracking parameters ---------------------------------------------------------

  // ---- Wave conditioning and small routines ----------------------------------------------
};

}  // namespace tulim
