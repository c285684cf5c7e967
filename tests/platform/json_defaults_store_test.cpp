#include "platform/json_defaults_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_secret_store.h"
#include "platform_test_support.h"
#include "traffic/application_identifier.h"
#include "traffic/router_traffic_config.h"
#include "traffic/settings_table.h"

namespace pulsewell {
namespace {

namespace fs = std::filesystem;
using test::namesIn;
using test::readText;
using test::writeText;

class JsonDefaultsStoreTest : public ::testing::Test {
 protected:
  fs::path folder() const { return temporary_.path() / "pulsewell"; }
  fs::path file() const { return folder() / "settings.json"; }

  std::vector<std::string> asideFiles() const {
    std::vector<std::string> found;
    for (const auto& name : namesIn(folder())) {
      if (name.starts_with("settings.json.corrupt-")) found.push_back(name);
    }
    return found;
  }

 private:
  test::TemporaryFolder temporary_;
};

struct TypedCase {
  const char* key;
  DefaultsValue value;
};

TEST_F(JsonDefaultsStoreTest, EveryTypeSurvivesANewInstanceAsItself) {
  const std::vector<TypedCase> cases = {
      {"routerHost", std::string("192.0.2.1")},
      {"routerInterface", std::string(" Schnittstelle ä \xE2\x9C\x93 ")},
      {"empty", std::string()},
      {"text161", std::string("161")},
      {"routerPort", std::int64_t{161}},
      {"negative", std::int64_t{-1}},
      {"largest", std::numeric_limits<std::int64_t>::max()},
      {"smallest", std::numeric_limits<std::int64_t>::min()},
      {"speedInBits", true},
      {"routerSwapDirections", false},
      {"fraction", 2.5},
      {"wholeFraction", 161.0},
  };
  {
    JsonDefaultsStore store(file());
    for (const auto& c : cases)
      store.set(c.key, c.value);
  }
  const JsonDefaultsStore reopened(file());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(reopened.object(c.key), std::optional<DefaultsValue>(c.value));
  }
}

TEST_F(JsonDefaultsStoreTest, PortStoredAsTextStaysTextAndCountsAsAbsent) {
  {
    JsonDefaultsStore store(file());
    store.set(SettingsKey::routerHost, std::string("router.local"));
    store.set(SettingsKey::routerPort, std::string("8161"));
  }
  const JsonDefaultsStore reopened(file());
  EXPECT_EQ(reopened.object(SettingsKey::routerPort),
            std::optional<DefaultsValue>(std::string("8161")));
  EXPECT_EQ(reopened.integer(SettingsKey::routerPort), 0);
  const auto config = RouterTrafficConfig::fromDefaults(reopened, std::string("public"));
  ASSERT_TRUE(config.has_value());
  EXPECT_EQ(config->port, 161);
}

struct HandWrittenCase {
  const char* json;
  std::optional<DefaultsValue> expected;
};

TEST_F(JsonDefaultsStoreTest, ValuesWrittenByHandKeepTheirJsonType) {
  const std::vector<HandWrittenCase> cases = {
      {R"({"k": 161})", std::int64_t{161}},
      {R"({"k": -1})", std::int64_t{-1}},
      {R"({"k": 161.0})", 161.0},
      {R"({"k": 1e3})", 1000.0},
      {R"({"k": "161"})", std::string("161")},
      {R"({"k": true})", true},
      {R"({"k": 18446744073709551615})", 18446744073709551615.0},
      {R"({"k": null})", std::nullopt},
      {R"({"k": [1, 2]})", std::nullopt},
      {R"({"k": {"a": 1}})", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    writeText(file(), c.json);
    JsonDefaultsStore store(file());
    // A stored value of any type hides the registered one.
    store.registerDefaults({{"k", std::string("registered")}});
    EXPECT_EQ(store.object("k"), c.expected);
  }
}

TEST_F(JsonDefaultsStoreTest, UnknownKeysAndValuesOfOtherTypesSurviveAWrite) {
  const auto original = nlohmann::json::parse(R"({
    "future": [1, {"a": null}],
    "nested": {"x": 1.5, "y": "z"},
    "nothing": null,
    "huge": 18446744073709551615,
    "routerHost": "a"
  })");
  writeText(file(), original.dump());
  JsonDefaultsStore store(file());
  store.set(SettingsKey::routerPort, std::int64_t{1161});

  const auto written = nlohmann::json::parse(readText(file()));
  for (const auto& key : {"future", "nested", "nothing", "huge", "routerHost"}) {
    SCOPED_TRACE(key);
    ASSERT_TRUE(written.contains(key));
    EXPECT_EQ(written.at(key), original.at(key));
  }
  EXPECT_EQ(written.at("routerPort"), 1161);
}

TEST_F(JsonDefaultsStoreTest, ACrashWhileWritingLeavesTheOldFileWhole) {
  {
    JsonDefaultsStore store(file());
    store.set(SettingsKey::routerHost, std::string("old.example"));
  }
  const auto before = readText(file());

  // The child is killed by SIGXFSZ in the middle of writing the new file.
  const auto end = test::runInChild([this] {
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const rlimit small{64, 64};
    ::setrlimit(RLIMIT_FSIZE, &small);
    JsonDefaultsStore store(file());
    store.set(SettingsKey::routerHost, std::string(4096, 'n'));
    return 0;
  });
  ASSERT_EQ(end.signal, std::optional<int>(SIGXFSZ));

  EXPECT_EQ(readText(file()), before);
  JsonDefaultsStore reopened(file());
  EXPECT_EQ(reopened.object(SettingsKey::routerHost),
            std::optional<DefaultsValue>(std::string("old.example")));
  // The half-written temporary file left by the crash does not stand in the way.
  reopened.set(SettingsKey::routerHost, std::string("new.example"));
  EXPECT_EQ(JsonDefaultsStore(file()).object(SettingsKey::routerHost),
            std::optional<DefaultsValue>(std::string("new.example")));
}

TEST_F(JsonDefaultsStoreTest, AFailedWriteKeepsTheOldFileAndTheValueInMemory) {
  {
    JsonDefaultsStore store(file());
    store.set(SettingsKey::routerHost, std::string("old.example"));
  }
  const auto before = readText(file());

  const auto end = test::runInChild([this] {
    std::signal(SIGXFSZ, SIG_IGN);  // writes past the limit now fail with EFBIG
    const rlimit small{64, 64};
    ::setrlimit(RLIMIT_FSIZE, &small);
    JsonDefaultsStore store(file());
    int notified = 0;
    const auto subscription = store.onChange([&] { ++notified; });
    store.set(SettingsKey::routerHost, std::string(4096, 'n'));
    const bool inMemory = store.object(SettingsKey::routerHost) ==
                          std::optional<DefaultsValue>(std::string(4096, 'n'));
    return inMemory && notified == 1 ? 0 : 1;
  });
  ASSERT_EQ(end.exitStatus, std::optional<int>(0));
  EXPECT_EQ(readText(file()), before);
  EXPECT_EQ(namesIn(folder()), std::vector<std::string>{"settings.json"});
}

TEST_F(JsonDefaultsStoreTest, AValueThatCouldNotBeWrittenGoesOutWithTheNextWrite) {
  JsonDefaultsStore store(file());
  store.set(SettingsKey::routerHost, std::string("kept.example"));
  // A folder where the settings file should be makes writing (and reading) fail.
  fs::remove(file());
  fs::create_directory(file());
  store.set(SettingsKey::routerPort, std::int64_t{1161});
  fs::remove(file());
  store.set(SettingsKey::speedInBits, true);

  const JsonDefaultsStore reopened(file());
  EXPECT_EQ(reopened.object(SettingsKey::routerPort),
            std::optional<DefaultsValue>(std::int64_t{1161}));
  EXPECT_EQ(reopened.object(SettingsKey::speedInBits), std::optional<DefaultsValue>(true));
}

TEST_F(JsonDefaultsStoreTest, ACorruptFileIsMovedAsideAndDefaultsApply) {
  const std::vector<std::string> contents = {
      "{",          "[1, 2]",
      "\"text\"",   "",
      "null",       "{\"a\": 1} trailing",
      "\xFF\xFE{}", "{\"routerHost\": \"caf\xE9\"}",
  };
  for (const auto& text : contents) {
    SCOPED_TRACE(text);
    fs::remove_all(folder());
    writeText(file(), text);

    JsonDefaultsStore store(file());
    store.registerDefaults({{SettingsKey::menuBarGraph, std::string("beside")}});
    EXPECT_EQ(store.object(SettingsKey::routerHost), std::nullopt);
    EXPECT_EQ(store.object(SettingsKey::menuBarGraph),
              std::optional<DefaultsValue>(std::string("beside")));
    EXPECT_FALSE(fs::exists(file()));
    const auto aside = asideFiles();
    ASSERT_EQ(aside.size(), 1U);
    EXPECT_EQ(readText(folder() / aside.front()), text);

    store.set(SettingsKey::routerHost, std::string("fresh.example"));
    EXPECT_EQ(JsonDefaultsStore(file()).object(SettingsKey::routerHost),
              std::optional<DefaultsValue>(std::string("fresh.example")));
  }
}

TEST_F(JsonDefaultsStoreTest, ASecondCorruptFileDoesNotReplaceTheFirst) {
  writeText(file(), "first {");
  { const JsonDefaultsStore store(file()); }
  writeText(file(), "second {");
  { const JsonDefaultsStore store(file()); }

  std::vector<std::string> kept;
  for (const auto& name : asideFiles())
    kept.push_back(readText(folder() / name));
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, (std::vector<std::string>{"first {", "second {"}));
}

TEST_F(JsonDefaultsStoreTest, AFileNestedDeeperThanAnySettingsFileIsMovedAside) {
  // Valid JSON of 40 KB: 20,000 arrays nested under a key the program does not know.
  const std::string text = R"({"routerHost": "deep.example", "x": )" + std::string(20000, '[') +
                           std::string(20000, ']') + "}";
  writeText(file(), text);
  // In a child, so that a stack overflow ends the child and not the test.
  const auto end = test::runInChild([this] {
    JsonDefaultsStore store(file());
    store.set(SettingsKey::routerPort, std::int64_t{1161});
    return store.object(SettingsKey::routerHost) ? 1 : 0;
  });
  ASSERT_EQ(end.exitStatus, std::optional<int>(0)) << "signal " << end.signal.value_or(0);
  const auto aside = asideFiles();
  ASSERT_EQ(aside.size(), 1U);
  EXPECT_EQ(readText(folder() / aside.front()), text);
  EXPECT_EQ(JsonDefaultsStore(file()).object(SettingsKey::routerPort),
            std::optional<DefaultsValue>(std::int64_t{1161}));
}

TEST_F(JsonDefaultsStoreTest, NestingASettingsFileCouldHaveIsKept) {
  const std::string nested = std::string(32, '[') + "1" + std::string(32, ']');
  writeText(file(), R"({"routerHost": "kept.example", "future": )" + nested + "}");
  JsonDefaultsStore store(file());
  store.set(SettingsKey::routerPort, std::int64_t{1161});
  EXPECT_TRUE(asideFiles().empty());
  EXPECT_EQ(JsonDefaultsStore(file()).object(SettingsKey::routerHost),
            std::optional<DefaultsValue>(std::string("kept.example")));
  EXPECT_EQ(nlohmann::json::parse(readText(file())).at("future").dump(), nested);
}

TEST_F(JsonDefaultsStoreTest, TemporaryFilesOfWritersThatDiedGoWithTheNextWrite) {
  // The settings and the community file beside them are written the same way.
  struct Writer {
    const char* name;
    std::function<bool(const std::string& value)> write;
  };
  const std::vector<Writer> writers = {
      {"settings.json",
       [this](const std::string& value) {
         JsonDefaultsStore store(file());
         store.set(SettingsKey::routerHost, value);
         return store.object(SettingsKey::routerHost) == std::optional<DefaultsValue>(value);
       }},
      {"community",
       [this](const std::string& value) {
         return FileSecretStore(folder() / "community").write(value, applicationIdentifier);
       }},
  };
  for (const auto& writer : writers) {
    SCOPED_TRACE(writer.name);
    fs::remove_all(folder());
    ASSERT_TRUE(writer.write("old"));
    const std::string prefix = std::string(".") + writer.name + ".tmp-";
    const auto leftovers = [&] {
      std::vector<std::string> found;
      for (const auto& name : namesIn(folder())) {
        if (name.starts_with(prefix)) found.push_back(name);
      }
      return found;
    };
    // Writers killed (SIGXFSZ) in the middle of writing, as kill -9 leaves them.
    for (int crash = 0; crash < 3; ++crash) {
      const auto end = test::runInChild([&] {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        const rlimit small{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &small);
        writer.write(std::string(4096, 'n'));
        return 0;
      });
      ASSERT_EQ(end.signal, std::optional<int>(SIGXFSZ));
    }
    ASSERT_FALSE(leftovers().empty());
    // Names of that kind that no writer of ours makes are left alone.
    writeText(folder() / (prefix + "mine"), "mine");
    writeText(folder() / ".other.json.tmp-abcdef", "other");

    ASSERT_TRUE(writer.write("new"));
    EXPECT_EQ(leftovers(), std::vector<std::string>{prefix + "mine"});
    EXPECT_TRUE(fs::exists(folder() / ".other.json.tmp-abcdef"));
  }
}

TEST_F(JsonDefaultsStoreTest, OnlyTheNewestCopiesOfBrokenFilesAreKept) {
  // Copies from earlier starts, oldest first; copies of one second count up from 1.
  const std::vector<std::string> earlier = {
      "settings.json.corrupt-20200101T000000Z",    "settings.json.corrupt-20200101T000000Z-2",
      "settings.json.corrupt-20200101T000000Z-10", "settings.json.corrupt-20210301T120000Z",
      "settings.json.corrupt-20210301T120000Z-1",  "settings.json.corrupt-20220101T000000Z",
  };
  for (const auto& name : earlier)
    writeText(folder() / name, name);
  // A copy the user renamed is not ours to remove.
  writeText(folder() / "settings.json.corrupt-keep", "mine");

  writeText(file(), "{ broken");
  { const JsonDefaultsStore store(file()); }

  std::vector<std::string> expected = {earlier[2], earlier[3], earlier[4], earlier[5],
                                       "settings.json.corrupt-keep"};
  std::vector<std::string> kept;
  for (const auto& name : asideFiles()) {
    if (readText(folder() / name) == "{ broken") {
      kept.emplace_back("the new copy");
    } else {
      kept.push_back(name);
    }
  }
  expected.emplace_back("the new copy");
  std::sort(kept.begin(), kept.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(kept, expected);
}

TEST_F(JsonDefaultsStoreTest, ALinkedSettingsFileStaysALinkAndItsTargetIsReplaced) {
  const auto dotfiles = folder().parent_path() / "dotfiles";
  struct Case {
    const char* name;
    fs::path link;    // what settings.json points to
    fs::path target;  // the file that holds the settings in the end
  };
  const std::vector<Case> cases = {
      {"relative link", fs::path("..") / "dotfiles" / "settings.json", dotfiles / "settings.json"},
      {"link to a link", dotfiles / "link.json", dotfiles / "settings.json"},
      {"link to a file not written yet", dotfiles / "new" / "settings.json",
       dotfiles / "new" / "settings.json"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder());
    fs::remove_all(dotfiles);
    fs::create_directories(folder());
    writeText(dotfiles / "settings.json", R"({"routerInterface": "eth0"})");
    fs::create_symlink("settings.json", dotfiles / "link.json");
    fs::create_symlink(c.link, file());

    JsonDefaultsStore store(file());
    store.set(SettingsKey::routerHost, std::string("linked.example"));

    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_EQ(fs::read_symlink(file()), c.link);
    const auto written = nlohmann::json::parse(readText(c.target));
    EXPECT_EQ(written.at("routerHost"), "linked.example");
    EXPECT_EQ(test::permissionsOf(c.target), fs::perms::owner_read | fs::perms::owner_write);
    for (const auto& name : namesIn(c.target.parent_path())) {
      EXPECT_FALSE(name.starts_with(".settings.json.tmp-")) << name;
    }
    EXPECT_EQ(JsonDefaultsStore(file()).object(SettingsKey::routerHost),
              std::optional<DefaultsValue>(std::string("linked.example")));
  }
  // The settings the link's target held before are kept.
  EXPECT_EQ(nlohmann::json::parse(readText(dotfiles / "settings.json")).at("routerInterface"),
            "eth0");
}

TEST_F(JsonDefaultsStoreTest, ABrokenLinkedFileIsMovedAsideBesideItsTargetAndTheLinkStays) {
  const auto dotfiles = folder().parent_path() / "dotfiles";
  writeText(dotfiles / "settings.json", "{ broken");
  fs::create_directories(folder());
  fs::create_symlink(dotfiles / "settings.json", file());

  JsonDefaultsStore store(file());
  store.set(SettingsKey::routerHost, std::string("fresh.example"));

  EXPECT_TRUE(fs::is_symlink(file()));
  std::vector<std::string> aside;
  for (const auto& name : namesIn(dotfiles)) {
    if (name.starts_with("settings.json.corrupt-")) aside.push_back(name);
  }
  ASSERT_EQ(aside.size(), 1U);
  EXPECT_EQ(readText(dotfiles / aside.front()), "{ broken");
  EXPECT_EQ(nlohmann::json::parse(readText(dotfiles / "settings.json")).at("routerHost"),
            "fresh.example");
}

TEST_F(JsonDefaultsStoreTest, FileAndMissingFoldersArePrivate) {
  const auto deep = folder() / "a" / "b" / "settings.json";
  JsonDefaultsStore store(deep);
  store.set(SettingsKey::routerHost, std::string("h"));
  EXPECT_EQ(test::permissionsOf(deep), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(test::permissionsOf(folder() / "a"), fs::perms::owner_all);
  EXPECT_EQ(test::permissionsOf(folder() / "a" / "b"), fs::perms::owner_all);

  // A file that was readable by others becomes private with the next write.
  fs::permissions(deep, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);
  store.set(SettingsKey::routerHost, std::string("h2"));
  EXPECT_EQ(test::permissionsOf(deep), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(JsonDefaultsStoreTest, RegisteredDefaultsAreNeverWritten) {
  {
    JsonDefaultsStore store(file());
    store.registerDefaults({{SettingsKey::menuBarGraph, std::string("beside")}});
    EXPECT_EQ(store.object(SettingsKey::menuBarGraph),
              std::optional<DefaultsValue>(std::string("beside")));
    store.set(SettingsKey::speedInBits, true);
  }
  EXPECT_FALSE(nlohmann::json::parse(readText(file())).contains(SettingsKey::menuBarGraph));

  JsonDefaultsStore reopened(file());
  EXPECT_EQ(reopened.object(SettingsKey::menuBarGraph), std::nullopt);
  reopened.registerDefaults({{SettingsKey::menuBarGraph, std::string("beside")}});
  reopened.set(SettingsKey::menuBarGraph, std::string("off"));
  EXPECT_EQ(reopened.object(SettingsKey::menuBarGraph),
            std::optional<DefaultsValue>(std::string("off")));
}

TEST_F(JsonDefaultsStoreTest, TheChangeSignalFiresAfterEverySet) {
  JsonDefaultsStore store(file());
  std::vector<std::optional<DefaultsValue>> seen;
  auto subscription = store.onChange([&] { seen.push_back(store.object("k")); });

  store.set("k", std::int64_t{1});
  store.set("k", std::int64_t{1});
  store.set("k", std::string("two"));
  EXPECT_EQ(seen, (std::vector<std::optional<DefaultsValue>>{std::int64_t{1}, std::int64_t{1},
                                                             std::string("two")}));

  subscription.reset();
  store.set("k", false);
  EXPECT_EQ(seen.size(), 3U);
}

TEST_F(JsonDefaultsStoreTest, RegisteringSignalsOnlyWhenAValueReadChanges) {
  JsonDefaultsStore store(file());
  store.set("stored", std::string("mine"));
  int notified = 0;
  const auto subscription = store.onChange([&] { ++notified; });

  store.registerDefaults({{"stored", std::string("hidden by the stored value")}});
  EXPECT_EQ(notified, 0);
  store.registerDefaults({{"fresh", std::string("beside")}});
  EXPECT_EQ(notified, 1);
  store.registerDefaults({{"fresh", std::string("beside")}});
  EXPECT_EQ(notified, 1);
}

TEST_F(JsonDefaultsStoreTest, AFolderAtThePathIsLeftAloneAndChangesLiveInMemory) {
  fs::create_directories(file());
  writeText(file() / "inside", "keep me");

  JsonDefaultsStore store(file());
  EXPECT_FALSE(store.persistent());
  store.set(SettingsKey::routerHost, std::string("h"));
  EXPECT_EQ(store.object(SettingsKey::routerHost), std::optional<DefaultsValue>(std::string("h")));
  EXPECT_EQ(readText(file() / "inside"), "keep me");
  EXPECT_TRUE(asideFiles().empty());
}

TEST_F(JsonDefaultsStoreTest, AFileWithoutReadPermissionIsNeverOverwritten) {
  writeText(file(), R"({"routerHost": "secret.example"})");
  fs::permissions(file(), fs::perms::none);

  const auto end = test::runInChild([this] {
    if (!test::dropCapabilities()) return 10;
    JsonDefaultsStore store(file());
    if (store.persistent()) return 11;
    if (store.object(SettingsKey::routerHost) != std::nullopt) return 12;
    store.set(SettingsKey::routerHost, std::string("typed.example"));
    if (store.object(SettingsKey::routerHost) !=
        std::optional<DefaultsValue>(std::string("typed.example"))) {
      return 13;
    }
    return 0;
  });
  EXPECT_EQ(end.exitStatus, std::optional<int>(0));

  EXPECT_EQ(test::permissionsOf(file()), fs::perms::none);
  fs::permissions(file(), fs::perms::owner_read);
  EXPECT_EQ(readText(file()), R"({"routerHost": "secret.example"})");
  EXPECT_TRUE(asideFiles().empty());
}

TEST_F(JsonDefaultsStoreTest, AFifoAtThePathDoesNotBlockTheStart) {
  fs::create_directories(folder());
  ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
  const JsonDefaultsStore store(file());
  EXPECT_FALSE(store.persistent());
  EXPECT_EQ(fs::status(file()).type(), fs::file_type::fifo);
}

TEST_F(JsonDefaultsStoreTest, ReloadShowsAnotherProcessesChangeOnce) {
  JsonDefaultsStore reader(file());
  int notified = 0;
  const auto subscription = reader.onChange([&] { ++notified; });

  JsonDefaultsStore(file()).set(SettingsKey::routerHost, std::string("elsewhere.example"));
  reader.reload();
  EXPECT_EQ(notified, 1);
  EXPECT_EQ(reader.object(SettingsKey::routerHost),
            std::optional<DefaultsValue>(std::string("elsewhere.example")));

  reader.reload();
  EXPECT_EQ(notified, 1);
}

TEST_F(JsonDefaultsStoreTest, TwoWritersKeepEachOthersKeys) {
  JsonDefaultsStore first(file());
  JsonDefaultsStore second(file());
  first.set(SettingsKey::routerHost, std::string("h"));
  second.set(SettingsKey::routerPort, std::int64_t{1161});

  const JsonDefaultsStore reopened(file());
  EXPECT_EQ(reopened.object(SettingsKey::routerHost),
            std::optional<DefaultsValue>(std::string("h")));
  EXPECT_EQ(reopened.object(SettingsKey::routerPort),
            std::optional<DefaultsValue>(std::int64_t{1161}));
}

TEST_F(JsonDefaultsStoreTest, TextThatIsNotUtf8IsStoredAsTheProgramDecodesIt) {
  JsonDefaultsStore store(file());
  store.set(SettingsKey::routerInterface, std::string("eth\xFF"
                                                      "0"));
  const std::optional<DefaultsValue> expected = std::string(
      "eth\xEF\xBF\xBD"
      "0");
  EXPECT_EQ(store.object(SettingsKey::routerInterface), expected);
  EXPECT_EQ(JsonDefaultsStore(file()).object(SettingsKey::routerInterface), expected);
}

TEST_F(JsonDefaultsStoreTest, AFractionJsonCannotHoldReadsAsNothing) {
  JsonDefaultsStore store(file());
  store.set("k", std::nan(""));
  store.set("inf", std::numeric_limits<double>::infinity());
  EXPECT_EQ(store.object("k"), std::nullopt);
  EXPECT_EQ(JsonDefaultsStore(file()).object("inf"), std::nullopt);
}

TEST_F(JsonDefaultsStoreTest, WithoutAPathEverythingStaysInMemory) {
  JsonDefaultsStore store{fs::path()};
  EXPECT_FALSE(store.persistent());
  store.set("k", std::int64_t{3});
  EXPECT_EQ(store.object("k"), std::optional<DefaultsValue>(std::int64_t{3}));
}

struct PathCase {
  std::optional<std::string> configHome;
  std::optional<std::string> home;
  std::string expectedFolder;
};

TEST(JsonDefaultsStorePathTest, FollowsTheXdgRules) {
  const std::vector<PathCase> cases = {
      {"/x/cfg", "/home/u", "/x/cfg/pulsewell"},
      {std::nullopt, "/home/u", "/home/u/.config/pulsewell"},
      {"", "/home/u", "/home/u/.config/pulsewell"},
      {"relative/cfg", "/home/u", "/home/u/.config/pulsewell"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expectedFolder);
    const test::ScopedEnvironment configHome("XDG_CONFIG_HOME", c.configHome);
    const test::ScopedEnvironment home("HOME", c.home);
    EXPECT_EQ(JsonDefaultsStore::defaultPath(), fs::path(c.expectedFolder) / "settings.json");
    EXPECT_EQ(FileSecretStore::defaultPath(), fs::path(c.expectedFolder) / "community");
  }
}

}  // namespace
}  // namespace pulsewell
