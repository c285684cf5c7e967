#pragma once

#include <filesystem>
#include <vector>

#include "traffic/login_item.h"

namespace pulsewell {

// "Launch at login" as an XDG autostart entry: the user's
// $XDG_CONFIG_HOME/autostart/org.pulsewell.Pulsewell.desktop, which the desktop runs at
// login. The same name in a system folder ($XDG_CONFIG_DIRS/autostart, as the package
// offers for administrators) counts while the user has no entry of their own; a user entry
// always wins over it, as the desktops do.
//
// An entry is ours when it carries the marker X-Pulsewell-Autostart=true or its Exec runs
// this program (an entry copied from the application's desktop file). It is enabled when it
// is ours and neither Hidden=true nor X-GNOME-Autostart-enabled=false. There is nothing to
// approve on Linux, so requiresApproval never occurs.
class XdgAutostartLoginItem final : public LoginItem {
 public:
  // The user's entry, the system folders of $XDG_CONFIG_DIRS, and the `pulsewell` command
  // that starts this program.
  XdgAutostartLoginItem();
  // `entry`: the user's entry file; `systemFolders`: autostart folders that may hold an
  // entry of the same name; `program`: the absolute path to run.
  XdgAutostartLoginItem(std::filesystem::path entry,
                        std::vector<std::filesystem::path> systemFolders,
                        std::filesystem::path program);

  // $XDG_CONFIG_HOME/autostart/org.pulsewell.Pulsewell.desktop; empty without a home.
  static std::filesystem::path defaultPath();
  // <dir>/autostart for every absolute dir of $XDG_CONFIG_DIRS (default /etc/xdg).
  static std::vector<std::filesystem::path> defaultSystemFolders();

  Status status() const override;
  // Writes the user's entry atomically, replacing any other entry of that name.
  void registerItem() override;
  // Removes the user's entry when it is ours (an entry that is not ours is left alone);
  // when a system entry would still start the program, writes a user entry with
  // Hidden=true that turns it off.
  void unregisterItem() override;
  // Desktops have no common page for autostart entries; the switch is the whole interface.
  void openSystemSettingsLoginItems() override {}

 private:
  std::filesystem::path entry_;
  std::vector<std::filesystem::path> systemFolders_;
  std::filesystem::path program_;
};

}  // namespace pulsewell
