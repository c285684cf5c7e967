#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>
#include <utility>
#include <vector>

namespace pulsewell::AtomicFile {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(int error, const fs::path& path) {
  throw Failure(error, path);
}

// Links followed before giving up with ELOOP; Linux's own limit.
constexpr int maxLinkHops = 40;

// The name replace() gives its temporary files for `file`, without the random tail.
std::string temporaryPrefix(const fs::path& file) {
  return "." + file.filename().string() + ".tmp-";
}

// Closes on destruction; close() reports the error that a delayed write may only show there.
class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  int get() const { return descriptor_; }
  bool valid() const { return descriptor_ >= 0; }
  int close() { return ::close(std::exchange(descriptor_, -1)); }

 private:
  int descriptor_;
};

// Removes the temporary file on every way out except the successful rename.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }
  void keep() { path_.clear(); }

 private:
  std::string path_;
};

bool writeAll(int descriptor, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t written = ::write(descriptor, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

Failure::Failure(int error, std::filesystem::path path)
    : std::system_error(error, std::generic_category(), path.string()), path_(std::move(path)) {}

void createFolders(const std::filesystem::path& folder) {
  std::filesystem::path partial;
  for (const auto& component : folder) {
    partial /= component;
    if (::mkdir(partial.c_str(), 0700) == 0) continue;
    const int error = errno;
    struct stat status {};
    if (error == EEXIST && ::stat(partial.c_str(), &status) == 0) {
      if (S_ISDIR(status.st_mode)) continue;
      fail(ENOTDIR, partial);
    }
    // A parent we may not create in but that exists (a read-only /home, say) is fine.
    if (::stat(partial.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) continue;
    fail(error, partial);
  }
}

fs::path writeTarget(const fs::path& file) {
  fs::path target = file;
  for (int hop = 0; hop < maxLinkHops; ++hop) {
    struct stat status {};
    if (::lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return target;
    std::vector<char> link(static_cast<std::size_t>(PATH_MAX));
    const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
    if (length < 0 || static_cast<std::size_t>(length) >= link.size()) return target;
    const fs::path next(std::string(link.data(), static_cast<std::size_t>(length)));
    // Left for the kernel to resolve: ".." after a linked folder is its physical parent.
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  fail(ELOOP, file);
}

void replace(const fs::path& file, std::string_view contents, mode_t mode) {
  const auto target = writeTarget(file);
  const auto folder = target.parent_path();
  if (folder.empty() || !target.has_filename()) fail(EINVAL, target);
  createFolders(folder);

  Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directory.valid()) fail(errno, folder);

  // A hidden name that no reader of the folder takes for the real file (an autostart
  // entry must end in .desktop to count).
  std::string pattern = (folder / (temporaryPrefix(target) + "XXXXXX")).string();
  Descriptor out(::mkostemp(pattern.data(), O_CLOEXEC));
  if (!out.valid()) fail(errno, folder);
  TemporaryFile temporary(pattern);

  if (::fchmod(out.get(), mode) != 0) fail(errno, target);
  if (!writeAll(out.get(), contents)) fail(errno, target);
  if (::fsync(out.get()) != 0) fail(errno, target);
  if (out.close() != 0) fail(errno, target);
  if (::rename(temporary.path().c_str(), target.c_str()) != 0) fail(errno, target);
  temporary.keep();
  // Makes the rename itself durable; file systems that cannot flush a folder say EINVAL.
  if (::fsync(directory.get()) != 0 && errno != EINVAL) fail(errno, folder);
}

void removeLeftovers(const fs::path& file) {
  const auto target = writeTarget(file);
  const std::string prefix = temporaryPrefix(target);
  // mkostemp's six random characters.
  const std::size_t length = prefix.size() + 6;
  std::error_code error;
  for (auto it = fs::directory_iterator(target.parent_path(), error);
       !error && it != fs::directory_iterator(); it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() != length || !name.starts_with(prefix)) continue;
    struct stat status {};
    if (::lstat(it->path().c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
      ::unlink(it->path().c_str());
    }
  }
}

FileProblem problem(int error, const fs::path& path) {
  if (error == ENOTDIR) {
    // Name the part of the path that stands where a folder should be.
    fs::path partial;
    for (const auto& component : path) {
      partial /= component;
      struct stat status {};
      if (::stat(partial.c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) {
        return {error, partial.string()};
      }
    }
  }
  return {error, path.string()};
}

ReadResult read(const std::filesystem::path& file, std::size_t limit) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  Descriptor in(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!in.valid()) return {errno, {}};
  struct stat status {};
  if (::fstat(in.get(), &status) != 0) return {errno, {}};
  if (S_ISDIR(status.st_mode)) return {EISDIR, {}};
  if (!S_ISREG(status.st_mode)) return {EINVAL, {}};
  if (status.st_size < 0 || static_cast<std::size_t>(status.st_size) > limit) return {EFBIG, {}};

  ReadResult result;
  // One byte beyond the size, so that the end shows without a second call; a file that
  // grows while being read is followed up to the limit.
  result.contents.resize(static_cast<std::size_t>(status.st_size) + 1);
  std::size_t filled = 0;
  for (;;) {
    if (filled == result.contents.size()) {
      if (filled > limit) return {EFBIG, {}};
      result.contents.resize(std::min(limit + 1, filled * 2));
    }
    const ssize_t got =
        ::read(in.get(), result.contents.data() + filled, result.contents.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return {errno, {}};
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  result.contents.resize(filled);
  return result;
}

FolderLock::FolderLock(const std::filesystem::path& folder) {
  createFolders(folder);
  descriptor_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor_ < 0) fail(errno, folder);
  while (::flock(descriptor_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    ::close(descriptor_);
    fail(error, folder);
  }
}

FolderLock::~FolderLock() {
  ::close(descriptor_);
}

}  // namespace pulsewell::AtomicFile
