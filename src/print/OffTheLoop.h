#pragma once
// Printing waits for devices and services that may never answer. The waiting
// runs on a worker thread with time limits of its own, while the calling
// thread goes on handling its events (repaints, timers, input).
#include <atomic>
#include <functional>

namespace print {

// Runs the work on a worker thread and returns when it is done; an error of
// the work is thrown here. `abandon` turns true when the program quits while
// the work runs: the work then stops waiting and tidies up (a job cancelled,
// a connection closed) rather than leave something to print later.
void offTheLoop(const std::function<void(const std::atomic<bool> &abandon)> &work);

} // namespace print
