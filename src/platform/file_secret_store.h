#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "traffic/secret_store.h"

namespace pulsewell {

// The community in a file of mode 0600 beside the settings file, for sessions without any
// Secret Service (a server over ssh, a bare window manager). The file holds exactly the
// community's UTF-8 bytes. It keeps the one item of the application identifier: other
// service texts find nothing and cannot be written.
class FileSecretStore final : public SecretStore {
 public:
  // defaultPath().
  FileSecretStore();
  explicit FileSecretStore(std::filesystem::path file);

  // `community` in the folder of the settings file; empty when no home folder is found.
  static std::filesystem::path defaultPath();

  // None on any failure: no file, unreadable, empty, not UTF-8, implausibly large.
  std::optional<std::string> read(const std::string& service) override;
  // "" removes the file (also fine when there was none); anything else replaces it
  // atomically. False on any failure, and for a value that is not UTF-8.
  bool write(const std::string& value, const std::string& service) override;
  std::optional<FileProblem> writeProblem() const override;

  const std::filesystem::path& path() const { return file_; }

 private:
  std::filesystem::path file_;
  std::optional<FileProblem> problem_;
};

}  // namespace pulsewell
