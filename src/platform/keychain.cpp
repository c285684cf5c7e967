#include "platform/keychain.h"

#include <glib.h>
#include <libsecret/secret.h>

#include <memory>
#include <string_view>

#include "traffic/application_identifier.h"
#include "traffic/utf8.h"

namespace pulsewell {

namespace {

const SecretSchema& schema() {
  static const SecretSchema instance = [] {
    SecretSchema built{};
    built.name = applicationIdentifier;
    built.flags = SECRET_SCHEMA_NONE;
    built.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
    built.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
    return built;
  }();
  return instance;
}

// libsecret takes attribute values as NUL-terminated UTF-8 and reports anything else as
// a programming error on the terminal; such a service text simply finds nothing.
bool usableAttribute(std::string_view text) {
  return text.find('\0') == std::string_view::npos && isValidUTF8(text);
}

struct HashTableRelease {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableRelease>;

// Borrows the texts; they must outlive the table's use.
Attributes attributesFor(const std::string& service) {
  Attributes table(g_hash_table_new(g_str_hash, g_str_equal));
  g_hash_table_insert(table.get(), const_cast<char*>("service"),
                      const_cast<char*>(service.c_str()));
  g_hash_table_insert(table.get(), const_cast<char*>("account"),
                      const_cast<char*>(Keychain::account));
  return table;
}

struct SecretValueRelease {
  void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using Value = std::unique_ptr<SecretValue, SecretValueRelease>;

// True when no error was reported; frees it either way.
bool succeeded(GError* error) {
  if (error == nullptr) return true;
  g_error_free(error);
  return false;
}

}  // namespace

std::optional<std::string> Keychain::read(const std::string& service) {
  if (!usableAttribute(service)) return std::nullopt;
  const auto attributes = attributesFor(service);
  GError* error = nullptr;
  const Value value(
      secret_password_lookupv_binary_sync(&schema(), attributes.get(), nullptr, &error));
  if (!succeeded(error) || !value) return std::nullopt;
  gsize length = 0;
  const gchar* data = secret_value_get(value.get(), &length);
  if (data == nullptr) return std::nullopt;
  std::string text(data, length);
  if (!isValidUTF8(text)) return std::nullopt;
  return text;
}

bool Keychain::write(const std::string& value, const std::string& service) {
  if (!usableAttribute(service)) return false;
  const auto attributes = attributesFor(service);
  GError* error = nullptr;
  if (value.empty()) {
    // FALSE without an error means there was nothing to delete: success as well.
    secret_password_clearv_sync(&schema(), attributes.get(), nullptr, &error);
    return succeeded(error);
  }
  if (!isValidUTF8(value)) return false;
  const Value secret(
      secret_value_new(value.data(), static_cast<gssize>(value.size()), "text/plain"));
  // Replaces an item with the same attributes, else adds one.
  const gboolean stored =
      secret_password_storev_binary_sync(&schema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
                                         itemLabel, secret.get(), nullptr, &error);
  return succeeded(error) && stored != FALSE;
}

}  // namespace pulsewell
