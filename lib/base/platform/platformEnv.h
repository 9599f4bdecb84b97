// Environment variables.
#pragma once

#include <string>

namespace tulim {

// The value of the variable, or the empty string when it is unset.
std::string envGet(const char* name);

}  // namespace tulim
