#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// Small files that must survive crashes and power loss whole: the settings file, the
// fallback community file, the autostart entry.
namespace pulsewell::AtomicFile {

// Creates `folder` and every missing parent with mode 0700 (the XDG rule for configuration
// folders). Throws std::system_error naming the folder that failed.
void createFolders(const std::filesystem::path& folder);

// Replaces `file` by a file holding exactly `contents` with permissions `mode`, so that a
// reader, or the next start after a crash, sees either the old file or the new one, never a
// part: a temporary file in the same folder (O_CLOEXEC), written, flushed to disk, renamed
// over `file`, then the folder flushed. Creates the folder when missing. Throws
// std::system_error; `file` is then untouched and no temporary file is left behind.
void replace(const std::filesystem::path& file, std::string_view contents, mode_t mode);

struct ReadResult {
  // 0, or why the read failed: ENOENT when there is no file, EISDIR for a folder, EINVAL for
  // anything but a regular file, EFBIG above the limit, else the failing call's errno.
  int error = 0;
  std::string contents;
};

// Reads a regular file of at most `limit` bytes. Never blocks on a FIFO or a device that
// sits at the path.
ReadResult read(const std::filesystem::path& file, std::size_t limit);

// An exclusive advisory lock on a folder, held while it lives, so that two processes that
// read, change and replace a file in it do not lose each other's changes. Taking it
// creates the folder. Throws std::system_error when neither is possible.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& folder);
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();

 private:
  int descriptor_ = -1;
};

}  // namespace pulsewell::AtomicFile
