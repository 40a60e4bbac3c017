#include "platform/PosixThread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace fundrel::platform {

namespace {

constexpr int KLevelNice[] = {19, 10, 5, 0, -5, -10, -20};

bool SetPolicy(TOsThreadId AThread, int APolicy, int APriority) {
  sched_param param{};
  param.sched_priority = APriority;
  return sched_setscheduler(static_cast<pid_t>(AThread), APolicy, &param) == 0;
}

// The lowest nice value the thread may reach without CAP_SYS_NICE (RLIMIT_NICE counts 20 - nice).
int UnprivilegedNiceFloor() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NICE, &limit) != 0) return 20;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 40) return -20;
  return 20 - static_cast<int>(limit.rlim_cur);
}

bool SetNice(TOsThreadId AThread, int ANice) {
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(AThread), ANice) == 0) return true;
  errno = 0;
  int current = getpriority(PRIO_PROCESS, static_cast<id_t>(AThread));
  if (current == -1 && errno != 0) return false;
  // Staying put is always allowed, and so is anything down to the floor; never lower priority
  // as a consequence of failing to raise it.
  int best = std::min(current, std::max(ANice, UnprivilegedNiceFloor()));
  if (best < current) setpriority(PRIO_PROCESS, static_cast<id_t>(AThread), best);
  return false;
}

bool SetOrdinary(TOsThreadId AThread, int ANice) {
  int policy = sched_getscheduler(static_cast<pid_t>(AThread));
  if (policy < 0) return false;
  policy &= ~SCHED_RESET_ON_FORK;
  // Leaving the idle class needs a right the process may lack; idle is then the closest level.
  if (policy != SCHED_OTHER && policy != SCHED_BATCH && !SetPolicy(AThread, SCHED_OTHER, 0)) return false;
  return SetNice(AThread, ANice);
}

}  // namespace

TOsThreadId CurrentThreadId() noexcept {
  thread_local const TOsThreadId id = static_cast<TOsThreadId>(syscall(SYS_gettid));
  return id;
}

TOsThreadId InitialThreadId() noexcept { return static_cast<TOsThreadId>(getpid()); }

void SetCurrentThreadName(const std::string& AName) noexcept {
  constexpr size_t KMaxBytes = 15;
  size_t length = AName.size();
  if (length > KMaxBytes) {
    length = KMaxBytes;
    while (length > 0 && (static_cast<unsigned char>(AName[length]) & 0xC0) == 0x80) --length;
  }
  pthread_setname_np(pthread_self(), AName.substr(0, length).c_str());
}

bool SetThreadPriority(TOsThreadId AThread, int ALevel) noexcept {
  ALevel = std::clamp(ALevel, 0, 6);
  if (ALevel == 0) return SetPolicy(AThread, SCHED_IDLE, 0);
  if (ALevel == 6) {
    if (SetPolicy(AThread, SCHED_RR, sched_get_priority_min(SCHED_RR))) return true;
    SetOrdinary(AThread, KLevelNice[6]);
    return false;
  }
  return SetOrdinary(AThread, KLevelNice[ALevel]);
}

}  // namespace fundrel::platform
