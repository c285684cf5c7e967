#include "platform/peer_user.h"

#include <sys/socket.h>
#include <unistd.h>

namespace pulsewell {

bool peerIsThisUser(int descriptor) {
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) return false;
  return length == sizeof peer && peer.uid == ::geteuid();
}

}  // namespace pulsewell
