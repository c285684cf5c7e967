#include "platform/json_defaults_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <span>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/xdg_config_home.h"
#include "traffic/utf8.h"

namespace pulsewell {

using Json = nlohmann::ordered_json;

struct JsonDefaultsStore::Document {
  Json value = Json::object();
  // Keys changed in this process whose last write did not reach the file; they are laid
  // over whatever is read from disk until a write succeeds.
  std::set<std::string> unsaved;
};

namespace {

namespace fs = std::filesystem;

// Far above any settings file the program writes; a larger file is not ours.
constexpr std::size_t maxSettingsBytes = std::size_t{4} * 1024 * 1024;
// Far deeper than any settings file nests; deeper values would make every later copy,
// comparison and write of the document recurse as deep, until the stack runs out.
constexpr int maxSettingsDepth = 64;
// Bounds the search for a free name when moving a broken file aside.
constexpr int maxAsideAttempts = 100;
// Broken files kept for the user to inspect; the oldest beyond these go.
constexpr std::size_t maxAsideCopies = 5;
// The UTC time in the name of a file moved aside, digits standing for digits.
constexpr std::string_view asideStampShape = "00000000T000000Z";

enum class Outcome { absent, loaded, corrupt, unreadable };

struct Loaded {
  Outcome outcome = Outcome::absent;
  Json value;
  int error = 0;  // why an unreadable file could not be read
};

// None for text that is no JSON or nests deeper than the bound; nothing that deep is
// ever built.
std::optional<Json> parseBounded(const std::string& text) {
  bool tooDeep = false;
  const Json::parser_callback_t bound = [&tooDeep](int depth, Json::parse_event_t, Json&) {
    if (depth > maxSettingsDepth) tooDeep = true;
    return !tooDeep;
  };
  auto value = Json::parse(text, bound, /*allow_exceptions=*/false);
  if (tooDeep || value.is_discarded()) return std::nullopt;
  return value;
}

Loaded readSettings(const fs::path& file) {
  const auto read = AtomicFile::read(file, maxSettingsBytes);
  if (read.error == ENOENT) return {Outcome::absent, {}};
  // Too large to be ours: moving it aside loses nothing.
  if (read.error == EFBIG) return {Outcome::corrupt, {}};
  if (read.error != 0) return {Outcome::unreadable, {}, read.error};
  auto value = parseBounded(read.contents);
  if (!value || !value->is_object()) return {Outcome::corrupt, {}};
  return {Outcome::loaded, std::move(*value)};
}

std::string utcTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
  return text;
}

// Renames without replacing anything already at `to`; false with EEXIST when taken.
bool renameNoReplace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: link() refuses an existing name just as well.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

// A file that moveAside() made: <name>.corrupt-<UTC time>[-<attempt>].
struct AsideCopy {
  std::string stamp;
  int attempt = 0;
  fs::path path;
};

bool isAsideStamp(std::string_view text) {
  if (text.size() != asideStampShape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (asideStampShape[i] == '0' ? !digit : text[i] != asideStampShape[i]) return false;
  }
  return true;
}

// Only names of exactly that form are ours; a copy the user renamed is left alone.
std::optional<AsideCopy> asideCopy(const fs::path& path, std::string_view prefix) {
  const std::string name = path.filename().string();
  std::string_view rest(name);
  if (!rest.starts_with(prefix)) return std::nullopt;
  rest.remove_prefix(prefix.size());
  const auto stamp = rest.substr(0, asideStampShape.size());
  if (!isAsideStamp(stamp)) return std::nullopt;
  AsideCopy copy{std::string(stamp), 0, path};
  rest.remove_prefix(stamp.size());
  if (rest.empty()) return copy;
  if (rest.size() < 2 || rest.front() != '-') return std::nullopt;
  rest.remove_prefix(1);
  const auto* end = rest.data() + rest.size();
  const auto parsed = std::from_chars(rest.data(), end, copy.attempt);
  if (parsed.ec != std::errc() || parsed.ptr != end) return std::nullopt;
  return copy;
}

// Keeps the newest copies of `file` that moveAside() made, so that a file that keeps
// breaking cannot fill the folder.
void pruneAsideCopies(const fs::path& file) {
  const std::string prefix = file.filename().string() + ".corrupt-";
  std::vector<AsideCopy> copies;
  std::error_code error;
  for (auto it = fs::directory_iterator(file.parent_path(), error);
       !error && it != fs::directory_iterator(); it.increment(error)) {
    if (auto copy = asideCopy(it->path(), prefix)) copies.push_back(std::move(*copy));
  }
  if (copies.size() <= maxAsideCopies) return;
  std::sort(copies.begin(), copies.end(), [](const AsideCopy& a, const AsideCopy& b) {
    return std::tie(a.stamp, a.attempt) < std::tie(b.stamp, b.attempt);
  });
  for (std::size_t i = 0; i + maxAsideCopies < copies.size(); ++i) {
    ::unlink(copies[i].path.c_str());
  }
}

// Keeps a broken file for the user to inspect, under a name never used before. A linked
// file is moved aside beside its target, so that the link stays.
bool moveAside(const fs::path& link) {
  const auto file = AtomicFile::writeTarget(link);
  const std::string base = file.string() + ".corrupt-" + utcTimestamp();
  for (int attempt = 0; attempt < maxAsideAttempts; ++attempt) {
    const std::string candidate = attempt == 0 ? base : base + "-" + std::to_string(attempt);
    if (renameNoReplace(file, candidate)) {
      pruneAsideCopies(file);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

Json toJson(const DefaultsValue& value) {
  return std::visit(
      [](const auto& v) -> Json {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          // JSON holds Unicode text only; the program's texts are UTF-8 already, and an
          // ill-formed byte is stored the way the program decodes device texts.
          if (isValidUTF8(v)) return v;
          const auto* bytes = reinterpret_cast<const std::uint8_t*>(v.data());
          return textFromUTF8(ByteView(bytes, v.size()));
        } else if constexpr (std::is_same_v<T, double>) {
          // JSON has no NaN or infinity; stored as null, which reads back as nothing both
          // now and after the next start.
          if (!std::isfinite(v)) return nullptr;
          return v;
        } else {
          return v;
        }
      },
      value);
}

std::optional<DefaultsValue> fromJson(const Json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>();
  if (value.is_number_unsigned()) {
    const auto number = value.get<std::uint64_t>();
    if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return static_cast<std::int64_t>(number);
    }
    return static_cast<double>(number);
  }
  if (value.is_number_integer()) return value.get<std::int64_t>();
  if (value.is_number_float()) return value.get<double>();
  return std::nullopt;
}

}  // namespace

JsonDefaultsStore::JsonDefaultsStore() : JsonDefaultsStore(defaultPath()) {}

JsonDefaultsStore::JsonDefaultsStore(std::filesystem::path file) : file_(std::move(file)) {
  if (file_.empty()) {
    persistent_ = false;
  } else {
    stored_ = load();
  }
  if (!stored_) stored_ = std::make_unique<Document>();
}

JsonDefaultsStore::~JsonDefaultsStore() = default;

std::filesystem::path JsonDefaultsStore::defaultPath() {
  const auto configHome = xdgConfigHome();
  if (configHome.empty()) return {};
  return configHome / "pulsewell" / "settings.json";
}

std::unique_ptr<JsonDefaultsStore::Document> JsonDefaultsStore::load() {
  auto loaded = readSettings(file_);
  readProblem_.reset();
  switch (loaded.outcome) {
    case Outcome::absent:
      persistent_ = true;
      return std::make_unique<Document>();
    case Outcome::loaded: {
      persistent_ = true;
      auto document = std::make_unique<Document>();
      document->value = std::move(loaded.value);
      return document;
    }
    case Outcome::corrupt:
      persistent_ = moveAside(file_);
      if (persistent_) return std::make_unique<Document>();
      return nullptr;
    case Outcome::unreadable:
      persistent_ = false;
      readProblem_ = AtomicFile::problem(loaded.error, file_);
      return nullptr;
  }
  return nullptr;
}

void JsonDefaultsStore::write() const {
  const auto text = stored_->value.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  AtomicFile::replace(file_, text, S_IRUSR | S_IWUSR);
}

std::optional<DefaultsValue> JsonDefaultsStore::object(const std::string& key) const {
  // A stored value hides the registered one even when it is of a type the program does
  // not use.
  if (const auto found = stored_->value.find(key); found != stored_->value.end()) {
    return fromJson(*found);
  }
  if (const auto found = registered_.find(key); found != registered_.end()) return found->second;
  return std::nullopt;
}

void JsonDefaultsStore::set(const std::string& key, DefaultsValue value) {
  std::optional<AtomicFile::FolderLock> lock;
  if (!file_.empty()) {
    try {
      lock.emplace(file_.parent_path());
      // No other writer is busy while we hold the lock: temporary files in the folder now
      // are left by writers that died.
      AtomicFile::removeLeftovers(file_);
      // Read again under the lock, so that a change another process made since is kept;
      // this also notices a file that became readable (or went away) since.
      if (auto fresh = load()) adopt(std::move(fresh));
    } catch (const std::system_error&) {
      lock.reset();
    }
  }

  stored_->value[key] = toJson(value);
  stored_->unsaved.insert(key);
  if (persistent_ && lock) {
    try {
      write();
      stored_->unsaved.clear();
    } catch (const std::system_error&) {
      // The old file stays whole; the value lives in memory and goes out with the next
      // successful write.
    }
  }
  lock.reset();
  changed_.emit();
}

void JsonDefaultsStore::registerDefaults(const std::map<std::string, DefaultsValue>& defaults) {
  bool changed = false;
  for (const auto& [key, value] : defaults) {
    const auto before = object(key);
    registered_[key] = value;
    if (object(key) != before) changed = true;
  }
  if (changed) changed_.emit();
}

Subscription JsonDefaultsStore::onChange(std::function<void()> observer) {
  return changed_.connect(std::move(observer));
}

void JsonDefaultsStore::reload() {
  if (file_.empty()) return;
  if (auto fresh = load(); fresh && adopt(std::move(fresh))) changed_.emit();
}

bool JsonDefaultsStore::adopt(std::unique_ptr<Document> fresh) {
  for (const auto& key : stored_->unsaved) {
    if (const auto kept = stored_->value.find(key); kept != stored_->value.end()) {
      fresh->value[key] = *kept;
    }
  }
  fresh->unsaved = std::move(stored_->unsaved);
  const bool changed = fresh->value != stored_->value;
  stored_ = std::move(fresh);
  return changed;
}

}  // namespace pulsewell
