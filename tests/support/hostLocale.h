// A locale with a decimal comma, as a host application may set one for the whole process,
// for tests that numbers are still read and printed in the C locale.
#pragma once

#include <string>

namespace tulim {
namespace test {

// The process's numeric locale for the life of the object: one with a decimal comma that the
// system has, else one built once per process with localedef into a scratch folder that
// LOCPATH names; "C" again at the end. name() is empty when neither can be had (the test
// skips).
class hostCommaLocale {
 public:
  hostCommaLocale();
  ~hostCommaLocale();
  hostCommaLocale(const hostCommaLocale&) = delete;
  hostCommaLocale& operator=(const hostCommaLocale&) = delete;

  const std::string& name() const { return m_name; }

 private:
  std::string m_name;
};

}  // namespace test
}  // namespace tulim
