#include "platform/xdg_autostart_login_item.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform_test_support.h"

namespace pulsewell {
namespace {

namespace fs = std::filesystem;
using Status = LoginItem::Status;
using test::readText;
using test::writeText;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* entryName = "org.pulsewell.Pulsewell.desktop";

class XdgAutostartLoginItemTest : public ::testing::Test {
 protected:
  XdgAutostartLoginItemTest() { makeProgram(program()); }

  fs::path configHome() const { return temporary_.path() / "config"; }
  fs::path entry() const { return configHome() / "autostart" / entryName; }
  fs::path systemFolder() const { return temporary_.path() / "xdg" / "autostart"; }
  fs::path bin() const { return temporary_.path() / "bin"; }
  fs::path program() const { return bin() / "pulsewell"; }

  XdgAutostartLoginItem item() const { return item(program()); }
  XdgAutostartLoginItem item(const fs::path& runs) const {
    return XdgAutostartLoginItem(entry(), {systemFolder()}, runs);
  }

  static void makeProgram(const fs::path& path) {
    writeText(path, "#!/bin/sh\n");
    fs::permissions(path, fs::perms::owner_all);
  }

  static std::string packagedEntry() {
    return readText(fs::path(PULSEWELL_SOURCE_DIR) / "packaging" / entryName);
  }

  // The entry as a copy made by a desktop tool would be: without our marker.
  std::string entryWithoutMarker() const {
    std::string text = readText(entry());
    const std::string marker = "X-Pulsewell-Autostart=true\n";
    text.erase(text.find(marker), marker.size());
    return text;
  }

 private:
  test::TemporaryFolder temporary_;
};

TEST_F(XdgAutostartLoginItemTest, RegisterWritesAnEnabledEntryThatRunsTheProgram) {
  auto loginItem = item();
  EXPECT_EQ(loginItem.status(), Status::notRegistered);

  loginItem.registerItem();
  EXPECT_EQ(loginItem.status(), Status::enabled);
  const auto text = readText(entry());
  EXPECT_THAT(text, StartsWith("[Desktop Entry]\n"));
  const std::vector<std::string> lines = {"Type=Application",
                                          "Name=Pulsewell",
                                          "Exec=" + program().string(),
                                          "Icon=org.pulsewell.Pulsewell",
                                          "X-GNOME-Autostart-enabled=true",
                                          "X-Pulsewell-Autostart=true"};
  for (const auto& line : lines) {
    EXPECT_THAT(text, HasSubstr("\n" + line + "\n"));
  }
  // Registering twice is the same as once.
  loginItem.registerItem();
  EXPECT_EQ(readText(entry()), text);
}

struct ExecCase {
  const char* fileName;
  const char* expectedExec;  // after the folder, as written into the entry
};

TEST_F(XdgAutostartLoginItemTest, TheProgramPathIsQuotedAsDesktopEntriesRequire) {
  const std::vector<ExecCase> cases = {
      {"plain-name", "/plain-name"},           {"with space", "/with space\""},
      {"dollar$sign", "/dollar\\\\$sign\""},   {"quote\"mark", "/quote\\\\\"mark\""},
      {"back\\slash", "/back\\\\\\\\slash\""}, {"per%cent", "/per%%cent"},
      {"tick`and%", "/tick\\\\`and%%\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fileName);
    const auto runs = bin() / c.fileName;
    makeProgram(runs);
    const bool quoted = std::string(c.expectedExec).ends_with('"');
    const std::string expected =
        std::string("Exec=") + (quoted ? "\"" : "") + bin().string() + c.expectedExec + "\n";

    auto loginItem = item(runs);
    loginItem.registerItem();
    EXPECT_THAT(readText(entry()), HasSubstr(expected));
    // Read back without the marker, the Exec line alone names the same program.
    writeText(entry(), entryWithoutMarker());
    EXPECT_EQ(loginItem.status(), Status::enabled);
  }
}

TEST_F(XdgAutostartLoginItemTest, APathThatAnEntryCannotHoldIsRefused) {
  for (const char* name : {"new\nline", "tab\there", "not-utf8-\xFF"}) {
    SCOPED_TRACE(name);
    const auto runs = bin() / name;
    auto loginItem = item(runs);
    EXPECT_THROW(loginItem.registerItem(), std::runtime_error);
    EXPECT_FALSE(fs::exists(entry()));
  }
}

struct DisabledCase {
  const char* extra;
  Status expected;
};

TEST_F(XdgAutostartLoginItemTest, AnEntryTurnedOffByTheDesktopIsNotEnabled) {
  const std::vector<DisabledCase> cases = {
      {"Hidden=true\n", Status::notRegistered},
      {"Hidden = true\n", Status::notRegistered},
      {"X-GNOME-Autostart-enabled=false\n", Status::notRegistered},
      {"Hidden=false\n", Status::enabled},
      {"# Hidden=true\n", Status::enabled},
      {"Hidden[de]=true\n", Status::enabled},
      {"[Desktop Action other]\nHidden=true\n", Status::enabled},
  };
  auto loginItem = item();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extra);
    loginItem.registerItem();
    writeText(entry(), readText(entry()) + c.extra);
    EXPECT_EQ(loginItem.status(), c.expected);
  }
}

TEST_F(XdgAutostartLoginItemTest, AnEntryOfAnotherProgramUnderOurNameIsNotOurs) {
  const std::string foreign =
      "[Desktop Entry]\nType=Application\nName=Other\nExec=/usr/bin/other-program --tray\n";
  writeText(entry(), foreign);
  auto loginItem = item();
  EXPECT_EQ(loginItem.status(), Status::notRegistered);

  // Turning it off leaves what we did not write alone.
  loginItem.unregisterItem();
  EXPECT_EQ(readText(entry()), foreign);

  // Turning it on claims the name, which is ours by the application identifier.
  loginItem.registerItem();
  EXPECT_EQ(loginItem.status(), Status::enabled);
  EXPECT_THAT(readText(entry()), HasSubstr("X-Pulsewell-Autostart=true\n"));
}

TEST_F(XdgAutostartLoginItemTest, TheApplicationsOwnDesktopFileCopiedIntoAutostartCounts) {
  writeText(entry(), packagedEntry());  // Exec=pulsewell, found through PATH
  auto loginItem = item();
  {
    const test::ScopedEnvironment path("PATH", bin().string() + ":/usr/bin:/bin");
    EXPECT_EQ(loginItem.status(), Status::enabled);
    loginItem.unregisterItem();
    EXPECT_FALSE(fs::exists(entry()));
  }
  writeText(entry(), packagedEntry());
  const test::ScopedEnvironment path("PATH", "/usr/bin:/bin");
  EXPECT_EQ(loginItem.status(), Status::notRegistered);
}

TEST_F(XdgAutostartLoginItemTest, UnregisterRemovesTheEntryAndMayRunTwice) {
  auto loginItem = item();
  loginItem.registerItem();
  loginItem.unregisterItem();
  EXPECT_EQ(loginItem.status(), Status::notRegistered);
  EXPECT_FALSE(fs::exists(entry()));
  EXPECT_NO_THROW(loginItem.unregisterItem());
}

TEST_F(XdgAutostartLoginItemTest, ASystemEntryCountsUntilTheUserTurnsItOff) {
  writeText(systemFolder() / entryName, packagedEntry());
  const test::ScopedEnvironment path("PATH", bin().string());
  auto loginItem = item();
  EXPECT_EQ(loginItem.status(), Status::enabled);

  loginItem.unregisterItem();
  EXPECT_EQ(loginItem.status(), Status::notRegistered);
  EXPECT_THAT(readText(entry()), HasSubstr("\nHidden=true\n"));
  EXPECT_EQ(readText(systemFolder() / entryName), packagedEntry());

  loginItem.registerItem();
  EXPECT_EQ(loginItem.status(), Status::enabled);
  loginItem.unregisterItem();
  EXPECT_EQ(loginItem.status(), Status::notRegistered);
}

TEST_F(XdgAutostartLoginItemTest, ADisabledSystemEntryNeedsNoUserEntry) {
  writeText(systemFolder() / entryName, packagedEntry() + "Hidden=true\n");
  const test::ScopedEnvironment path("PATH", bin().string());
  auto loginItem = item();
  EXPECT_EQ(loginItem.status(), Status::notRegistered);
  loginItem.unregisterItem();
  EXPECT_FALSE(fs::exists(entry()));
}

TEST_F(XdgAutostartLoginItemTest, AFileWhereTheFolderShouldBeFailsWithAMessage) {
  writeText(configHome() / "autostart", "not a folder");
  auto loginItem = item();
  try {
    loginItem.registerItem();
    FAIL() << "registerItem succeeded";
  } catch (const std::runtime_error& error) {
    EXPECT_THAT(error.what(), StartsWith("Could not turn on launch at login: "));
    EXPECT_THAT(error.what(), HasSubstr(test::errorText(ENOTDIR)));
  }
  EXPECT_EQ(loginItem.status(), Status::notRegistered);
}

// 0: thrown with the expected start and errno text; 1: no throw; 2: other message.
int expectThrowIn(const std::function<void()>& action, const std::string& start) {
  try {
    action();
    return 1;
  } catch (const std::runtime_error& error) {
    const std::string message = error.what();
    return message.starts_with(start) && message.find(test::errorText(EACCES)) != std::string::npos
               ? 0
               : 2;
  }
}

TEST_F(XdgAutostartLoginItemTest, AFolderWithoutWritePermissionFailsWithAMessage) {
  fs::create_directories(entry().parent_path());
  fs::permissions(entry().parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
  const auto end = test::runInChild([this] {
    if (!test::dropCapabilities()) return 10;
    auto loginItem = item();
    return expectThrowIn([&] { loginItem.registerItem(); }, "Could not turn on launch at login: ");
  });
  EXPECT_EQ(end.exitStatus, std::optional<int>(0));
  EXPECT_FALSE(fs::exists(entry()));
}

TEST_F(XdgAutostartLoginItemTest, AnEntryThatCannotBeRemovedFailsWithAMessage) {
  item().registerItem();
  fs::permissions(entry().parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
  const auto end = test::runInChild([this] {
    if (!test::dropCapabilities()) return 10;
    auto loginItem = item();
    return expectThrowIn([&] { loginItem.unregisterItem(); },
                         "Could not turn off launch at login: ");
  });
  EXPECT_EQ(end.exitStatus, std::optional<int>(0));
  EXPECT_TRUE(fs::exists(entry()));
}

TEST_F(XdgAutostartLoginItemTest, TheDefaultItemRunsThisProgramFromTheUsersAutostartFolder) {
  const test::ScopedEnvironment configHomeVariable("XDG_CONFIG_HOME", configHome().string());
  const test::ScopedEnvironment configDirs("XDG_CONFIG_DIRS",
                                           systemFolder().parent_path().string());
  XdgAutostartLoginItem loginItem;
  loginItem.registerItem();
  EXPECT_EQ(loginItem.status(), Status::enabled);
  EXPECT_THAT(readText(entry()),
              HasSubstr("\nExec=" + fs::canonical("/proc/self/exe").string() + "\n"));
  loginItem.unregisterItem();
  EXPECT_FALSE(fs::exists(entry()));
}

TEST(XdgAutostartLoginItemPathTest, FollowsTheXdgRules) {
  {
    const test::ScopedEnvironment configHome("XDG_CONFIG_HOME", "/x/cfg");
    EXPECT_EQ(XdgAutostartLoginItem::defaultPath(), fs::path("/x/cfg/autostart") / entryName);
  }
  {
    const test::ScopedEnvironment configHome("XDG_CONFIG_HOME", std::nullopt);
    const test::ScopedEnvironment home("HOME", "/home/u");
    EXPECT_EQ(XdgAutostartLoginItem::defaultPath(),
              fs::path("/home/u/.config/autostart") / entryName);
  }
  {
    const test::ScopedEnvironment dirs("XDG_CONFIG_DIRS", "/a:relative::/b/");
    EXPECT_EQ(XdgAutostartLoginItem::defaultSystemFolders(),
              (std::vector<fs::path>{"/a/autostart", "/b/autostart"}));
  }
  {
    const test::ScopedEnvironment dirs("XDG_CONFIG_DIRS", std::nullopt);
    EXPECT_EQ(XdgAutostartLoginItem::defaultSystemFolders(),
              std::vector<fs::path>{"/etc/xdg/autostart"});
  }
}

}  // namespace
}  // namespace pulsewell
