#include "account/KeychainTokenStore.h"

#include "core/Logger.h"
#include "core/SimpleKeychain.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

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

std::optional<QString> KeychainTokenStore::accessToken()
{
    loadIfNeeded();
    return m_cache ? m_cache->accessToken : std::nullopt;
}

void KeychainTokenStore::setAccessToken(std::optional<QString> token)
{
    write(&AuthData::accessToken, std::move(token));
}

std::optional<QString> KeychainTokenStore::deviceId()
{
    loadIfNeeded();
    return m_cache ? m_cache->deviceId : std::nullopt;
}

void KeychainTokenStore::setDeviceId(std::optional<QString> deviceId)
{
    write(&AuthData::deviceId, std::move(deviceId));
}

void KeychainTokenStore::write(std::optional<QString> AuthData::*field, std::optional<QString> value)
{
    loadIfNeeded();
    if (!m_cache) {
        m_cache.emplace();
    }
    (*m_cache).*field = std::move(value);
    save();
}

void KeychainTokenStore::clear()
{
    m_cache.reset();
    m_hasLoadedFromKeychain = true;
    m_canWrite = true;
    m_keychain->removeAll(Kind::Default);
    m_keychain->removeAll(Kind::Legacy);
}

KeychainTokenStore::Read KeychainTokenStore::readItem(Kind kind, QString &text) const
{
    SecretStore::Lookup found = m_keychain->lookup(QString::fromLatin1(Account), kind);
    if (found.status == Status::Unavailable) {
        // A store that is still starting or unlocking often answers on the second try.
        found = m_keychain->lookup(QString::fromLatin1(Account), kind);
    }
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

void KeychainTokenStore::save()
{
    if (!m_canWrite) {
        // The stored item could not be read: writing now could replace what it holds. This run keeps the
        // value in memory; nothing on disk changes.
        m_hasLoadedFromKeychain = true;
        log(QStringLiteral("[TokenStore] The secret store is unavailable; the sign-in is kept for this run only"));
        return;
    }
    if (!m_cache) {
        m_keychain->remove(QString::fromLatin1(Account), Kind::Default);
        m_keychain->remove(QString::fromLatin1(Account), Kind::Legacy);
        return;
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
        log(QStringLiteral("[TokenStore] Could not save the sign-in in the secret store"));
    }
}

} // namespace plimsy
