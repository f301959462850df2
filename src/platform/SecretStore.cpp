#include "platform/SecretStore.h"

#include <QLoggingCategory>
#include <QMutex>

#include <libsecret/secret.h>

#include <memory>

Q_LOGGING_CATEGORY(lcSecrets, "plimsy.secrets")

namespace plimsy {

namespace {

constexpr const char *ServiceAttribute = "service";
constexpr const char *AccountAttribute = "account";
constexpr const char *KindAttribute = "keychain";
constexpr const char *LegacyKind = "legacy";

const SecretSchema *genericPasswordSchema()
{
    // Names are not matched, so items that other tools wrote with the same attributes are found too.
    static const SecretSchema schema = {
        "com.tindrel.Plimsy.GenericPassword",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {ServiceAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING},
            {AccountAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING},
            {KindAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &schema;
}

QMutex &storeMutex()
{
    static QMutex s_mutex;
    return s_mutex;
}

struct ErrorDeleter
{
    void operator()(GError *error) const { g_error_free(error); }
};
struct HashTableDeleter
{
    void operator()(GHashTable *table) const { g_hash_table_unref(table); }
};
struct ObjectDeleter
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct ValueDeleter
{
    void operator()(SecretValue *value) const { secret_value_unref(value); }
};
struct ItemListDeleter
{
    void operator()(GList *list) const { g_list_free_full(list, g_object_unref); }
};

using ErrorPtr = std::unique_ptr<GError, ErrorDeleter>;
using AttributesPtr = std::unique_ptr<GHashTable, HashTableDeleter>;
using ServicePtr = std::unique_ptr<SecretService, ObjectDeleter>;
using CollectionPtr = std::unique_ptr<SecretCollection, ObjectDeleter>;
using ValuePtr = std::unique_ptr<SecretValue, ValueDeleter>;
using ItemListPtr = std::unique_ptr<GList, ItemListDeleter>;

void logFailure(const char *operation, const QString &service, const GError *error)
{
    qCWarning(lcSecrets).noquote() << "Secret Service" << operation << "failed for" << service << "-"
                                   << (error ? QString::fromUtf8(error->message) : QStringLiteral("no answer"));
}

AttributesPtr attributesFor(const QString &service, const QString *account, SecretStore::Kind kind)
{
    GHashTable *table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    g_hash_table_insert(table, g_strdup(ServiceAttribute), g_strdup(service.toUtf8().constData()));
    if (account) {
        g_hash_table_insert(table, g_strdup(AccountAttribute), g_strdup(account->toUtf8().constData()));
    }
    if (kind == SecretStore::Kind::Legacy) {
        g_hash_table_insert(table, g_strdup(KindAttribute), g_strdup(LegacyKind));
    }
    return AttributesPtr(table);
}

bool itemIsLegacy(SecretItem *item)
{
    AttributesPtr attributes(secret_item_get_attributes(item));
    const auto *kind = static_cast<const char *>(g_hash_table_lookup(attributes.get(), KindAttribute));
    return kind && qstrcmp(kind, LegacyKind) == 0;
}

QString itemAccount(SecretItem *item)
{
    AttributesPtr attributes(secret_item_get_attributes(item));
    const auto *account = static_cast<const char *>(g_hash_table_lookup(attributes.get(), AccountAttribute));
    return account ? QString::fromUtf8(account) : QString();
}

ServicePtr connectService(const QString &service)
{
    GError *rawError = nullptr;
    ServicePtr connection(secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &rawError));
    ErrorPtr error(rawError);
    if (!connection) {
        logFailure("connection", service, error.get());
    }
    return connection;
}

// The items of the given kind that match; a default-kind search also sees legacy items, which are dropped.
struct Search
{
    bool ok = false;
    ItemListPtr items;
    std::vector<SecretItem *> matches;
};

Search search(
    SecretService *connection, const QString &service, const QString *account, SecretStore::Kind kind, bool loadSecrets)
{
    Search result;
    const AttributesPtr attributes = attributesFor(service, account, kind);
    int flags = SECRET_SEARCH_ALL;
    if (loadSecrets) {
        flags |= SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS;
    }
    GError *rawError = nullptr;
    GList *items = secret_service_search_sync(connection,
                                              genericPasswordSchema(),
                                              attributes.get(),
                                              static_cast<SecretSearchFlags>(flags),
                                              nullptr,
                                              &rawError);
    ErrorPtr error(rawError);
    if (error) {
        logFailure("search", service, error.get());
        return result;
    }
    result.ok = true;
    result.items.reset(items);
    for (GList *node = items; node; node = node->next) {
        auto *item = static_cast<SecretItem *>(node->data);
        if (kind == SecretStore::Kind::Legacy || !itemIsLegacy(item)) {
            result.matches.push_back(item);
        }
    }
    return result;
}

QString labelFor(const QString &service, const QString &account)
{
    return service + QStringLiteral(" (") + account + QLatin1Char(')');
}

SecretStore::Status createItem(SecretService *connection,
                               const QString &service,
                               const QString &account,
                               SecretValue *value,
                               SecretStore::Kind kind)
{
    const AttributesPtr attributes = attributesFor(service, &account, kind);
    const QByteArray label = labelFor(service, account).toUtf8();
    GError *rawError = nullptr;
    CollectionPtr collection(secret_collection_for_alias_sync(
        connection, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &rawError));
    ErrorPtr error(rawError);
    if (error) {
        logFailure("collection lookup", service, error.get());
        return SecretStore::Status::Unavailable;
    }
    rawError = nullptr;
    bool created = false;
    if (collection) {
        // No replace flag: the store might otherwise replace a legacy twin whose attributes are a superset.
        std::unique_ptr<SecretItem, ObjectDeleter> item(secret_item_create_sync(collection.get(),
                                                                                genericPasswordSchema(),
                                                                                attributes.get(),
                                                                                label.constData(),
                                                                                value,
                                                                                SECRET_ITEM_CREATE_NONE,
                                                                                nullptr,
                                                                                &rawError));
        created = item != nullptr;
    } else {
        // No default collection yet: the service creates one (and may ask the user for its password).
        created = secret_service_store_sync(connection,
                                            genericPasswordSchema(),
                                            attributes.get(),
                                            SECRET_COLLECTION_DEFAULT,
                                            label.constData(),
                                            value,
                                            nullptr,
                                            &rawError);
    }
    error.reset(rawError);
    if (!created) {
        logFailure("store", service, error.get());
        return SecretStore::Status::Unavailable;
    }
    return SecretStore::Status::Ok;
}

} // namespace

SecretStore::Lookup SecretStore::get(const QString &service, const QString &account, Kind kind)
{
    QMutexLocker lock(&storeMutex());
    const ServicePtr connection = connectService(service);
    if (!connection) {
        return {Status::Unavailable, {}};
    }
    const Search found = search(connection.get(), service, &account, kind, true);
    if (!found.ok) {
        return {Status::Unavailable, {}};
    }
    if (found.matches.empty()) {
        return {Status::NotFound, {}};
    }
    SecretItem *item = found.matches.front();
    ValuePtr value(secret_item_get_secret(item));
    if (!value) {
        // The item exists but its secret was not handed over: still locked after the prompt.
        logFailure("read (item locked)", service, nullptr);
        return {Status::Unavailable, {}};
    }
    gsize length = 0;
    const gchar *bytes = secret_value_get(value.get(), &length);
    if (!g_utf8_validate(bytes, static_cast<gssize>(length), nullptr)) {
        return {Status::NotFound, {}};
    }
    return {Status::Ok, QString::fromUtf8(bytes, static_cast<qsizetype>(length))};
}

SecretStore::Status SecretStore::set(const QString &service, const QString &account, const QString &value, Kind kind)
{
    QMutexLocker lock(&storeMutex());
    const ServicePtr connection = connectService(service);
    if (!connection) {
        return Status::Unavailable;
    }
    const Search found = search(connection.get(), service, &account, kind, true);
    if (!found.ok) {
        return Status::Unavailable;
    }
    const QByteArray bytes = value.toUtf8();
    ValuePtr secret(secret_value_new(bytes.constData(), bytes.size(), "text/plain"));
    if (found.matches.empty()) {
        return createItem(connection.get(), service, account, secret.get(), kind);
    }
    GError *rawError = nullptr;
    const bool written = secret_item_set_secret_sync(found.matches.front(), secret.get(), nullptr, &rawError);
    ErrorPtr error(rawError);
    if (!written) {
        logFailure("update", service, error.get());
        return Status::Unavailable;
    }
    return Status::Ok;
}

namespace {

SecretStore::Status deleteMatches(const QString &service, const QString *account, SecretStore::Kind kind)
{
    const ServicePtr connection = connectService(service);
    if (!connection) {
        return SecretStore::Status::Unavailable;
    }
    const Search found = search(connection.get(), service, account, kind, false);
    if (!found.ok) {
        return SecretStore::Status::Unavailable;
    }
    for (SecretItem *item : found.matches) {
        GError *rawError = nullptr;
        const bool deleted = secret_item_delete_sync(item, nullptr, &rawError);
        ErrorPtr error(rawError);
        if (!deleted) {
            logFailure("delete", service, error.get());
            return SecretStore::Status::Unavailable;
        }
    }
    return SecretStore::Status::Ok;
}

} // namespace

SecretStore::Status SecretStore::remove(const QString &service, const QString &account, Kind kind)
{
    QMutexLocker lock(&storeMutex());
    return deleteMatches(service, &account, kind);
}

SecretStore::Status SecretStore::removeAll(const QString &service, Kind kind)
{
    QMutexLocker lock(&storeMutex());
    return deleteMatches(service, nullptr, kind);
}

SecretStore::Listing SecretStore::accounts(const QString &service, Kind kind)
{
    QMutexLocker lock(&storeMutex());
    const ServicePtr connection = connectService(service);
    if (!connection) {
        return {Status::Unavailable, {}};
    }
    const Search found = search(connection.get(), service, nullptr, kind, false);
    if (!found.ok) {
        return {Status::Unavailable, {}};
    }
    Listing listing;
    for (SecretItem *item : found.matches) {
        const QString account = itemAccount(item);
        if (!account.isEmpty()) {
            listing.accounts.append(account);
        }
    }
    return listing;
}

} // namespace plimsy
