#include "platform/SecretStore.h"

#include <QLoggingCategory>
#include <QMutex>

#include <libsecret/secret.h>

#include <algorithm>
#include <future>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

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

// Whether the next call that meets a locked store may ask the user to unlock it. Guarded by the store's
// mutex. True at start: the first call of the process is the launch's.
bool s_mayAskToUnlock = true;
int s_userActionDepth = 0;

// Takes the one prompt of the current action, if it is still there.
bool takePromptAllowance()
{
    return std::exchange(s_mayAskToUnlock, false);
}

// Every call outside an action ends the launch's allowance, whether or not it was used.
void endCallOutsideAction()
{
    if (s_userActionDepth == 0) {
        s_mayAskToUnlock = false;
    }
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

// Locked items are found too (their attributes are not secret); nothing is unlocked here.
Search search(SecretService *connection, const QString &service, const QString *account, SecretStore::Kind kind)
{
    Search result;
    const AttributesPtr attributes = attributesFor(service, account, kind);
    GError *rawError = nullptr;
    GList *items = secret_service_search_sync(
        connection, genericPasswordSchema(), attributes.get(), SECRET_SEARCH_ALL, nullptr, &rawError);
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

// Unlocks the objects (items or a collection) that a call needs. That takes a prompt, which is asked only
// when the current action still has its one; otherwise the store counts as unavailable.
bool unlockForCall(SecretService *connection, const QString &service, const std::vector<gpointer> &objects)
{
    if (objects.empty()) {
        return true;
    }
    if (!takePromptAllowance()) {
        qCDebug(lcSecrets).noquote() << "Secret Service locked; not asking to unlock it now for" << service;
        return false;
    }
    GList *list = nullptr;
    for (gpointer object : objects) {
        list = g_list_prepend(list, object);
    }
    GError *rawError = nullptr;
    GList *unlocked = nullptr;
    const gint count = secret_service_unlock_sync(connection, list, nullptr, &unlocked, &rawError);
    ErrorPtr error(rawError);
    const auto unlockedCount = static_cast<std::size_t>(std::max<gint>(count, 0));
    g_list_free_full(unlocked, g_object_unref);
    g_list_free(list);
    if (unlockedCount < objects.size()) {
        logFailure("unlock", service, error.get());
        return false;
    }
    return true;
}

std::vector<gpointer> lockedAmong(const std::vector<SecretItem *> &items)
{
    std::vector<gpointer> locked;
    for (SecretItem *item : items) {
        if (secret_item_get_locked(item)) {
            locked.push_back(item);
        }
    }
    return locked;
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
    if (collection && secret_collection_get_locked(collection.get())
        && !unlockForCall(connection, service, {collection.get()})) {
        return SecretStore::Status::Unavailable;
    }
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
        // No default collection yet: the service creates one, asking the user for its password.
        if (!takePromptAllowance()) {
            logFailure("store (no keyring yet, not asking now)", service, nullptr);
            return SecretStore::Status::Unavailable;
        }
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

// One call of the store: serialised with all others, and the end of the launch's prompt allowance.
class StoreCall
{
public:
    StoreCall()
        : m_lock(&storeMutex())
    {
    }
    ~StoreCall() { endCallOutsideAction(); }

private:
    QMutexLocker<QMutex> m_lock;

    Q_DISABLE_COPY_MOVE(StoreCall)
};

SecretStore::Status deleteMatches(const QString &service, const QString *account, SecretStore::Kind kind)
{
    const ServicePtr connection = connectService(service);
    if (!connection) {
        return SecretStore::Status::Unavailable;
    }
    const Search found = search(connection.get(), service, account, kind);
    if (!found.ok || !unlockForCall(connection.get(), service, lockedAmong(found.matches))) {
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

SecretStore::Lookup readNow(const QString &service, const QString &account, SecretStore::Kind kind)
{
    const StoreCall call;
    const ServicePtr connection = connectService(service);
    if (!connection) {
        return {SecretStore::Status::Unavailable, {}};
    }
    const Search found = search(connection.get(), service, &account, kind);
    if (!found.ok) {
        return {SecretStore::Status::Unavailable, {}};
    }
    if (found.matches.empty()) {
        return {SecretStore::Status::NotFound, {}};
    }
    SecretItem *item = found.matches.front();
    if (!unlockForCall(connection.get(), service, lockedAmong({item}))) {
        return {SecretStore::Status::Unavailable, {}};
    }
    GError *rawError = nullptr;
    const bool loaded = secret_item_load_secret_sync(item, nullptr, &rawError);
    ErrorPtr error(rawError);
    ValuePtr value(loaded ? secret_item_get_secret(item) : nullptr);
    if (!value) {
        logFailure("read", service, error.get());
        return {SecretStore::Status::Unavailable, {}};
    }
    gsize length = 0;
    const gchar *bytes = secret_value_get(value.get(), &length);
    if (!g_utf8_validate(bytes, static_cast<gssize>(length), nullptr)) {
        return {SecretStore::Status::NotFound, {}};
    }
    return {SecretStore::Status::Ok, QString::fromUtf8(bytes, static_cast<qsizetype>(length))};
}

// Reads that readAhead() started, until their get() or a write to their service takes them. Guarded by a
// mutex of their own: a worker holds the store's for the whole of its read.
struct AheadRead
{
    QString service;
    QString account;
    SecretStore::Kind kind;
    std::shared_future<SecretStore::Lookup> answer;
};

struct AheadReads
{
    QMutex mutex;
    std::vector<AheadRead> reads;
};

AheadReads &aheadReads()
{
    // The store's mutex is made first, so that it outlives a read still running when the process ends.
    storeMutex();
    static AheadReads s_reads;
    return s_reads;
}

std::optional<std::shared_future<SecretStore::Lookup>>
takeAheadRead(const QString &service, const QString &account, SecretStore::Kind kind)
{
    AheadReads &ahead = aheadReads();
    QMutexLocker lock(&ahead.mutex);
    const auto found = std::find_if(ahead.reads.begin(), ahead.reads.end(), [&](const AheadRead &read) {
        return read.service == service && read.account == account && read.kind == kind;
    });
    if (found == ahead.reads.end()) {
        return std::nullopt;
    }
    std::shared_future<SecretStore::Lookup> answer = std::move(found->answer);
    ahead.reads.erase(found);
    return answer;
}

// A write makes what was read ahead stale. Letting go of a read may wait for it: that happens outside the lock.
void dropAheadReads(const QString &service)
{
    std::vector<AheadRead> dropped;
    AheadReads &ahead = aheadReads();
    QMutexLocker lock(&ahead.mutex);
    const auto stale = std::stable_partition(
        ahead.reads.begin(), ahead.reads.end(), [&](const AheadRead &read) { return read.service != service; });
    std::move(stale, ahead.reads.end(), std::back_inserter(dropped));
    ahead.reads.erase(stale, ahead.reads.end());
}

} // namespace

SecretStore::Lookup SecretStore::get(const QString &service, const QString &account, Kind kind)
{
    if (std::optional<std::shared_future<Lookup>> ahead = takeAheadRead(service, account, kind)) {
        return ahead->get();
    }
    return readNow(service, account, kind);
}

void SecretStore::readAhead(const QString &service, const QString &account, Kind kind)
{
    AheadReads &ahead = aheadReads();
    // Started under the lock, so that a write on another thread cannot miss it.
    QMutexLocker lock(&ahead.mutex);
    // One after the other, in the order asked, so that what is needed first is there first.
    const std::shared_future<Lookup> previous = ahead.reads.empty() ? std::shared_future<Lookup>()
                                                                    : ahead.reads.back().answer;
    const auto read = [service, account, kind, previous] {
        if (previous.valid()) {
            previous.wait();
        }
        return readNow(service, account, kind);
    };
    ahead.reads.push_back({service, account, kind, std::async(std::launch::async, read).share()});
}

SecretStore::Status SecretStore::set(const QString &service, const QString &account, const QString &value, Kind kind)
{
    dropAheadReads(service);
    const StoreCall call;
    const ServicePtr connection = connectService(service);
    if (!connection) {
        return Status::Unavailable;
    }
    const Search found = search(connection.get(), service, &account, kind);
    if (!found.ok) {
        return Status::Unavailable;
    }
    const QByteArray bytes = value.toUtf8();
    ValuePtr secret(secret_value_new(bytes.constData(), bytes.size(), "text/plain"));
    if (found.matches.empty()) {
        return createItem(connection.get(), service, account, secret.get(), kind);
    }
    SecretItem *item = found.matches.front();
    if (!unlockForCall(connection.get(), service, lockedAmong({item}))) {
        return Status::Unavailable;
    }
    GError *rawError = nullptr;
    const bool written = secret_item_set_secret_sync(item, secret.get(), nullptr, &rawError);
    ErrorPtr error(rawError);
    if (!written) {
        logFailure("update", service, error.get());
        return Status::Unavailable;
    }
    return Status::Ok;
}

SecretStore::Status SecretStore::remove(const QString &service, const QString &account, Kind kind)
{
    dropAheadReads(service);
    const StoreCall call;
    return deleteMatches(service, &account, kind);
}

SecretStore::Status SecretStore::removeAll(const QString &service, Kind kind)
{
    dropAheadReads(service);
    const StoreCall call;
    return deleteMatches(service, nullptr, kind);
}

SecretStore::Listing SecretStore::accounts(const QString &service, Kind kind)
{
    const StoreCall call;
    const ServicePtr connection = connectService(service);
    if (!connection) {
        return {Status::Unavailable, {}};
    }
    const Search found = search(connection.get(), service, nullptr, kind);
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

SecretStore::UserAction::UserAction()
{
    QMutexLocker lock(&storeMutex());
    if (s_userActionDepth++ == 0) {
        s_mayAskToUnlock = true;
    }
}

SecretStore::UserAction::~UserAction()
{
    QMutexLocker lock(&storeMutex());
    if (--s_userActionDepth == 0) {
        s_mayAskToUnlock = false;
    }
}

} // namespace plimsy
