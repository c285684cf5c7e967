#include "platform/secret_store_choice.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string_view>

#include "platform/file_secret_store.h"
#include "platform/keyring_module.h"
#include "platform/program_files.h"

namespace pulsewell {

namespace {

std::unique_ptr<SecretStore> openKeyringModule() {
  const auto module = ProgramFiles::keyringModule();
  if (module.empty()) return nullptr;
  // Never unloaded: the store's code lives in it.
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) return nullptr;
  auto* open = reinterpret_cast<KeyringModuleEntry>(::dlsym(handle, keyringModuleEntry));
  if (open == nullptr) return nullptr;
  return std::unique_ptr<SecretStore>(open());
}

}  // namespace

std::unique_ptr<SecretStore> chooseSecretStore(const KeyringOpener& openKeyring) {
  // PULSEWELL_SECRET_STORE=file keeps the community out of the keyring, for the demo and
  // for desktops whose keyring should not hold it.
  const char* choice = std::getenv("PULSEWELL_SECRET_STORE");  // NOLINT(concurrency-mt-unsafe)
  if (choice != nullptr && std::string_view(choice) == "file") {
    return std::make_unique<FileSecretStore>();
  }
  if (auto keyring = openKeyring()) return keyring;
  return std::make_unique<FileSecretStore>();
}

std::unique_ptr<SecretStore> loadSystemSecretStore() {
  return chooseSecretStore(openKeyringModule);
}

}  // namespace pulsewell
