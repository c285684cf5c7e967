#include "platform/file_secret_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
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
  if (file_.empty() || service != applicationIdentifier) return false;
  if (value.empty()) return ::unlink(file_.c_str()) == 0 || errno == ENOENT;
  if (!isValidUTF8(value) || value.size() > maxCommunityBytes) return false;
  try {
    AtomicFile::replace(file_, value, S_IRUSR | S_IWUSR);
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace pulsewell
