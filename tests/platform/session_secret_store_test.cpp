// Where the community goes while the keyring does or does not answer, with a keyring that is
// a small fake, a look at the session bus that the test answers, and the real file.
#include "platform/session_secret_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/file_secret_store.h"
#include "platform_test_support.h"
#include "traffic/application_identifier.h"

namespace pulsewell {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::readText;
using test::writeText;

// The keyring's items, kept by the test while the store owns the keyring.
struct KeyringItems {
  std::map<std::string, std::string> items;
  bool refuse = false;
};

class MemoryKeyring final : public SecretStore {
 public:
  explicit MemoryKeyring(std::shared_ptr<KeyringItems> items) : items_(std::move(items)) {}
  std::optional<std::string> read(const std::string& service) override {
    const auto found = items_->items.find(service);
    if (found == items_->items.end()) return std::nullopt;
    return found->second;
  }
  bool write(const std::string& value, const std::string& service) override {
    if (items_->refuse) return false;
    if (value.empty()) {
      items_->items.erase(service);
    } else {
      items_->items[service] = value;
    }
    return true;
  }

 private:
  std::shared_ptr<KeyringItems> items_;
};

// Looks at the bus that find what the test says, and hang while it holds them.
class ScriptedLooks {
 public:
  void answer(bool found) {
    {
      const std::lock_guard lock(state_->mutex);
      state_->found = found;
      state_->held = false;
    }
    state_->changed.notify_all();
  }
  void hold() {
    const std::lock_guard lock(state_->mutex);
    state_->held = true;
  }
  int count() const {
    const std::lock_guard lock(state_->mutex);
    return state_->looks;
  }
  SessionSecretStore::Probe probe() const {
    return [state = state_] {
      std::unique_lock lock(state->mutex);
      ++state->looks;
      state->changed.wait(lock, [&] { return !state->held; });
      return state->found;
    };
  }

 private:
  struct State {
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool found = false;
    bool held = false;
    int looks = 0;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

class SessionSecretStoreTest : public ::testing::Test {
 protected:
  // `laterWait` long enough that a look which answers at once is always waited for.
  std::unique_ptr<SessionSecretStore> makeStore(std::chrono::milliseconds laterWait = 60s) {
    return std::make_unique<SessionSecretStore>(std::make_unique<MemoryKeyring>(keyring),
                                                std::make_unique<FileSecretStore>(file()),
                                                looks.probe(), laterWait);
  }
  fs::path file() const { return temporary_.path() / "pulsewell" / "community"; }
  std::optional<std::string> inKeyring() const {
    const auto found = keyring->items.find(service);
    if (found == keyring->items.end()) return std::nullopt;
    return found->second;
  }

  const std::string service = applicationIdentifier;
  std::shared_ptr<KeyringItems> keyring = std::make_shared<KeyringItems>();
  ScriptedLooks looks;

 private:
  test::TemporaryFolder temporary_;
};

TEST_F(SessionSecretStoreTest, WhileNoKeyringAnswersTheCommunityLivesInTheFile) {
  looks.answer(false);
  const auto store = makeStore();
  ASSERT_TRUE(store->write("public", service));
  EXPECT_EQ(readText(file()), "public");
  EXPECT_EQ(inKeyring(), std::nullopt);
  EXPECT_EQ(store->read(service), "public");
}

TEST_F(SessionSecretStoreTest, AKeyringThatAnswersLaterIsFoundAndTakesTheFilesCommunity) {
  looks.answer(false);
  keyring->items[service] = "older";
  const auto store = makeStore();
  ASSERT_TRUE(store->write("newer", service));

  looks.answer(true);
  EXPECT_EQ(store->read(service), "newer");
  EXPECT_EQ(inKeyring(), "newer");
  EXPECT_FALSE(fs::exists(file()));
  EXPECT_EQ(store->read(service), "newer");
}

TEST_F(SessionSecretStoreTest, AKeyringThatRefusesTheMoveLeavesTheCommunityInTheFile) {
  looks.answer(true);
  writeText(file(), "saved meanwhile");
  keyring->items[service] = "older";
  keyring->refuse = true;
  const auto store = makeStore();
  EXPECT_EQ(store->read(service), "saved meanwhile");
  EXPECT_EQ(readText(file()), "saved meanwhile");
}

TEST_F(SessionSecretStoreTest, WithTheKeyringAnsweringItIsReadFirstAndWritesLeaveNoFileCopy) {
  looks.answer(true);
  keyring->items[service] = "in the keyring";
  const auto store = makeStore();
  EXPECT_EQ(store->read(service), "in the keyring");

  writeText(file(), "stale");
  ASSERT_TRUE(store->write("fresh", service));
  EXPECT_EQ(inKeyring(), "fresh");
  EXPECT_FALSE(fs::exists(file()));

  keyring->refuse = true;
  EXPECT_FALSE(store->write("refused", service));
  EXPECT_EQ(store->writeProblem(), std::nullopt) << "a keyring's no is not a file's fault";
  EXPECT_FALSE(fs::exists(file())) << "a refused community never lands in plaintext";
}

TEST_F(SessionSecretStoreTest, ACopyThatCannotBeRemovedFailsTheWriteAndSaysWhy) {
  looks.answer(true);
  writeText(file(), "stale");
  fs::permissions(file().parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
  const auto end = test::runInChild([this] {
    if (!test::dropCapabilities()) return 10;
    const auto store = makeStore();
    if (store->write("fresh", service)) return 11;
    return store->writeProblem() == FileProblem{EACCES, file().string()} ? 0 : 12;
  });
  EXPECT_EQ(end.exitStatus, std::optional<int>(0));
}

TEST_F(SessionSecretStoreTest, ALookThatHangsHoldsUpReadsOnlyBrieflyAndOneRunsAtATime) {
  looks.answer(false);
  const auto store = makeStore(20ms);
  ASSERT_TRUE(store->write("public", service));
  const int before = looks.count();

  looks.hold();
  for (int read = 0; read < 3; ++read) {
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(store->read(service), "public");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  }
  EXPECT_LE(looks.count(), before + 1);

  // The look comes back with a keyring: the next reads move the community there.
  looks.answer(true);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (fs::exists(file()) && std::chrono::steady_clock::now() < deadline) {
    ASSERT_EQ(store->read(service), "public");
  }
  EXPECT_EQ(inKeyring(), "public");
}

}  // namespace
}  // namespace pulsewell
