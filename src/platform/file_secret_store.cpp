#include "platform/file_secret_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/json_defaults_store.h"
#include "traffic/application_identifier.h"
#include "traffic/utf8.h"

namespace pulsewell {

namespace {

// Far above any community; a larger file is not one.
constexpr std::size_t maxCommunityBytes = std::size_t{64} * 1024;

}  // namespace

FileSecretStore::FileSecretStore() : FileSecretStore(defaultPath()) {}

FileSecretStore::FileSecretStore(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path FileSecretStore::defaultPath() {
  const auto settings = JsonDefaultsStore::defaultPath();
  if (settings.empty()) return {};
  return settings.parent_path() / "community";
}

std::optional<std::string> FileSecretStore::read(const std::string& service) {
  if (file_.empty() || service != applicationIdentifier) return std::nullopt;
  auto result = AtomicFile::read(file_, maxCommunityBytes);
  if (result.error != 0 || result.contents.empty() || !isValidUTF8(result.contents)) {
    return std::nullopt;
  }
  return std::move(result.contents);
}

bool FileSecretStore::write(const std::string& value, const std::string& service) {
  problem_.reset();
  if (file_.empty() || service != applicationIdentifier) return false;
  if (value.empty()) {
    // ENOTDIR: a part of the path is no folder, so there is no file either.
    if (::unlink(file_.c_str()) == 0 || errno == ENOENT || errno == ENOTDIR) return true;
    problem_ = AtomicFile::problem(errno, file_);
    return false;
  }
  if (!isValidUTF8(value) || value.size() > maxCommunityBytes) return false;
  try {
    // Every writer holds the lock, so temporary files found under it are left by writers
    // that died, with a community in them.
    const AtomicFile::FolderLock lock(file_.parent_path());
    AtomicFile::removeLeftovers(file_);
    AtomicFile::replace(file_, value, S_IRUSR | S_IWUSR);
    return true;
  } catch (const AtomicFile::Failure& failure) {
    problem_ = AtomicFile::problem(failure.code().value(), failure.path());
    return false;
  }
}

std::optional<FileProblem> FileSecretStore::writeProblem() const {
  return problem_;
}

}  // namespace pulsewell
