#include "drivers/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace zylisp {

namespace {
id_t ThisThread() { return static_cast<id_t>(syscall(SYS_gettid)); }
}  // namespace

TLowPriorityScope::TLowPriorityScope() {
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, ThisThread());
  if (current == -1 && errno != 0) return;
  previous_ = current;
  changed_ = setpriority(PRIO_PROCESS, ThisThread(), 19) == 0;
}

TLowPriorityScope::~TLowPriorityScope() {
  // Raising the priority again may be refused to unprivileged users; the
  // pass is over either way.
  if (changed_) setpriority(PRIO_PROCESS, ThisThread(), previous_);
}

}  // namespace zylisp
