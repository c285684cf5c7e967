#include "platform/program_files.h"

#include <string>
#include <string_view>
#include <system_error>

#include "pulsewell_program_files.h"

namespace pulsewell::ProgramFiles {

namespace {

constexpr std::string_view deletedSuffix = " (deleted)";

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

std::filesystem::path inPrivateFolder(const char* name) {
  const auto program = running();
  return program.empty() ? program : privateFolderFor(program) / name;
}

}  // namespace

std::filesystem::path running() {
  std::error_code error;
  auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  // A program replaced by an update while running still starts from its path.
  const std::string& text = program.native();
  if (text.ends_with(deletedSuffix) && !std::filesystem::exists(program, error)) {
    program = text.substr(0, text.size() - deletedSuffix.size());
  }
  return program;
}

std::filesystem::path desktopProgram() {
  return inPrivateFolder(InstalledLayout::desktopProgramName);
}

std::filesystem::path keyringModule() {
  return inPrivateFolder(InstalledLayout::keyringModuleName);
}

std::filesystem::path command() {
  const auto self = running();
  return self.empty() ? self : commandOf(self);
}

std::filesystem::path privateFolderOf(const std::filesystem::path& command) {
  return (command.parent_path() / InstalledLayout::privateFromCommand).lexically_normal();
}

std::filesystem::path privateFolderFor(const std::filesystem::path& program) {
  // The desktop program lives in the private folder; the command does not.
  return commandOf(program) == program ? privateFolderOf(program) : program.parent_path();
}

std::filesystem::path commandOf(const std::filesystem::path& desktopProgram) {
  const auto folder =
      (desktopProgram.parent_path() / InstalledLayout::commandFromPrivate).lexically_normal();
  auto candidate = folder / InstalledLayout::commandName;
  // Only the command whose private folder this is starts this program.
  std::error_code error;
  if (std::filesystem::is_regular_file(candidate, error) &&
      sameFile(privateFolderOf(candidate), desktopProgram.parent_path())) {
    return candidate;
  }
  return desktopProgram;
}

}  // namespace pulsewell::ProgramFiles
