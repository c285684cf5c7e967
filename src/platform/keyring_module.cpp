// The keyring as a module of its own, so that a program loads libsecret and GIO only when
// it reads the keyring.
#include "platform/keyring_module.h"

#include "platform/system_secret_store.h"

extern "C" pulsewell::SecretStore* pulsewell_open_keyring() {
  return pulsewell::openKeyring().release();
}
