#include "platformEnv.h"

#include <cstdlib>

namespace tulim {

std::string envGet(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

}  // namespace tulim
