// Numbers are parsed and printed in the C locale whatever locale a host application set:
// the library's entry points hold a cLocaleScope for the length of the call.
#pragma once

namespace tulim {

class cLocaleScope {
 public:
  cLocaleScope();
  ~cLocaleScope();
  cLocaleScope(const cLocaleScope&) = delete;
  cLocaleScope& operator=(const cLocaleScope&) = delete;

 private:
  void* m_previous;  // the thread's locale before the scope
};

}  // namespace tulim
