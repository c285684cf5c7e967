#pragma once

#include <string>

namespace pulsewell {

// Whether the program starts when the user logs in.
class LoginItem {
 public:
  enum class Status { notRegistered, enabled, requiresApproval, notFound };

  virtual ~LoginItem() = default;
  virtual Status status() const = 0;
  // Both throw std::runtime_error whose what() is a message fit to show the user.
  virtual void registerItem() = 0;
  virtual void unregisterItem() = 0;
  // Opens the system's page for login items, where there is one.
  virtual void openSystemSettingsLoginItems() = 0;
};

}  // namespace pulsewell
