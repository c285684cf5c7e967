#include "platform/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

namespace pulsewell {

namespace {

constexpr mode_t privateMode = S_IRWXU;

}  // namespace

bool ensurePrivateFolder(const std::filesystem::path& folder) {
  // The umask may have taken bits from mkdir's mode; the folder is ours to set right.
  if (::mkdir(folder.c_str(), privateMode) == 0 && ::chmod(folder.c_str(), privateMode) != 0) {
    return false;
  }
  struct stat status {};
  if (::lstat(folder.c_str(), &status) != 0) return false;
  return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
         (status.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO)) == privateMode;
}

}  // namespace pulsewell
