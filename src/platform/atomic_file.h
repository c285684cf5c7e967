#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "traffic/file_problem.h"

// Small files that must survive crashes and power loss whole: the settings file, the
// fallback community file, the autostart entry.
namespace pulsewell::AtomicFile {

// What every function here throws: the errno value and the file or folder that failed.
class Failure : public std::system_error {
 public:
  Failure(int error, std::filesystem::path path);
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Creates `folder` and every missing parent with mode 0700 (the XDG rule for configuration
// folders).
void createFolders(const std::filesystem::path& folder);

// Where replace() writes for `file`: `file` itself, or, when it is a symbolic link (dotfiles
// managers keep settings so), the file the chain of links ends at, which may not exist yet.
std::filesystem::path writeTarget(const std::filesystem::path& file);

// Replaces `file` by a file holding exactly `contents` with permissions `mode`, so that a
// reader, or the next start after a crash, sees either the old file or the new one, never a
// part: a temporary file in the same folder (O_CLOEXEC), written, flushed to disk, renamed
// over `file`, then the folder flushed. A symbolic link stays a link: its writeTarget() is
// replaced. Creates the folder when missing. When it throws, `file` is untouched and no
// temporary file is left behind (one is left only when the process dies while writing).
void replace(const std::filesystem::path& file, std::string_view contents, mode_t mode);

// Removes the temporary files that writers of `file` left when they died while writing.
// Call only under the FolderLock that every writer of `file` holds while it writes, so that
// no temporary file of a live writer is taken.
void removeLeftovers(const std::filesystem::path& file);

// `error` as it concerns `path`, for telling the user what is wrong; for ENOTDIR the part of
// the path that is no folder.
FileProblem problem(int error, const std::filesystem::path& path);

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
// creates the folder. Throws when neither is possible.
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
