#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace plimsy {

class Clock;
class UserDefaults;

struct RecentCommand
{
    QString commandId;
    QDateTime timestamp;
    qint64 count = 1;

    bool operator==(const RecentCommand &) const = default;
    // None when a key is missing or of another type.
    static std::optional<RecentCommand> fromJson(const QJsonObject &object);
    QJsonObject toJson() const;
};

struct RecentEntity
{
    QString entityName;
    QDateTime timestamp;
    qint64 count = 1;

    bool operator==(const RecentEntity &) const = default;
    static std::optional<RecentEntity> fromJson(const QJsonObject &object);
    QJsonObject toJson() const;
};

// Which palette commands and entities were used lately, kept in the defaults, turned into recency bonuses.
// GUI thread only.
class RecentCommandsManager
{
public:
    // Reads both stored lists.
    RecentCommandsManager(UserDefaults &defaults, const Clock &clock);

    // Over the standard defaults and the system clock.
    static RecentCommandsManager &shared();

    const QString userDefaultsKey = QStringLiteral("actionBarRecentCommands");
    const QString entityUserDefaultsKey = QStringLiteral("actionBarRecentEntities");
    static constexpr qsizetype maxRecentCommands = 15;
    static constexpr qsizetype maxRecentEntities = 10;

    void recordCommand(const QString &commandId);
    // An empty name changes nothing.
    void recordEntity(const QString &entityName);

    // 100, 50, 25, 10, or 0 when never run; `now` lets a search score every item against one instant.
    int commandRecencyScore(const QString &commandId) const { return commandRecencyScore(commandId, now()); }
    int commandRecencyScore(const QString &commandId, const QDateTime &now) const;
    // 80, 50, 30, 15, 5, or 0 when never used or empty.
    int entityRecencyScore(const QString &entityName) const { return entityRecencyScore(entityName, now()); }
    int entityRecencyScore(const QString &entityName, const QDateTime &now) const;

    QDateTime now() const;
    const QList<RecentCommand> &recentCommands() const { return m_recentCommands; }
    const QList<RecentEntity> &recentEntities() const { return m_recentEntities; }

    void load();
    void save();

private:
    UserDefaults &m_defaults;
    const Clock &m_clock;
    QList<RecentCommand> m_recentCommands;
    QList<RecentEntity> m_recentEntities;

    Q_DISABLE_COPY_MOVE(RecentCommandsManager)
};

} // namespace plimsy
