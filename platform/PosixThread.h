// The POSIX thread and scheduler calls of the library, kept in one place. Linux only: thread ids
// are kernel task ids, which the scheduler calls accept for single threads.
#pragma once

#include <cstdint>
#include <string>

namespace fundrel::platform {

// A kernel thread id; 0 never names a thread.
using TOsThreadId = int64_t;

// The calling thread's id (cached per thread).
TOsThreadId CurrentThreadId() noexcept;
// The id of the process's initial thread (the one that ran main), equal to the process id.
TOsThreadId InitialThreadId() noexcept;

// Names the calling thread for debuggers and /proc. The system keeps at most 15 bytes; a longer
// name is cut there, never inside a UTF-8 character.
void SetCurrentThreadName(const std::string& AName) noexcept;

// Scheduling level of a thread, 0..6 (out-of-range values are clamped):
// 0 idle scheduling class; 1..5 ordinary scheduling with nice +10, +5, 0, -5, -10;
// 6 round-robin real-time at its lowest priority, or nice -20 where real-time is not allowed.
// Any thread may set any thread of the process. Never fails: what the process may not do
// (raise priority, leave the idle class) is replaced by the closest level it may reach, and the
// result is false; true when the level was applied exactly.
bool SetThreadPriority(TOsThreadId AThread, int ALevel) noexcept;

}  // namespace fundrel::platform
