#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "traffic/defaults_store.h"
#include "traffic/file_problem.h"
#include "traffic/signal.h"

namespace pulsewell {

// The user's settings as one JSON object in a file, typed: text, whole numbers, booleans
// and fractions stay what they were stored as (a port stored as "161" is text). Keys the
// program does not know and values of other JSON types are kept as they are.
//
// The file is read once, at construction (and again by reload()); every set() replaces it
// at once and atomically, through a symbolic link to its target, and removes temporary
// files that writers which died left behind. A file that is not a JSON object, or nests
// deeper than any settings file does, is moved aside to `<name>.corrupt-<UTC time>` (the
// newest few such copies are kept) and the store starts empty. A file that exists but cannot
// be read (no permission, not a regular file) is never written over: the store then keeps
// changes in memory, and every later set() looks again, writing once the file can be read
// or is gone. A write that fails leaves the old file whole and is retried by the next.
class JsonDefaultsStore final : public DefaultsStore {
 public:
  // The user's settings file, defaultPath().
  JsonDefaultsStore();
  explicit JsonDefaultsStore(std::filesystem::path file);
  ~JsonDefaultsStore() override;
  JsonDefaultsStore(const JsonDefaultsStore&) = delete;
  JsonDefaultsStore& operator=(const JsonDefaultsStore&) = delete;

  // $XDG_CONFIG_HOME/pulsewell/settings.json (fallback ~/.config); empty when no home
  // folder can be found, in which case the store lives in memory only.
  static std::filesystem::path defaultPath();

  std::optional<DefaultsValue> object(const std::string& key) const override;
  void set(const std::string& key, DefaultsValue value) override;
  void registerDefaults(const std::map<std::string, DefaultsValue>& defaults) override;
  [[nodiscard]] Subscription onChange(std::function<void()> observer) override;

  // Reads the file again, for changes another process made; fires the change signal when
  // anything stored differs from before.
  void reload();

  const std::filesystem::path& path() const { return file_; }
  // False while the file is left alone because it could not be read (or moved aside);
  // set() and reload() look again.
  bool persistent() const { return persistent_; }
  // Why the file could not be read at the last look; none when it was read, absent, or
  // moved aside.
  const std::optional<FileProblem>& readProblem() const { return readProblem_; }

 private:
  struct Document;

  // Reads the file into a document; updates persistent_. Null when the current document
  // should be kept (nothing usable on disk).
  std::unique_ptr<Document> load();
  // Takes a freshly read document, keeping this process's unsaved changes on top; whether
  // any stored value differs from before.
  bool adopt(std::unique_ptr<Document> fresh);
  void write() const;

  std::filesystem::path file_;
  std::unique_ptr<Document> stored_;
  std::map<std::string, DefaultsValue> registered_;
  bool persistent_ = true;
  std::optional<FileProblem> readProblem_;
  Signal changed_;
};

}  // namespace pulsewell
