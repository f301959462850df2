#pragma once

#include <QJsonValue>
#include <QMutex>
#include <QObject>
#include <QSettings>
#include <QVariantMap>

namespace plimsy {

// Typed settings over an INI file, with an in-memory layer of registered defaults that is rebuilt at
// every launch and never written. Every write is synced to disk at once. Safe to call from any thread;
// `valueChanged` is emitted on the thread that wrote.
class UserDefaults : public QObject
{
    Q_OBJECT

public:
    // The application's own defaults at $XDG_CONFIG_HOME/com.tindrel.Plimsy/Plimsy.conf.
    static UserDefaults &standard();

    // The file and the folder it sits in (which holds nothing else) are made the owner's alone, created so
    // or tightened when looser: they hold the user's e-mail, names and sign-in state.
    explicit UserDefaults(const QString &filePath, QObject *parent = nullptr);

    QString filePath() const;

    // Merges into the registered layer; stored values still win.
    void registerDefaults(const QVariantMap &defaults);

    // The stored value, else the registered default, else an invalid QVariant.
    QVariant object(const QString &key) const;
    bool contains(const QString &key) const;

    bool boolValue(const QString &key) const;
    qint64 integer(const QString &key) const;
    double doubleValue(const QString &key) const;
    QString string(const QString &key) const;

    // Record lists are kept as compact JSON text; an absent or unparsable value reads as undefined.
    QJsonValue json(const QString &key) const;
    // Such text as a JSON array or object; undefined when it is neither.
    static QJsonValue parseJson(const QByteArray &text);
    void setJson(const QString &key, const QJsonValue &value);

    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);

Q_SIGNALS:
    void valueChanged(const QString &key);

private:
    mutable QMutex m_mutex;
    QSettings m_settings;
    QVariantMap m_registered;

    Q_DISABLE_COPY_MOVE(UserDefaults)
};

} // namespace plimsy
