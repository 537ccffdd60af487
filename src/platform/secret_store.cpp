#include "platform/secret_store.h"

#include <libsecret/secret.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <memory>

#include "platform/encoding.h"

namespace tovra {

namespace {

std::atomic<bool> promptsAllowed{false};

const SecretSchema* Schema() {
  static const SecretSchema schema = [] {
    SecretSchema s{};
    s.name = "jp.tovra.SitePassword";
    s.flags = SECRET_SCHEMA_NONE;
    s.attributes[0] = {"application", SECRET_SCHEMA_ATTRIBUTE_STRING};
    s.attributes[1] = {"site", SECRET_SCHEMA_ATTRIBUTE_STRING};
    s.attributes[2] = {"field", SECRET_SCHEMA_ATTRIBUTE_STRING};
    return s;
  }();
  return &schema;
}

struct GObjectFree {
  void operator()(gpointer p) const { g_object_unref(p); }
};
template <typename T>
using GRef = std::unique_ptr<T, GObjectFree>;

struct GErrorFree {
  void operator()(GError* e) const { g_error_free(e); }
};
using ErrorRef = std::unique_ptr<GError, GErrorFree>;

struct ItemListFree {
  void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using ItemList = std::unique_ptr<GList, ItemListFree>;

// GLib's session bus reached from a process whose desktop set none up would
// launch a bus of its own; the store only speaks to one that is there.
bool SessionBusConfigured() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat st {};
  return runtime != nullptr && ::stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

std::string Detail(const GError* error) { return error != nullptr ? Utf8ForDisplay(error->message) : std::string(); }

[[noreturn]] void Fail(const std::string& site, const GError* error) {
  TSecretStoreFault fault = TSecretStoreFault::Failed;
  if (error != nullptr && g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED)) {
    fault = TSecretStoreFault::Locked;
  } else if (error != nullptr &&
             (error->domain == G_DBUS_ERROR || g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CLOSED))) {
    fault = TSecretStoreFault::Unavailable;
  }
  throw ESecretStoreError(fault, site, Detail(error));
}

// The shared service with an open session; nullptr (and the reason) when
// no Secret Service answers.
GRef<SecretService> Connect(ErrorRef& reason) {
  if (!SessionBusConfigured()) return nullptr;
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (bus == nullptr) {
    reason.reset(error);
    return nullptr;
  }
  // A bus that goes away (the desktop session ending) must not end the
  // program with it, as GLib's shared connection would by raising SIGTERM.
  // It is held until the service holds it, so the service gets this one.
  g_dbus_connection_set_exit_on_close(bus, FALSE);
  GRef<GDBusConnection> held(bus);
  GRef<SecretService> service(secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error));
  reason.reset(error);
  return service;
}

GRef<SecretService> ConnectFor(const std::string& site) {
  ErrorRef reason;
  GRef<SecretService> service = Connect(reason);
  if (service == nullptr) throw ESecretStoreError(TSecretStoreFault::Unavailable, site, Detail(reason.get()));
  return service;
}

GHashTable* Attributes(const TSecretItem& item) {
  const std::string site = Cp932ToUtf8(item.site);
  return secret_attributes_build(Schema(), "application", "tovra", "site", site.c_str(), "field", item.field.c_str(),
                                 nullptr);
}

struct AttributesRef {
  explicit AttributesRef(const TSecretItem& item) : table(Attributes(item)) {}
  ~AttributesRef() { g_hash_table_unref(table); }
  AttributesRef(const AttributesRef&) = delete;
  AttributesRef& operator=(const AttributesRef&) = delete;
  GHashTable* table;
};

// Unlocks a locked item or collection through the desktop's prompt where
// that is allowed; otherwise (or when the user declines) the store is locked.
void EnsureUnlocked(SecretService* service, gpointer object, bool locked, const std::string& site) {
  if (!locked) return;
  if (!promptsAllowed.load()) throw ESecretStoreError(TSecretStoreFault::Locked, site);
  GList objects{object, nullptr, nullptr};
  GError* error = nullptr;
  gint count = secret_service_unlock_sync(service, &objects, nullptr, nullptr, &error);
  ErrorRef owned(error);
  if (count < 1) throw ESecretStoreError(TSecretStoreFault::Locked, site, Detail(error));
}

ItemList Search(SecretService* service, const TSecretItem& item) {
  AttributesRef attributes(item);
  GError* error = nullptr;
  ItemList found(secret_service_search_sync(service, Schema(), attributes.table, SECRET_SEARCH_ALL, nullptr, &error));
  ErrorRef owned(error);
  if (error != nullptr) Fail(item.site, error);
  return found;
}

}  // namespace

ESecretStoreError::ESecretStoreError(TSecretStoreFault fault, const std::string& site, const std::string& detail)
    : ETovraError([&] {
        std::string text;
        switch (fault) {
          case TSecretStoreFault::Unavailable:
            text = "キーリングが利用できないため、サイト「" + site + "」のパスワードを読み書きできません。";
            break;
          case TSecretStoreFault::Locked:
            text = "キーリングがロックされているため、サイト「" + site + "」のパスワードを読み書きできません。";
            break;
          case TSecretStoreFault::Failed:
            text = "キーリングでサイト「" + site + "」のパスワードを読み書きできませんでした。";
            break;
        }
        return detail.empty() ? text : text + " (" + detail + ")";
      }()),
      fault_(fault) {}

bool SecretServiceAnswers() {
  ErrorRef reason;
  return Connect(reason) != nullptr;
}

void AllowSecretStorePrompts(bool allow) { promptsAllowed.store(allow); }

std::optional<std::string> LookupSecret(const TSecretItem& item) {
  GRef<SecretService> service = ConnectFor(item.site);
  ItemList found = Search(service.get(), item);
  if (found == nullptr) return std::nullopt;
  auto* secretItem = static_cast<SecretItem*>(found->data);
  EnsureUnlocked(service.get(), secretItem, secret_item_get_locked(secretItem), item.site);
  GError* error = nullptr;
  if (!secret_item_load_secret_sync(secretItem, nullptr, &error)) {
    ErrorRef owned(error);
    Fail(item.site, error);
  }
  SecretValue* value = secret_item_get_secret(secretItem);
  if (value == nullptr) throw ESecretStoreError(TSecretStoreFault::Locked, item.site);
  gsize length = 0;
  const gchar* bytes = secret_value_get(value, &length);
  std::string password(bytes, length);
  secret_value_unref(value);
  std::string cp932;
  if (!TryUtf8ToCp932(password, cp932)) throw ESecretStoreError(TSecretStoreFault::Failed, item.site);
  return cp932;
}

void StoreSecret(const TSecretItem& item, const std::string& password) {
  GRef<SecretService> service = ConnectFor(item.site);
  GError* error = nullptr;
  GRef<SecretCollection> collection(secret_collection_for_alias_sync(service.get(), SECRET_COLLECTION_DEFAULT,
                                                                     SECRET_COLLECTION_NONE, nullptr, &error));
  ErrorRef owned(error);
  if (error != nullptr) Fail(item.site, error);
  if (collection == nullptr) throw ESecretStoreError(TSecretStoreFault::Unavailable, item.site);
  EnsureUnlocked(service.get(), collection.get(), secret_collection_get_locked(collection.get()), item.site);
  const std::string utf8 = Cp932ToUtf8(password);
  const std::string label = Cp932ToUtf8("Tovra サイト「" + item.site + "」の " + item.field);
  SecretValue* value = secret_value_new(utf8.data(), static_cast<gssize>(utf8.size()), "text/plain");
  AttributesRef attributes(item);
  gboolean stored = secret_service_store_sync(service.get(), Schema(), attributes.table, SECRET_COLLECTION_DEFAULT,
                                              label.c_str(), value, nullptr, &error);
  secret_value_unref(value);
  owned.reset(error);
  if (!stored) Fail(item.site, error);
}

void ClearSecret(const TSecretItem& item) {
  GRef<SecretService> service = ConnectFor(item.site);
  ItemList found = Search(service.get(), item);
  for (GList* l = found.get(); l != nullptr; l = l->next) {
    auto* secretItem = static_cast<SecretItem*>(l->data);
    EnsureUnlocked(service.get(), secretItem, secret_item_get_locked(secretItem), item.site);
    GError* error = nullptr;
    if (!secret_item_delete_sync(secretItem, nullptr, &error)) {
      ErrorRef owned(error);
      Fail(item.site, error);
    }
  }
}

}  // namespace tovra
