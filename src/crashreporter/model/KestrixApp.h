#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace kestrix {

class KestrixConfiguration;
class KXJSONWriter;

// The application that reported: identity, version and build.
struct KestrixApp
{
    std::optional<QString> binaryArch;
    std::optional<QString> bundleVersion;
    std::optional<QString> codeBundleId;
    std::optional<QString> dsymUuid;
    std::optional<QString> id;
    std::optional<QString> releaseStage;
    std::optional<QString> type;
    std::optional<QString> version;

    static KestrixApp fromJson(const QJsonObject &json);
    // From a crash report (its "system" section) and the configuration of the run that wrote it.
    static KestrixApp fromCrashReport(const QJsonObject &report,
                                      const KestrixConfiguration &config,
                                      const std::optional<QString> &codeBundleId);
    // The configuration's type, versions and release stage win where they are set.
    void setValuesFromConfiguration(const KestrixConfiguration &config);
    QJsonObject toDict() const;
    void writeJson(KXJSONWriter &writer, const char *key = nullptr) const;

protected:
    void writeMembers(KXJSONWriter &writer) const;
    void populateFromCrashReport(const QJsonObject &report,
                                 const KestrixConfiguration &config,
                                 const std::optional<QString> &codeBundleId);
    void readJson(const QJsonObject &json);
};

// The application with its state at the time of the error.
struct KestrixAppWithState : KestrixApp
{
    std::optional<bool> inForeground;
    bool isLaunching = false;
    // Milliseconds; 64 bits, so a run of weeks still fits.
    std::optional<qint64> duration;
    std::optional<qint64> durationInForeground;

    static KestrixAppWithState fromJson(const QJsonObject &json);
    static KestrixAppWithState fromCrashReport(const QJsonObject &report,
                                               const KestrixConfiguration &config,
                                               const std::optional<QString> &codeBundleId);
    QJsonObject toDict() const;
    void writeJson(KXJSONWriter &writer, const char *key = nullptr) const;
};

} // namespace kestrix
