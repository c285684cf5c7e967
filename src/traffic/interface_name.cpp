#include "traffic/interface_name.h"

namespace pulsewell {

ByteView withoutTrailingNuls(ByteView bytes) {
  while (!bytes.empty() && bytes.back() == 0)
    bytes = bytes.first(bytes.size() - 1);
  return bytes;
}

}  // namespace pulsewell
