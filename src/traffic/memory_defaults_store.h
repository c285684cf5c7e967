#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "traffic/defaults_store.h"
#include "traffic/signal.h"

namespace pulsewell {

// A settings store that lives in memory only: for tests, and for settings given on the
// command line that must not reach the user's stored settings.
class MemoryDefaultsStore : public DefaultsStore {
 public:
  MemoryDefaultsStore() = default;
  explicit MemoryDefaultsStore(std::map<std::string, DefaultsValue> stored);

  std::optional<DefaultsValue> object(const std::string& key) const override;
  void set(const std::string& key, DefaultsValue value) override;
  void registerDefaults(const std::map<std::string, DefaultsValue>& defaults) override;
  [[nodiscard]] Subscription onChange(std::function<void()> observer) override;

 private:
  std::map<std::string, DefaultsValue> stored_;
  std::map<std::string, DefaultsValue> registered_;
  Signal changed_;
};

}  // namespace pulsewell
