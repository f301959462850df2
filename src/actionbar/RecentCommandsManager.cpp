#include "actionbar/RecentCommandsManager.h"

#include "platform/Clock.h"
#include "platform/JsonFields.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace plimsy {

namespace {

// Stored times count seconds from the first instant of 2001 (UTC), with fraction.
const QDateTime &referenceDate()
{
    static const QDateTime s_reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return s_reference;
}

std::optional<QDateTime> dateFromJson(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    // Ten thousand years either way: beyond that the milliseconds no longer fit in 64 bits.
    constexpr double maxSeconds = 1e4 * 366 * 24 * 3600;
    const double seconds = value.toDouble();
    if (!value.isDouble() || !(std::abs(seconds) <= maxSeconds)) {
        return std::nullopt;
    }
    return referenceDate().addMSecs(qRound64(seconds * 1000.0));
}

double secondsSinceReference(const QDateTime &date)
{
    return double(referenceDate().msecsTo(date)) / 1000.0;
}

template <typename Entry>
std::optional<Entry> entryFromJson(const QJsonObject &object, const char *nameKey, QString Entry::*name)
{
    const auto text = JsonFields::string(object, nameKey);
    const auto timestamp = dateFromJson(object, "timestamp");
    const auto count = JsonFields::integer(object, "count");
    if (!text || !timestamp || !count) {
        return std::nullopt;
    }
    Entry entry;
    entry.*name = *text;
    entry.timestamp = *timestamp;
    entry.count = *count;
    return entry;
}

// Moves the entry to the newest position (or adds it), keeps the list newest first and within `limit`.
template <typename Entry>
void record(QList<Entry> &list, QString Entry::*name, const QString &value, const QDateTime &now, qsizetype limit)
{
    const auto found = std::find_if(list.begin(), list.end(), [&](const Entry &e) { return e.*name == value; });
    if (found != list.end()) {
        found->timestamp = now;
        found->count += 1;
    } else {
        Entry entry;
        entry.*name = value;
        entry.timestamp = now;
        entry.count = 1;
        list.prepend(entry);
    }
    std::stable_sort(
        list.begin(), list.end(), [](const Entry &a, const Entry &b) { return a.timestamp > b.timestamp; });
    if (list.size() > limit) {
        list.resize(limit);
    }
}

template <typename Entry>
std::optional<double>
minutesSinceUse(const QList<Entry> &list, QString Entry::*name, const QString &value, const QDateTime &now)
{
    const auto found = std::find_if(list.begin(), list.end(), [&](const Entry &e) { return e.*name == value; });
    if (found == list.end()) {
        return std::nullopt;
    }
    return double(found->timestamp.msecsTo(now)) / 60'000.0;
}

// Under `minutes` minutes since the last use scores `score`.
struct Step
{
    double minutes;
    int score;
};

template <std::size_t N> int scoreFor(double minutes, const Step (&steps)[N], int older)
{
    for (const Step &step : steps) {
        if (minutes < step.minutes) {
            return step.score;
        }
    }
    return older;
}

} // namespace

std::optional<RecentCommand> RecentCommand::fromJson(const QJsonObject &object)
{
    return entryFromJson(object, "commandId", &RecentCommand::commandId);
}

QJsonObject RecentCommand::toJson() const
{
    return {{QStringLiteral("commandId"), commandId},
            {QStringLiteral("timestamp"), secondsSinceReference(timestamp)},
            {QStringLiteral("count"), count}};
}

std::optional<RecentEntity> RecentEntity::fromJson(const QJsonObject &object)
{
    return entryFromJson(object, "entityName", &RecentEntity::entityName);
}

QJsonObject RecentEntity::toJson() const
{
    return {{QStringLiteral("entityName"), entityName},
            {QStringLiteral("timestamp"), secondsSinceReference(timestamp)},
            {QStringLiteral("count"), count}};
}

RecentCommandsManager::RecentCommandsManager(UserDefaults &defaults, const Clock &clock)
    : m_defaults(defaults)
    , m_clock(clock)
{
    load();
}

RecentCommandsManager &RecentCommandsManager::shared()
{
    static auto *s_manager = new RecentCommandsManager(UserDefaults::standard(), Clock::system());
    return *s_manager;
}

QDateTime RecentCommandsManager::now() const
{
    return m_clock.now();
}

void RecentCommandsManager::recordCommand(const QString &commandId)
{
    record(m_recentCommands, &RecentCommand::commandId, commandId, now(), maxRecentCommands);
    save();
}

void RecentCommandsManager::recordEntity(const QString &entityName)
{
    if (entityName.isEmpty()) {
        return;
    }
    record(m_recentEntities, &RecentEntity::entityName, entityName, now(), maxRecentEntities);
    save();
}

int RecentCommandsManager::commandRecencyScore(const QString &commandId, const QDateTime &now) const
{
    static constexpr Step Steps[] = {{30, 100}, {120, 50}, {1440, 25}};
    const auto minutes = minutesSinceUse(m_recentCommands, &RecentCommand::commandId, commandId, now);
    return minutes ? scoreFor(*minutes, Steps, 10) : 0;
}

int RecentCommandsManager::entityRecencyScore(const QString &entityName, const QDateTime &now) const
{
    static constexpr Step Steps[] = {{15, 80}, {60, 50}, {240, 30}, {1440, 15}};
    if (entityName.isEmpty()) {
        return 0;
    }
    const auto minutes = minutesSinceUse(m_recentEntities, &RecentEntity::entityName, entityName, now);
    return minutes ? scoreFor(*minutes, Steps, 5) : 0;
}

void RecentCommandsManager::load()
{
    // A bad element drops only itself: losing the whole list would let the next record overwrite it.
    const QJsonValue commands = m_defaults.json(userDefaultsKey);
    if (commands.isArray()) {
        m_recentCommands = JsonFields::decodeEach<RecentCommand>(commands, &RecentCommand::fromJson);
    }
    const QJsonValue entities = m_defaults.json(entityUserDefaultsKey);
    if (entities.isArray()) {
        m_recentEntities = JsonFields::decodeEach<RecentEntity>(entities, &RecentEntity::fromJson);
    }
}

void RecentCommandsManager::save()
{
    m_defaults.setJson(userDefaultsKey, JsonFields::encodeEach(m_recentCommands));
    m_defaults.setJson(entityUserDefaultsKey, JsonFields::encodeEach(m_recentEntities));
}

} // namespace plimsy
