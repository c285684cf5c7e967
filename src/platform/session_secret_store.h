#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "traffic/secret_store.h"

namespace pulsewell {

// The community where this desktop session can keep it: in the keyring whenever one
// answers, else in the file beside the settings. A keyring that did not answer yet (one
// that starts after the program at login) is looked for again at each read and write, on a
// thread of its own, so that it is found without a restart. Once one answers, a community
// saved to the file meanwhile moves into it and the file goes.
class SessionSecretStore final : public SecretStore {
 public:
  // Whether a Secret Service answers now; bounded by a timeout of its own.
  using Probe = std::function<bool()>;
  // How long a read or write waits for a new look at the keyring before it goes to the
  // file: long enough for a keyring that runs, short enough not to stall the program when
  // the session bus hangs. The first look, started at construction, is waited for whole.
  static constexpr std::chrono::milliseconds defaultLaterWait{100};

  SessionSecretStore(std::unique_ptr<SecretStore> keyring, std::unique_ptr<SecretStore> file,
                     Probe probe, std::chrono::milliseconds laterWait = defaultLaterWait);
  ~SessionSecretStore() override;
  SessionSecretStore(const SessionSecretStore&) = delete;
  SessionSecretStore& operator=(const SessionSecretStore&) = delete;

  std::optional<std::string> read(const std::string& service) override;
  bool write(const std::string& value, const std::string& service) override;
  std::optional<FileProblem> writeProblem() const override;

 private:
  struct Probing;

  bool keyringAnswers();

  std::unique_ptr<SecretStore> keyring_;
  std::unique_ptr<SecretStore> file_;
  std::shared_ptr<Probing> probing_;
  std::chrono::milliseconds laterWait_;
  std::optional<FileProblem> problem_;
};

}  // namespace pulsewell
