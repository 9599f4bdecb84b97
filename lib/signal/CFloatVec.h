// A float array that owns its storage: the feature matrix of CFeaBuf and the front end's
// work vectors (windows, frames, channels) are made of it.
#pragma once

#include <memory>

namespace tulim {

class CFloatVec {
 public:
  CFloatVec() = default;
  CFloatVec(CFloatVec&&) = default;
  CFloatVec& operator=(CFloatVec&&) = default;
  CFloatVec(const CFloatVec&) = delete;
  CFloatVec& operator=(const CFloatVec&) = delete;

  // Replaces the storage by n + extra zeroed floats and sets size to n; the work vectors of
  // the front end take extra 1 and are used from index 1. A negative n or extra is fatal.
  void resize(int n, int extra = 0);

  float& operator[](int i) { return data[i]; }
  const float& operator[](int i) const { return data[i]; }

  int size = 0;
  std::unique_ptr<float[]> data;
};

}  // namespace tulim
