// A shared library loaded while the process runs, for a dependency that only some inputs
// need: programs that never meet such input do not pay for loading it at start-up.
#pragma once

#include <new>
#include <string>

namespace tulim {

class sharedLibrary {
 public:
  // Loads the library of that file name (searched the system's way); a library that cannot be
  // loaded is a fatal error naming it, what needs it (purpose) and the loader's reason.
  sharedLibrary(const std::string& name, const std::string& purpose);
  // The same without the fatal error, for a dependency whose absence only means less to offer:
  // loaded() tells whether the library is there.
  sharedLibrary(const std::string& name, const std::string& purpose, std::nothrow_t);
  // The library stays loaded until the process ends: what it handed out stays valid.
  ~sharedLibrary() = default;
  sharedLibrary(const sharedLibrary&) = delete;
  sharedLibrary& operator=(const sharedLibrary&) = delete;

  // The address of the symbol, looked up in the library and the libraries it depends on; a
  // missing symbol is a fatal error naming it and the library.
  void* symbol(const char* name) const;
  // symbol(name) into a function pointer of its type.
  template <class Function>
  void bind(Function& function, const char* name) const {
    function = reinterpret_cast<Function>(symbol(name));
  }

  const std::string& name() const { return m_name; }
  bool loaded() const { return m_handle != nullptr; }

 private:
  std::string m_name;
  std::string m_purpose;
  void* m_handle = nullptr;
};

}  // namespace tulim
