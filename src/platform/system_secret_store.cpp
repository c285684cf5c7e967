#include "platform/system_secret_store.h"

#include <gio/gio.h>

#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "platform/file_secret_store.h"
#include "platform/keychain.h"
#include "platform/session_secret_store.h"
#include "traffic/application_identifier.h"
#include "traffic/thread_name.h"

namespace pulsewell {

namespace {

constexpr const char* secretServiceName = "org.freedesktop.secrets";
// StartServiceByName's answers: the service was started, or it already ran.
constexpr guint32 serviceStarted = 1;
constexpr guint32 serviceAlreadyRunning = 2;

template <typename T>
struct GObjectRelease {
  void operator()(T* object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPointer = std::unique_ptr<T, GObjectRelease<T>>;

struct GVariantRelease {
  void operator()(GVariant* variant) const { g_variant_unref(variant); }
};

// Cancels `cancellable` when `timeout` passes before the guard is destroyed.
class Deadline {
 public:
  Deadline(GCancellable* cancellable, std::chrono::milliseconds timeout)
      : timer_([this, cancellable, timeout](const std::stop_token& stop) {
          nameThisThread("probe");
          std::unique_lock lock(mutex_);
          if (!wake_.wait_for(lock, stop, timeout, [] { return false; }) &&
              !stop.stop_requested()) {
            g_cancellable_cancel(cancellable);
          }
        }) {}
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;
  ~Deadline() {
    timer_.request_stop();
    timer_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::jthread timer_;
};

}  // namespace

bool secretServiceReachable(std::chrono::milliseconds timeout) {
  const GObjectPointer<GCancellable> cancellable(g_cancellable_new());
  const auto started = std::chrono::steady_clock::now();
  const Deadline deadline(cancellable.get(), timeout);

  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, cancellable.get(), &error);
  if (address == nullptr) {
    g_clear_error(&error);
    return false;
  }
  // A private connection: the shared one would keep the address it was first made with.
  const GObjectPointer<GDBusConnection> connection(g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, cancellable.get(), &error));
  g_free(address);
  if (!connection) {
    g_clear_error(&error);
    return false;
  }

  const auto left = timeout - std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - started);
  bool reachable = false;
  if (left.count() > 0) {
    // Starts the service when it is activatable and not running; answers at once when it
    // runs, and with an error when nothing provides it.
    const std::unique_ptr<GVariant, GVariantRelease> reply(g_dbus_connection_call_sync(
        connection.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "StartServiceByName", g_variant_new("(su)", secretServiceName, 0U), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, static_cast<gint>(left.count()), cancellable.get(), &error));
    if (reply) {
      guint32 answer = 0;
      g_variant_get(reply.get(), "(u)", &answer);
      reachable = answer == serviceStarted || answer == serviceAlreadyRunning;
    }
    g_clear_error(&error);
  }
  g_dbus_connection_close_sync(connection.get(), nullptr, nullptr);
  return reachable;
}

std::unique_ptr<SecretStore> openKeyring() {
  return std::make_unique<SessionSecretStore>(std::make_unique<Keychain>(),
                                              std::make_unique<FileSecretStore>(),
                                              [] { return secretServiceReachable(); });
}

}  // namespace pulsewell
