#include "account/KeychainTokenStore.h"

#include "core/Logger.h"
#include "core/SimpleKeychain.h"
#include "platform/SecretStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <utility>

namespace plimsy {

namespace {

using Kind = KeychainProtocol::Kind;
using Status = KeychainProtocol::Status;

const QString AccessTokenKey = QStringLiteral("accessToken");
const QString DeviceIdKey = QStringLiteral("deviceId");

// A member that is absent or null reads as none; any other type spoils the whole record.
bool optionalString(const QJsonObject &json, const QString &key, std::optional<QString> &out)
{
    const QJsonValue value = json.value(key);
    if (value.isUndefined() || value.isNull()) {
        out.reset();
        return true;
    }
    if (!value.isString()) {
        return false;
    }
    out = value.toString();
    return true;
}

} // namespace

KeychainTokenStore::KeychainTokenStore()
    : KeychainTokenStore(std::make_unique<SimpleKeychain>(QString::fromLatin1(Service)))
{
}

KeychainTokenStore::KeychainTokenStore(std::unique_ptr<KeychainProtocol> keychain)
    : m_keychain(std::move(keychain))
{
}

void KeychainTokenStore::readAhead()
{
    SecretStore::readAhead(QString::fromLatin1(Service), QString::fromLatin1(Account));
}

std::optional<QString> KeychainTokenStore::accessToken()
{
    loadIfNeeded();
    return m_cache ? m_cache->accessToken : std::nullopt;
}

bool KeychainTokenStore::setAccessToken(std::optional<QString> token)
{
    return write(&AuthData::accessToken, std::move(token));
}

std::optional<QString> KeychainTokenStore::deviceId()
{
    loadIfNeeded();
    return m_cache ? m_cache->deviceId : std::nullopt;
}

bool KeychainTokenStore::setDeviceId(std::optional<QString> deviceId)
{
    return write(&AuthData::deviceId, std::move(deviceId));
}

bool KeychainTokenStore::write(std::optional<QString> AuthData::*field, std::optional<QString> value)
{
    std::optional<AuthData> keptForThisRun;
    if (m_hasLoadedFromKeychain && !m_canWrite) {
        // An earlier write found the item unreadable and kept its value for this run only. The store may
        // be back: read the item now, so that what this run set goes over what it holds, never blindly.
        keptForThisRun = std::exchange(m_cache, std::nullopt);
        m_hasLoadedFromKeychain = false;
    }
    loadIfNeeded();
    if (!m_canWrite) {
        m_hasLoadedFromKeychain = true;
    }
    if (keptForThisRun) {
        AuthData merged = m_cache.value_or(AuthData{});
        for (const auto kept : {&AuthData::accessToken, &AuthData::deviceId}) {
            if ((*keptForThisRun).*kept) {
                merged.*kept = (*keptForThisRun).*kept;
            }
        }
        m_cache = std::move(merged);
    }
    if (!m_cache) {
        m_cache.emplace();
    }
    (*m_cache).*field = std::move(value);
    return save();
}

bool KeychainTokenStore::clear()
{
    m_cache.reset();
    m_hasLoadedFromKeychain = true;
    m_canWrite = true;
    m_isUnavailable = false;
    const bool removed =
        m_keychain->removeAll(Kind::Default) == Status::Ok && m_keychain->removeAll(Kind::Legacy) == Status::Ok;
    if (!removed) {
        log(QStringLiteral("[TokenStore] Could not remove the sign-in from the secret store; it comes back at the "
                           "next launch"));
    }
    return removed;
}

KeychainTokenStore::Read KeychainTokenStore::readItem(Kind kind, QString &text) const
{
    const SecretStore::Lookup found = m_keychain->lookup(QString::fromLatin1(Account), kind);
    switch (found.status) {
    case Status::Ok:
        text = found.value;
        return Read::Found;
    case Status::NotFound:
        return Read::Absent;
    case Status::Unavailable:
        break;
    }
    return Read::Failed;
}

void KeychainTokenStore::loadIfNeeded()
{
    if (m_hasLoadedFromKeychain) {
        return;
    }
    QString text;
    Read found = readItem(Kind::Default, text);
    if (found == Read::Absent) {
        found = readItem(Kind::Legacy, text);
        if (found == Read::Found && !moveLegacyItem(text)) {
            log(QStringLiteral("[TokenStore] Could not move the sign-in to the current secret store; keeping "
                               "the older copy"));
        }
    }
    m_isUnavailable = found == Read::Failed;
    if (found == Read::Failed) {
        // Not loaded: the next read asks again, so a store that comes back later still signs the user in.
        if (!m_reportedUnavailable) {
            log(QStringLiteral("[TokenStore] The secret store is unavailable; the sign-in cannot be read"));
            m_reportedUnavailable = true;
        }
        return;
    }
    m_hasLoadedFromKeychain = true;
    m_canWrite = true;
    if (found == Read::Absent) {
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    AuthData data;
    if (document.isObject() && optionalString(document.object(), AccessTokenKey, data.accessToken)
        && optionalString(document.object(), DeviceIdKey, data.deviceId)) {
        m_cache = std::move(data);
    }
}

bool KeychainTokenStore::moveLegacyItem(const QString &text)
{
    // The older copy goes only once the new one is known to hold the same text.
    if (m_keychain->store(text, QString::fromLatin1(Account)) != Status::Ok) {
        return false;
    }
    const SecretStore::Lookup copy = m_keychain->lookup(QString::fromLatin1(Account), Kind::Default);
    if (copy.status != Status::Ok || copy.value != text) {
        return false;
    }
    return m_keychain->remove(QString::fromLatin1(Account), Kind::Legacy) == Status::Ok;
}

bool KeychainTokenStore::save()
{
    if (!m_canWrite) {
        // The stored item could not be read: writing now could replace what it holds. This run keeps the
        // value in memory; nothing on disk changes.
        m_hasLoadedFromKeychain = true;
        m_isUnavailable = false;
        log(QStringLiteral("[TokenStore] The secret store is unavailable; the sign-in is kept for this run only"));
        return false;
    }
    if (!m_cache) {
        return m_keychain->remove(QString::fromLatin1(Account), Kind::Default) == Status::Ok
               && m_keychain->remove(QString::fromLatin1(Account), Kind::Legacy) == Status::Ok;
    }
    QJsonObject json;
    if (m_cache->accessToken) {
        json.insert(AccessTokenKey, *m_cache->accessToken);
    }
    if (m_cache->deviceId) {
        json.insert(DeviceIdKey, *m_cache->deviceId);
    }
    const QString text = QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact));
    if (m_keychain->store(text, QString::fromLatin1(Account)) != Status::Ok) {
        log(QStringLiteral(
            "[TokenStore] Could not save the sign-in in the secret store; it is kept for this run only"));
        return false;
    }
    return true;
}

} // namespace plimsy
