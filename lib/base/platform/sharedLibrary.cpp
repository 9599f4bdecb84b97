#include "sharedLibrary.h"

#include <dlfcn.h>

#include "utility.h"

namespace tulim {

sharedLibrary::sharedLibrary(const std::string& name, const std::string& purpose, std::nothrow_t)
    : m_name(name), m_purpose(purpose) {
  m_handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

sharedLibrary::sharedLibrary(const std::string& name, const std::string& purpose)
    : sharedLibrary(name, purpose, std::nothrow) {
  if (!m_handle) {
    const char* reason = dlerror();
    errorThrowf("Error: %s needs the shared library %s, which cannot be loaded: %s (line %d of %s)", purpose.c_str(),
                name.c_str(), reason ? reason : "no reason given", TULIM_HERE);
  }
}

void* sharedLibrary::symbol(const char* name) const {
  dlerror();
  void* address = dlsym(m_handle, name);
  if (!address) {
    const char* reason = dlerror();
    errorThrowf("Error: %s needs %s from the shared library %s, which lacks it: %s (line %d of %s)", m_purpose.c_str(),
                name, m_name.c_str(), reason ? reason : "no reason given", TULIM_HERE);
  }
  return address;
}

}  // namespace tulim
