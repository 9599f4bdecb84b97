#include "waveBackend.h"

namespace tulim {

waveBackend::~waveBackend() = default;

}  // namespace tulim
