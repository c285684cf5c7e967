#include "platform/xdg_autostart_login_item.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/program_files.h"
#include "platform/xdg_config_home.h"
#include "traffic/application_identifier.h"
#include "traffic/utf8.h"

namespace pulsewell {

namespace {

// Far above any desktop entry; a larger file is not one.
constexpr std::size_t maxEntryBytes = std::size_t{64} * 1024;
constexpr std::string_view markerKey = "X-Pulsewell-Autostart";
constexpr std::string_view turnOnFailed = "Could not turn on launch at login: ";
constexpr std::string_view turnOffFailed = "Could not turn off launch at login: ";

std::string entryFileName() {
  return std::string(applicationIdentifier) + ".desktop";
}

std::string environment(const char* name) {
  // Read at the moment of the call; nothing in the program changes the environment while
  // other threads run.
  const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
  return value == nullptr ? std::string() : std::string(value);
}

std::vector<std::string> splitColons(std::string_view list) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= list.size()) {
    const auto end = std::min(list.find(':', start), list.size());
    if (end > start) parts.emplace_back(list.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// What an entry says about itself, from its [Desktop Entry] group.
struct Entry {
  bool exists = false;
  bool marked = false;
  bool hidden = false;
  bool gnomeDisabled = false;
  std::string exec;
};

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

bool isTrue(std::string_view value) {
  return value == "true" || value == "1";
}
bool isFalse(std::string_view value) {
  return value == "false" || value == "0";
}

// The escapes of a desktop entry's string values: \s \n \t \r \\.
std::string unescapeValue(std::string_view value) {
  std::string text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      text += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's':
        text += ' ';
        break;
      case 'n':
        text += '\n';
        break;
      case 't':
        text += '\t';
        break;
      case 'r':
        text += '\r';
        break;
      case '\\':
        text += '\\';
        break;
      default:
        text += '\\';
        text += value[i];
    }
  }
  return text;
}

Entry readEntry(const std::filesystem::path& file) {
  Entry entry;
  const auto read = AtomicFile::read(file, maxEntryBytes);
  if (read.error == ENOENT || read.error == ENOTDIR) return entry;
  // An entry that is there but cannot be read still shadows those below it.
  entry.exists = true;
  if (read.error != 0) return entry;

  std::string_view rest = read.contents;
  bool inMainGroup = false;
  while (!rest.empty()) {
    const auto end = std::min(rest.find('\n'), rest.size());
    const auto line = trimmed(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inMainGroup = line == "[Desktop Entry]";
      continue;
    }
    const auto equals = line.find('=');
    if (!inMainGroup || equals == std::string_view::npos) continue;
    const auto key = trimmed(line.substr(0, equals));
    const auto value = trimmed(line.substr(equals + 1));
    if (key == markerKey) {
      entry.marked = isTrue(value);
    } else if (key == "Hidden") {
      entry.hidden = isTrue(value);
    } else if (key == "X-GNOME-Autostart-enabled") {
      entry.gnomeDisabled = isFalse(value);
    } else if (key == "Exec") {
      entry.exec = unescapeValue(value);
    }
  }
  return entry;
}

// The program an Exec line runs: its first argument, unquoted, with %% as %.
std::string execProgram(std::string_view exec) {
  std::size_t i = 0;
  while (i < exec.size() && (exec[i] == ' ' || exec[i] == '\t'))
    ++i;
  std::string argument;
  if (i < exec.size() && exec[i] == '"') {
    for (++i; i < exec.size() && exec[i] != '"'; ++i) {
      if (exec[i] == '\\' && i + 1 < exec.size() && std::strchr("\"`$\\", exec[i + 1]) != nullptr) {
        ++i;
      }
      argument += exec[i];
    }
  } else {
    for (; i < exec.size() && exec[i] != ' ' && exec[i] != '\t' && exec[i] != '\n'; ++i) {
      argument += exec[i];
    }
  }
  std::string program;
  for (std::size_t k = 0; k < argument.size(); ++k) {
    program += argument[k];
    if (argument[k] == '%' && k + 1 < argument.size() && argument[k + 1] == '%') ++k;
  }
  return program;
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

bool runsProgram(const Entry& entry, const std::filesystem::path& program) {
  if (program.empty()) return false;
  const std::filesystem::path runs(execProgram(entry.exec));
  if (runs.empty()) return false;
  if (runs.is_absolute()) return sameFile(runs, program);
  // A bare name is looked up in PATH, as the desktop will when it starts the entry.
  if (runs.has_parent_path()) return false;
  auto path = environment("PATH");
  if (path.empty()) path = "/usr/local/bin:/usr/bin:/bin";
  for (const auto& folder : splitColons(path)) {
    const std::filesystem::path candidate = std::filesystem::path(folder) / runs;
    if (::access(candidate.c_str(), X_OK) == 0) return sameFile(candidate, program);
  }
  return false;
}

bool ours(const Entry& entry, const std::filesystem::path& program) {
  return entry.marked || runsProgram(entry, program);
}

bool enabled(const Entry& entry, const std::filesystem::path& program) {
  return entry.exists && ours(entry, program) && !entry.hidden && !entry.gnomeDisabled;
}

// The program as the one argument of an Exec line: quoted where it holds a reserved
// character, then % doubled, then escaped as a string value.
std::string execValue(const std::filesystem::path& program, std::string_view failure) {
  const std::string& path = program.native();
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      throw std::runtime_error(std::string(failure) +
                               "the program's path holds a control character.");
    }
  }
  if (!isValidUTF8(path)) {
    throw std::runtime_error(std::string(failure) + "the program's path is not UTF-8.");
  }
  std::string argument;
  if (path.find_first_of(" \t\"'\\><~|&;$*?#()`") == std::string::npos) {
    argument = path;
  } else {
    argument = "\"";
    for (const char c : path) {
      if (std::strchr("\"`$\\", c) != nullptr) argument += '\\';
      argument += c;
    }
    argument += '"';
  }
  std::string value;
  for (const char c : argument) {
    if (c == '%') value += '%';
    if (c == '\\') value += '\\';
    value += c;
  }
  return value;
}

std::string entryText(const std::filesystem::path& program, bool on) {
  std::string text = "[Desktop Entry]\nType=Application\nName=Pulsewell\n";
  text += "Exec=" + execValue(program, on ? turnOnFailed : turnOffFailed) + "\n";
  text += "Icon=" + std::string(applicationIdentifier) + "\n";
  text += "Terminal=false\n";
  if (on) {
    text += "X-GNOME-Autostart-enabled=true\n";
  } else {
    // Turns off an entry of the same name in a system folder.
    text += "Hidden=true\nX-GNOME-Autostart-enabled=false\n";
  }
  text += std::string(markerKey) + "=true\n";
  return text;
}

}  // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem()
    : XdgAutostartLoginItem(defaultPath(), defaultSystemFolders(), ProgramFiles::command()) {}

XdgAutostartLoginItem::XdgAutostartLoginItem(std::filesystem::path entry,
                                             std::vector<std::filesystem::path> systemFolders,
                                             std::filesystem::path program)
    : entry_(std::move(entry)),
      systemFolders_(std::move(systemFolders)),
      program_(std::move(program)) {}

std::filesystem::path XdgAutostartLoginItem::defaultPath() {
  const auto configHome = xdgConfigHome();
  if (configHome.empty()) return {};
  return configHome / "autostart" / entryFileName();
}

std::vector<std::filesystem::path> XdgAutostartLoginItem::defaultSystemFolders() {
  auto dirs = environment("XDG_CONFIG_DIRS");
  if (dirs.empty()) dirs = "/etc/xdg";
  std::vector<std::filesystem::path> folders;
  for (const auto& dir : splitColons(dirs)) {
    const std::filesystem::path folder(dir);
    if (folder.is_absolute()) folders.push_back(folder / "autostart");
  }
  return folders;
}

LoginItem::Status XdgAutostartLoginItem::status() const {
  if (!entry_.empty()) {
    if (const auto user = readEntry(entry_); user.exists) {
      return enabled(user, program_) ? Status::enabled : Status::notRegistered;
    }
  }
  for (const auto& folder : systemFolders_) {
    if (const auto system = readEntry(folder / entryFileName()); system.exists) {
      return enabled(system, program_) ? Status::enabled : Status::notRegistered;
    }
  }
  return Status::notRegistered;
}

void XdgAutostartLoginItem::registerItem() {
  if (entry_.empty()) {
    throw std::runtime_error(std::string(turnOnFailed) + "no home folder was found.");
  }
  if (program_.empty()) {
    throw std::runtime_error(std::string(turnOnFailed) +
                             "the path of the running program cannot be told.");
  }
  const auto text = entryText(program_, true);
  try {
    AtomicFile::replace(entry_, text, S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
  } catch (const std::system_error& error) {
    throw std::runtime_error(std::string(turnOnFailed) + error.what());
  }
}

void XdgAutostartLoginItem::unregisterItem() {
  if (entry_.empty()) return;
  const auto user = readEntry(entry_);
  // Someone else's entry under our name is not ours to remove.
  if (user.exists && !ours(user, program_)) return;

  bool systemStarts = false;
  for (const auto& folder : systemFolders_) {
    if (const auto system = readEntry(folder / entryFileName()); system.exists) {
      systemStarts = enabled(system, program_);
      break;
    }
  }
  try {
    if (systemStarts) {
      if (program_.empty()) {
        throw std::runtime_error(std::string(turnOffFailed) +
                                 "the path of the running program cannot be told.");
      }
      AtomicFile::replace(entry_, entryText(program_, false),
                          S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
    } else if (user.exists && ::unlink(entry_.c_str()) != 0 && errno != ENOENT) {
      throw std::system_error(errno, std::generic_category(), entry_.string());
    }
  } catch (const std::system_error& error) {
    throw std::runtime_error(std::string(turnOffFailed) + error.what());
  }
}

}  // namespace pulsewell
