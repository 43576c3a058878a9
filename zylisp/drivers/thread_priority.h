// Runs a pass at the lowest priority of the calling thread and restores the
// previous priority on every way out. A thread that would not be allowed to
// return to its priority (an unprivileged user) keeps it for the pass.
#pragma once

namespace zylisp {

class TLowPriorityScope {
 public:
  TLowPriorityScope();
  ~TLowPriorityScope();
  TLowPriorityScope(const TLowPriorityScope&) = delete;
  TLowPriorityScope& operator=(const TLowPriorityScope&) = delete;

 private:
  int previous_ = 0;
  bool changed_ = false;
};

}  // namespace zylisp
