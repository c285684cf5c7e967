#include "traffic/memory_defaults_store.h"

#include <utility>

namespace pulsewell {

MemoryDefaultsStore::MemoryDefaultsStore(std::map<std::string, DefaultsValue> stored)
    : stored_(std::move(stored)) {}

std::optional<DefaultsValue> MemoryDefaultsStore::object(const std::string& key) const {
  if (const auto found = stored_.find(key); found != stored_.end()) return found->second;
  if (const auto found = registered_.find(key); found != registered_.end()) return found->second;
  return std::nullopt;
}

void MemoryDefaultsStore::set(const std::string& key, DefaultsValue value) {
  stored_.insert_or_assign(key, std::move(value));
  changed_.emit();
}

void MemoryDefaultsStore::registerDefaults(const std::map<std::string, DefaultsValue>& defaults) {
  // A later registration of the same key replaces the earlier one.
  for (const auto& [key, value] : defaults)
    registered_.insert_or_assign(key, value);
}

Subscription MemoryDefaultsStore::onChange(std::function<void()> observer) {
  return changed_.connect(std::move(observer));
}

}  // namespace pulsewell
