#include "platform/session_secret_store.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace pulsewell {

// Shared with the probe threads, which may outlive the store: quitting never waits for a
// keyring that does not answer.
struct SessionSecretStore::Probing {
  explicit Probing(Probe probeIn) : probe(std::move(probeIn)) {}

  // Starts a look on a thread of its own unless one is under way. Called with `mutex` held.
  static void start(const std::shared_ptr<Probing>& self) {
    if (self->running) return;
    self->running = true;
    std::thread([self] {
      const bool answered = self->probe();
      {
        const std::lock_guard lock(self->mutex);
        self->reachable = answered;
        self->running = false;
      }
      self->finished.notify_all();
    }).detach();
  }

  const Probe probe;
  std::mutex mutex;
  std::condition_variable finished;
  bool running = false;
  // The last look's answer; none until the first has ended.
  std::optional<bool> reachable;
};

SessionSecretStore::SessionSecretStore(std::unique_ptr<SecretStore> keyring,
                                       std::unique_ptr<SecretStore> file, Probe probe,
                                       std::chrono::milliseconds laterWait)
    : keyring_(std::move(keyring)),
      file_(std::move(file)),
      probing_(std::make_shared<Probing>(std::move(probe))),
      laterWait_(laterWait) {
  const std::lock_guard lock(probing_->mutex);
  Probing::start(probing_);
}

SessionSecretStore::~SessionSecretStore() = default;

bool SessionSecretStore::keyringAnswers() {
  std::unique_lock lock(probing_->mutex);
  // A keyring once found stays chosen: one that stops answering fails reads and writes
  // instead of sending the community to the file.
  if (probing_->reachable == true) return true;
  if (!probing_->reachable) {
    probing_->finished.wait(lock, [this] { return probing_->reachable.has_value(); });
  } else {
    Probing::start(probing_);
    probing_->finished.wait_for(lock, laterWait_, [this] { return !probing_->running; });
  }
  return probing_->reachable == true;
}

std::optional<std::string> SessionSecretStore::read(const std::string& service) {
  if (!keyringAnswers()) return file_->read(service);
  // The file only holds a community saved while no keyring answered, so it is newer than
  // the keyring's: it moves there once, and the plaintext copy goes.
  if (auto saved = file_->read(service)) {
    if (keyring_->write(*saved, service)) file_->write("", service);
    return saved;
  }
  return keyring_->read(service);
}

bool SessionSecretStore::write(const std::string& value, const std::string& service) {
  problem_.reset();
  if (!keyringAnswers()) {
    if (file_->write(value, service)) return true;
    problem_ = file_->writeProblem();
    return false;
  }
  if (!keyring_->write(value, service)) return false;
  // A copy left in the file would be read as the newer one.
  if (!file_->read(service) || file_->write("", service)) return true;
  problem_ = file_->writeProblem();
  return false;
}

std::optional<FileProblem> SessionSecretStore::writeProblem() const {
  return problem_;
}

}  // namespace pulsewell
