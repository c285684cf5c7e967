#pragma once

#include <filesystem>

namespace pulsewell {

// Makes sure `folder` is a folder only this user can enter, for files other users must not
// plant or replace (the single-instance socket): creates it with mode 0700 when it is
// missing (its parent must exist), and accepts an existing one only when it is a real folder
// (not a symbolic link) owned by this user with mode exactly 0700. False otherwise.
bool ensurePrivateFolder(const std::filesystem::path& folder);

}  // namespace pulsewell
