// The threads of the test process, for tests that check that no thread outlives them.
#pragma once

namespace tulim {
namespace test {

int threadCount();
// The count once it is down to expected, or after two seconds of waiting for it: a joined
// thread may linger in the task list for a moment.
int settledThreadCount(int expected);

}  // namespace test
}  // namespace tulim
