#include "platform/keychain.h"

#include <fcntl.h>
#include <glib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <libsecret/secret.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_secret_store.h"
#include "platform/secret_store_choice.h"
#include "platform/system_secret_store.h"
#include "tests/platform/platform_test_support.h"
#include "tests/support/keyring_test_support.h"
#include "traffic/application_identifier.h"

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
// GLib, GIO and libsecret are not built for ThreadSanitizer and synchronise their worker
// threads with futexes it cannot see, so their internals would read as races.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libglib-2.0.so\nrace:libgobject-2.0.so\nrace:libgio-2.0.so\n"
         "race:libsecret-1.so\n";
}
#endif
#endif

namespace pulsewell {
namespace {

namespace fs = std::filesystem;
using test::readText;
using test::writeText;
using ::testing::HasSubstr;

// The item's schema as another program would declare it.
SecretSchema pulsewellSchema() {
  SecretSchema schema{};
  schema.name = "org.pulsewell.Pulsewell";
  schema.flags = SECRET_SCHEMA_NONE;
  schema.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
  schema.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
  return schema;
}

GHashTable* attributesFor(const char* service) {
  GHashTable* table = g_hash_table_new(g_str_hash, g_str_equal);
  g_hash_table_insert(table, const_cast<char*>("service"), const_cast<char*>(service));
  g_hash_table_insert(table, const_cast<char*>("account"), const_cast<char*>("community"));
  return table;
}

enum class Backend { keyring, file };

std::string backendName(const testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::keyring ? "Keyring" : "File";
}

// The same three promises from both places a community can live.
class SecretStoreTest : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::keyring) {
      REQUIRE_KEYRING();
      store_ = std::make_unique<Keychain>();
    } else {
      store_ = std::make_unique<FileSecretStore>(temporary_.path() / "pulsewell" / "community");
    }
    ASSERT_TRUE(store_->write("", service));
  }
  void TearDown() override {
    if (store_) store_->write("", service);
  }

  SecretStore& store() { return *store_; }
  const std::string service = applicationIdentifier;

 private:
  test::TemporaryFolder temporary_;
  std::unique_ptr<SecretStore> store_;
};

TEST_P(SecretStoreTest, NothingWrittenReadsAsNone) {
  EXPECT_EQ(store().read(service), std::nullopt);
}

TEST_P(SecretStoreTest, AWrittenCommunityReadsBackExactly) {
  for (const std::string community :
       {"public", "  blanks are kept  ", "Gemeinschaft-\xC3\xA4\xC3\xB6\xC3\xBC-\xE2\x9C\x93"}) {
    SCOPED_TRACE(community);
    ASSERT_TRUE(store().write(community, service));
    EXPECT_EQ(store().read(service), community);
  }
}

TEST_P(SecretStoreTest, WritingAgainReplacesTheCommunity) {
  ASSERT_TRUE(store().write("first", service));
  ASSERT_TRUE(store().write("second", service));
  EXPECT_EQ(store().read(service), "second");
}

TEST_P(SecretStoreTest, AnEmptyValueDeletesAndSucceedsAlsoWhenNothingIsThere) {
  ASSERT_TRUE(store().write("public", service));
  EXPECT_TRUE(store().write("", service));
  EXPECT_EQ(store().read(service), std::nullopt);
  EXPECT_TRUE(store().write("", service));
  EXPECT_EQ(store().read(service), std::nullopt);
}

TEST_P(SecretStoreTest, AValueThatIsNotUtf8IsRefusedAndTheOldOneStays) {
  ASSERT_TRUE(store().write("public", service));
  EXPECT_FALSE(store().write("caf\xE9", service));
  EXPECT_EQ(store().read(service), "public");
}

INSTANTIATE_TEST_SUITE_P(Backends, SecretStoreTest,
                         testing::Values(Backend::keyring, Backend::file), backendName);

class KeychainTest : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_KEYRING();
    ASSERT_TRUE(keychain.write("", applicationIdentifier));
  }
  void TearDown() override { keychain.write("", applicationIdentifier); }

  Keychain keychain;
};

TEST_F(KeychainTest, StoredBytesThatAreNotUtf8ReadAsNone) {
  const auto schema = pulsewellSchema();
  GHashTable* attributes = attributesFor(applicationIdentifier);
  const char bytes[] = "caf\xE9";
  SecretValue* value = secret_value_new(bytes, 4, "application/octet-stream");
  GError* error = nullptr;
  const gboolean stored = secret_password_storev_binary_sync(
      &schema, attributes, SECRET_COLLECTION_DEFAULT, "raw", value, nullptr, &error);
  secret_value_unref(value);
  g_hash_table_unref(attributes);
  ASSERT_TRUE(stored) << (error != nullptr ? error->message : "");

  EXPECT_EQ(keychain.read(applicationIdentifier), std::nullopt);
  EXPECT_TRUE(keychain.write("", applicationIdentifier));
}

// What another Secret Service client (secret-tool) sees of the items with our attributes.
std::string itemsSeenBySecretTool() {
  std::string output;
  FILE* pipe = ::popen(
      "secret-tool search --all service org.pulsewell.Pulsewell account community 2>&1", "r");
  if (pipe == nullptr) return output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
    output += buffer;
  ::pclose(pipe);
  return output;
}

TEST_F(KeychainTest, TheCommunityIsOneItemWithTheAgreedLabelAndAttributes) {
  ASSERT_TRUE(keychain.write("first", applicationIdentifier));
  ASSERT_TRUE(keychain.write("second", applicationIdentifier));

  const auto seen = itemsSeenBySecretTool();
  std::size_t items = 0;
  for (std::size_t at = seen.find("\n[/"); at != std::string::npos;
       at = seen.find("\n[/", at + 1)) {
    ++items;
  }
  if (seen.starts_with("[/")) ++items;
  EXPECT_EQ(items, 1U) << seen;
  EXPECT_THAT(seen, HasSubstr("label = Pulsewell SNMP community\n"));
  EXPECT_THAT(seen, HasSubstr("secret = second\n"));
  EXPECT_THAT(seen, HasSubstr("schema = org.pulsewell.Pulsewell\n"));
  EXPECT_THAT(seen, HasSubstr("attribute.service = org.pulsewell.Pulsewell\n"));
  EXPECT_THAT(seen, HasSubstr("attribute.account = community\n"));
}

TEST_F(KeychainTest, EachServiceHasItsOwnItem) {
  const std::string other = "org.pulsewell.Pulsewell.other";
  ASSERT_TRUE(keychain.write("mine", applicationIdentifier));
  ASSERT_TRUE(keychain.write("theirs", other));
  EXPECT_TRUE(keychain.write("", other));
  EXPECT_EQ(keychain.read(applicationIdentifier), "mine");
  EXPECT_EQ(keychain.read(other), std::nullopt);
}

TEST_F(KeychainTest, AServiceTextTheKeyringCannotTakeFindsNothing) {
  for (const auto& service : {std::string("caf\xE9"), std::string("a\0b", 3)}) {
    EXPECT_EQ(keychain.read(service), std::nullopt);
    EXPECT_FALSE(keychain.write("public", service));
  }
}

class FileSecretStoreTest : public testing::Test {
 protected:
  fs::path file() const { return temporary.path() / "deep" / "pulsewell" / "community"; }

  test::TemporaryFolder temporary;  // before the store, which is made from its path
  FileSecretStore store{file()};
};

TEST_F(FileSecretStoreTest, TheFileIsPrivateAndHoldsExactlyTheCommunity) {
  ASSERT_TRUE(store.write("s3cret ", applicationIdentifier));
  EXPECT_EQ(readText(file()), "s3cret ");
  EXPECT_EQ(test::permissionsOf(file()), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(test::permissionsOf(file().parent_path()), fs::perms::owner_all);
  EXPECT_TRUE(store.write("", applicationIdentifier));
  EXPECT_FALSE(fs::exists(file()));
}

TEST_F(FileSecretStoreTest, AFileThatHoldsNoUsableTextReadsAsNone) {
  for (const auto& contents : {std::string("caf\xE9"), std::string()}) {
    writeText(file(), contents);
    EXPECT_EQ(store.read(applicationIdentifier), std::nullopt);
  }
  fs::remove(file());
  fs::create_directories(file());
  EXPECT_EQ(store.read(applicationIdentifier), std::nullopt);
}

TEST_F(FileSecretStoreTest, OnlyTheApplicationsOwnItemIsKept) {
  ASSERT_TRUE(store.write("public", applicationIdentifier));
  EXPECT_EQ(store.read("org.example.other"), std::nullopt);
  EXPECT_FALSE(store.write("private", "org.example.other"));
  EXPECT_EQ(store.read(applicationIdentifier), "public");
}

TEST_F(FileSecretStoreTest, AFolderThatCannotBeWrittenFailsTheWrite) {
  ASSERT_TRUE(store.write("public", applicationIdentifier));
  fs::permissions(file().parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
  const auto end = test::runInChild([this] {
    if (!test::dropCapabilities()) return 10;
    if (store.write("private", applicationIdentifier)) return 11;
    if (store.write("", applicationIdentifier)) return 12;
    return store.read(applicationIdentifier) == std::optional<std::string>("public") ? 0 : 13;
  });
  EXPECT_EQ(end.exitStatus, std::optional<int>(0));
}

TEST_F(FileSecretStoreTest, AWriteThatFailsNamesWhatIsInTheWay) {
  // The settings folder is a file; then the community's own path is a folder.
  writeText(file().parent_path(), "not a folder");
  EXPECT_FALSE(store.write("public", applicationIdentifier));
  EXPECT_EQ(store.writeProblem(), (FileProblem{ENOTDIR, file().parent_path().string()}));
  EXPECT_TRUE(store.write("", applicationIdentifier)) << "no file is there to delete";

  fs::remove(file().parent_path());
  fs::create_directories(file());
  EXPECT_FALSE(store.write("public", applicationIdentifier));
  EXPECT_EQ(store.writeProblem(), (FileProblem{EISDIR, file().string()}));
}

// A bus daemon of our own with no services to activate.
class PrivateBus {
 public:
  explicit PrivateBus(const fs::path& folder) {
    const auto config = folder / "bus.conf";
    writeText(config,
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig><type>session</type>\n"
              "<listen>unix:path=" +
                  (folder / "bus").string() +
                  "</listen><auth>EXTERNAL</auth>\n"
                  "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(pipeFds[0]);
      const std::string printAddress = "--print-address=" + std::to_string(pipeFds[1]);
      const std::string configFile = "--config-file=" + config.string();
      // Only async-signal-safe calls between fork and exec.
      const int devNull = ::open("/dev/null", O_WRONLY);
      if (devNull >= 0) ::dup2(devNull, STDERR_FILENO);
      ::execlp("dbus-daemon", "dbus-daemon", configFile.c_str(), printAddress.c_str(), "--nofork",
               "--nopidfile", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(pipeFds[1]);
    // The daemon prints its address once it listens.
    char c = 0;
    while (::read(pipeFds[0], &c, 1) == 1 && c != '\n')
      address_ += c;
    ::close(pipeFds[0]);
  }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;
  ~PrivateBus() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string address_;
};

// Writes a community and finds it in the file beside the settings in `config`.
void expectTheCommunityInTheFile(SecretStore& store, const fs::path& config) {
  const auto file = config / "pulsewell" / "community";
  fs::remove(file);
  EXPECT_TRUE(store.write("public", applicationIdentifier));
  EXPECT_EQ(readText(file), "public");
  EXPECT_EQ(store.read(applicationIdentifier), "public");
}

TEST(SystemSecretStoreTest, WithoutABusTheFileIsChosen) {
  const test::TemporaryFolder folder;
  struct Case {
    const char* name;
    std::optional<std::string> address;
  };
  const std::vector<Case> cases = {
      {"address of nothing", "unix:path=" + (folder.path() / "nobody-here").string()},
      {"address that is not one", std::string("no-such-transport:")},
      {"no address at all", std::nullopt},
  };
  // Without an address GLib looks in the runtime folder and, with a display, autolaunches.
  const test::ScopedEnvironment runtime("XDG_RUNTIME_DIR", folder.path().string());
  const test::ScopedEnvironment display("DISPLAY", std::nullopt);
  const test::ScopedEnvironment config("XDG_CONFIG_HOME", folder.path().string());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const test::ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", c.address);
    EXPECT_FALSE(secretServiceReachable());
    expectTheCommunityInTheFile(*chooseSecretStore(openKeyring), folder.path());
  }
}

TEST(SystemSecretStoreTest, ABusThatNeverAnswersIsGivenUpOnAtTheDeadline) {
  const test::TemporaryFolder folder;
  const auto socketPath = folder.path() / "silent";
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socketPath.string().copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);  // accepts connections, never says a word
  const test::ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + socketPath.string());

  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(secretServiceReachable(std::chrono::milliseconds(50)));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  ::close(listener);
}

TEST(SystemSecretStoreTest, ABusWithoutASecretServiceChoosesTheFile) {
  const test::TemporaryFolder folder;
  const PrivateBus privateBus(folder.path());
  if (privateBus.address().empty()) {
    if (test::runningInCI()) FAIL() << "dbus-daemon could not be started";
    GTEST_SKIP() << "dbus-daemon could not be started";
  }
  const test::ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", privateBus.address());
  const test::ScopedEnvironment config("XDG_CONFIG_HOME", folder.path().string());
  EXPECT_FALSE(secretServiceReachable());
  expectTheCommunityInTheFile(*chooseSecretStore(openKeyring), folder.path());
}

// The keyring of the private bus, and a settings folder of the test's own.
class SessionSecretStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_KEYRING();
    ASSERT_TRUE(keychain.write("", applicationIdentifier));
  }
  void TearDown() override { keychain.write("", applicationIdentifier); }

  fs::path file() const { return config_.path() / "pulsewell" / "community"; }

  Keychain keychain;

 private:
  test::TemporaryFolder config_;
  test::ScopedEnvironment configVariable_{"XDG_CONFIG_HOME", config_.path().string()};
};

TEST_F(SessionSecretStoreTest, WithTheKeyringAnsweringTheCommunityLivesThereAndNowhereElse) {
  EXPECT_TRUE(secretServiceReachable());
  const auto store = chooseSecretStore(openKeyring);
  ASSERT_TRUE(store->write("public", applicationIdentifier));
  EXPECT_EQ(keychain.read(applicationIdentifier), "public");
  EXPECT_FALSE(fs::exists(file()));
  EXPECT_EQ(store->read(applicationIdentifier), "public");
}

TEST_F(SessionSecretStoreTest, ACommunitySavedWhileNoKeyringAnsweredMovesIntoItOnceOneAnswers) {
  ASSERT_TRUE(keychain.write("from an earlier session", applicationIdentifier));
  std::unique_ptr<SecretStore> store;
  {
    // The keyring misses the look at start, as at a login where it starts late.
    const test::ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS",
                                      "unix:path=" + (file().parent_path() / "no-bus").string());
    store = chooseSecretStore(openKeyring);
    ASSERT_TRUE(store->write("saved meanwhile", applicationIdentifier));
    EXPECT_EQ(readText(file()), "saved meanwhile");
  }

  // The same store finds the keyring now; the community saved last is kept wherever it is
  // read from, and the plaintext copy goes.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (fs::exists(file()) && std::chrono::steady_clock::now() < deadline) {
    ASSERT_EQ(store->read(applicationIdentifier), "saved meanwhile");
  }
  EXPECT_FALSE(fs::exists(file())) << "the community stayed in the file";
  EXPECT_EQ(keychain.read(applicationIdentifier), "saved meanwhile");
  EXPECT_EQ(store->read(applicationIdentifier), "saved meanwhile");
}

TEST_F(SessionSecretStoreTest, WritingWhileTheKeyringAnswersRemovesACopyLeftInTheFile) {
  writeText(file(), "stale");
  const auto store = chooseSecretStore(openKeyring);
  for (const std::string community : {"fresh", ""}) {
    SCOPED_TRACE(community);
    writeText(file(), "stale");
    ASSERT_TRUE(store->write(community, applicationIdentifier));
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_EQ(keychain.read(applicationIdentifier),
              community.empty() ? std::nullopt : std::optional<std::string>(community));
  }
}

TEST(SystemSecretStoreTest, TheFileCanBeChosenEvenWithTheKeyringRunning) {
  REQUIRE_KEYRING();
  const test::ScopedEnvironment choice("PULSEWELL_SECRET_STORE", "file");
  const auto store = chooseSecretStore(openKeyring);
  EXPECT_NE(dynamic_cast<FileSecretStore*>(store.get()), nullptr);
}

}  // namespace
}  // namespace pulsewell
