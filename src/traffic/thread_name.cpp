#include "traffic/thread_name.h"

#include <pthread.h>

#include "traffic/application_identifier.h"

namespace pulsewell {

std::string workerThreadName(std::string_view role) {
  constexpr std::size_t limit = 15;
  std::string name = std::string(applicationIdentifier) + "." + std::string(role);
  while (name.size() > limit) {
    const auto dot = name.find('.');
    if (dot == std::string::npos || dot + 1 >= name.size()) break;
    name.erase(0, dot + 1);
  }
  if (name.size() > limit) name.resize(limit);
  return name;
}

void nameThisThread(std::string_view role) {
  pthread_setname_np(pthread_self(), workerThreadName(role).c_str());
}

}  // namespace pulsewell
