// Signal templates over the sample or value type: frame measures and the pitch tracker.
// They live beside the generic array templates of lib/base (arrayTemplate.h).
#pragma once

namespace tulim {

// ---- Frame measures --------------------------------------------------------------------------

// ---- Pitch tracking ---------------------------------------------------------------------------

}  // namespace tulim
