#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>

#include "traffic/signal.h"

namespace pulsewell {

// A stored value keeps its type: text, whole number, boolean, or fraction.
using DefaultsValue = std::variant<std::string, std::int64_t, bool, double>;

// The user's settings store, typed like the platform's user defaults. Used on the main
// thread only.
class DefaultsStore {
 public:
  virtual ~DefaultsStore() = default;

  // The stored (or registered) value of any type, or none.
  virtual std::optional<DefaultsValue> object(const std::string& key) const = 0;
  // Stores at once; the change signal fires afterwards.
  virtual void set(const std::string& key, DefaultsValue value) = 0;
  // A layer consulted only when nothing is stored; kept in memory only.
  virtual void registerDefaults(const std::map<std::string, DefaultsValue>& defaults) = 0;
  // Called after every change of any key.
  [[nodiscard]] virtual Subscription onChange(std::function<void()> observer) = 0;

  // Text, or none when absent or not text.
  std::optional<std::string> string(const std::string& key) const;
  // The boolean, false when absent or not a boolean.
  bool boolean(const std::string& key) const;
  // The whole number, 0 when absent or not a whole number.
  std::int64_t integer(const std::string& key) const;
};

// The whole number a stored value holds: an integer, or a fraction-free floating-point
// value within range. Text and booleans are not whole numbers.
std::optional<std::int64_t> wholeNumber(const DefaultsValue& value);

}  // namespace pulsewell
