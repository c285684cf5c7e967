#pragma once

namespace pulsewell {

// Whether the process at the other end of the connected local socket `descriptor` runs as
// this process's user (SO_PEERCRED); false for anyone else and when it cannot be told.
bool peerIsThisUser(int descriptor);

}  // namespace pulsewell
