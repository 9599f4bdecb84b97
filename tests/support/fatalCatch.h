// Runs a call that may raise a fatal error (errorThrow's char*) and hands back its text; used by
// the tests of every subsystem. "temp" is unset while the call runs, so no error log is written.
#pragma once

#include <functional>
#include <string>

namespace tulim {
namespace test {

// The text of the fatal error that run raises, or "" when it raises none.
std::string fatalMessage(const std::function<void()>& run);

// As fatalMessage, and a test failure when run raises nothing.
std::string expectFatal(const std::function<void()>& run);

// As fatalMessage, with what run prints on standard output captured and dropped.
std::string quietFatalMessage(const std::function<void()>& run);

}  // namespace test
}  // namespace tulim
