// The threads of the test process, for tests that check that no thread outlives them, and those
// the shared pool starts.
#pragma once

#include <functional>

namespace tulim {
namespace test {

int threadCount();
// The count once it is down to expected, or after two seconds of waiting for it: a joined
// thread may linger in the task list for a moment.
int settledThreadCount(int expected);
// The threads workerPool::shared() has started, or is starting, once f has run in a child
// process of its own, whose pool starts empty; -1 when the child did not exit.
int poolThreadsPreparedBy(const std::function<void()>& f);

}  // namespace test
}  // namespace tulim
