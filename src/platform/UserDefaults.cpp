#include "platform/UserDefaults.h"

#include "platform/AppPaths.h"
#include "platform/BundleInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace plimsy {

namespace {

constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Each sync writes a new file and renames it over the old one, keeping the old one's mode: so the file
// made 0600 here stays so.
void makePrivate(const QString &filePath)
{
    if (!AppPaths::ensurePrivateDirectory(QFileInfo(filePath).absolutePath())) {
        return;
    }
    QFile file(filePath);
    if (file.open(QIODevice::Append, OwnerOnly)) {
        file.close();
    }
    file.setPermissions(OwnerOnly); // one made looser before
}

} // namespace

UserDefaults &UserDefaults::standard()
{
    static UserDefaults *s_standard = [] {
        const QString folder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                                   .filePath(QString::fromLatin1(BundleInfo::Identifier));
        return new UserDefaults(QDir(folder).filePath(QStringLiteral("Plimsy.conf")));
    }();
    return *s_standard;
}

UserDefaults::UserDefaults(const QString &filePath, QObject *parent)
    : QObject(parent)
    , m_settings(filePath, QSettings::IniFormat)
{
    makePrivate(filePath);
}

QString UserDefaults::filePath() const
{
    return m_settings.fileName();
}

void UserDefaults::registerDefaults(const QVariantMap &defaults)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        m_registered.insert(it.key(), it.value());
    }
}

QVariant UserDefaults::object(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    QVariant stored = m_settings.value(key);
    return stored.isValid() ? stored : m_registered.value(key);
}

bool UserDefaults::contains(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    return m_settings.contains(key);
}

bool UserDefaults::boolValue(const QString &key) const
{
    return object(key).toBool();
}

qint64 UserDefaults::integer(const QString &key) const
{
    const QVariant value = object(key);
    bool ok = false;
    const qint64 integral = value.toLongLong(&ok);
    if (ok) {
        return integral;
    }
    // "2.5" and "true" read as numbers the way a typed store would convert them.
    const double real = value.toDouble(&ok);
    return ok ? static_cast<qint64>(real) : (value.toBool() ? 1 : 0);
}

double UserDefaults::doubleValue(const QString &key) const
{
    return object(key).toDouble();
}

QString UserDefaults::string(const QString &key) const
{
    return object(key).toString();
}

QJsonValue UserDefaults::json(const QString &key) const
{
    const QVariant value = object(key);
    if (!value.isValid()) {
        return QJsonValue(QJsonValue::Undefined);
    }
    return parseJson(value.toString().toUtf8());
}

QJsonValue UserDefaults::parseJson(const QByteArray &text)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        return QJsonValue(QJsonValue::Undefined);
    }
    if (document.isArray()) {
        return document.array();
    }
    return document.object();
}

void UserDefaults::setJson(const QString &key, const QJsonValue &value)
{
    QJsonDocument document;
    if (value.isArray()) {
        document = QJsonDocument(value.toArray());
    } else if (value.isObject()) {
        document = QJsonDocument(value.toObject());
    } else {
        remove(key);
        return;
    }
    setValue(key, QString::fromUtf8(document.toJson(QJsonDocument::Compact)));
}

void UserDefaults::setValue(const QString &key, const QVariant &value)
{
    {
        QMutexLocker lock(&m_mutex);
        m_settings.setValue(key, value);
        m_settings.sync();
    }
    Q_EMIT valueChanged(key);
}

void UserDefaults::remove(const QString &key)
{
    {
        QMutexLocker lock(&m_mutex);
        m_settings.remove(key);
        m_settings.sync();
    }
    Q_EMIT valueChanged(key);
}

} // namespace plimsy
