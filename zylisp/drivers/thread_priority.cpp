#include "drivers/thread_priority.h"

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace zylisp {

namespace {

constexpr int kLowest = 19;

id_t ThisThread() { return static_cast<id_t>(syscall(SYS_gettid)); }

bool HasCapSysNice() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  return (data[CAP_SYS_NICE / 32].effective & (1u << (CAP_SYS_NICE % 32))) != 0;
}

// Whether this thread may go back to nice value target after lowering its
// priority: without CAP_SYS_NICE, RLIMIT_NICE allows no lower value than
// 20 minus its limit.
bool MayReturnTo(int target) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NICE, &limit) == 0) {
    if (limit.rlim_cur == RLIM_INFINITY) return true;
    if (20 - static_cast<long long>(limit.rlim_cur) <= target) return true;
  }
  return HasCapSysNice();
}

}  // namespace

TLowPriorityScope::TLowPriorityScope() {
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, ThisThread());
  if (current == -1 && errno != 0) return;
  // A priority that could not be given back would stay low for good.
  if (current >= kLowest || !MayReturnTo(current)) return;
  previous_ = current;
  changed_ = setpriority(PRIO_PROCESS, ThisThread(), kLowest) == 0;
}

TLowPriorityScope::~TLowPriorityScope() {
  if (changed_) setpriority(PRIO_PROCESS, ThisThread(), previous_);
}

}  // namespace zylisp
