// Placeholder until the port access lands.
#include "ports/lpt_access.h"

namespace zylisp {
struct TLptAccess::Impl {};
TLptAccess::TLptAccess(std::unique_ptr<TIoBackend>) {}
TLptAccess::~TLptAccess() = default;
}  // namespace zylisp
