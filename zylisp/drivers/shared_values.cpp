#include "drivers/shared_values.h"

namespace zylisp {

TSharedValues& Shared() {
  static TSharedValues values;
  return values;
}

}  // namespace zylisp
