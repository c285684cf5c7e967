// The keyring as a module of its own, for the programs that must not load libsecret
// before they read the keyring.
#include "platform/keyring_module.h"

#include "platform/system_secret_store.h"

extern "C" pulsewell::SecretStore* pulsewell_open_keyring() {
  return pulsewell::openKeyring().release();
}
