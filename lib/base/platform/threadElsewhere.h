// A new thread that starts on another CPU than its creator's. The system queues a new thread
// on the CPU of the thread that made it, where it waits until that thread sleeps or a balancer
// moves it: on the shared virtual machine about a millisecond while the creator keeps busy,
// as one that goes on reading models does. Placed elsewhere, it runs at once.
#pragma once

#include <functional>
#include <thread>

namespace tulim {

// Runs fn on a new thread, first allowed every CPU of the caller's set but the caller's own,
// then, once running and before fn, every CPU of the caller's set again. As std::thread where
// the set has one CPU or the system refuses either change. Throws what std::thread throws.
std::thread threadElsewhere(std::function<void()> fn);

}  // namespace tulim
