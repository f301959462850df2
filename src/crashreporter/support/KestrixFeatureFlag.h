#pragma once

#include <QJsonArray>
#include <QString>

#include <optional>
#include <vector>

namespace kestrix {

// A feature flag attached to error reports: a name and an optional variant.
struct KestrixFeatureFlag
{
    QString name;
    std::optional<QString> variant;

    // Flags are the same flag when their names are equal; the variant does not count.
    bool operator==(const KestrixFeatureFlag &other) const { return name == other.name; }
};

using KestrixFeatureFlags = std::vector<KestrixFeatureFlag>;

class KXJSONWriter;

// The flags as event JSON: [{"featureFlag": name, "variant": variant when there is one}, ...].
QJsonArray kxFeatureFlagsToJson(const KestrixFeatureFlags &flags);
void kxWriteFeatureFlags(KXJSONWriter &writer, const char *key, const KestrixFeatureFlags &flags);
// Reads that list leniently: non-objects and entries without a string name are skipped, a
// variant that is not a string counts as none.
KestrixFeatureFlags kxFeatureFlagsFromJson(const QJsonValue &json);

// What every feature flag store offers.
class KXFeatureFlagStore
{
public:
    virtual ~KXFeatureFlagStore() = default;

    virtual KestrixFeatureFlags allFlags() const = 0;
    virtual bool isEmpty() const = 0;
    virtual void addFeatureFlag(const QString &name, const std::optional<QString> &variant) = 0;
    virtual void addFeatureFlags(const KestrixFeatureFlags &flags);
    // Clears the named flag; no name clears them all.
    virtual void clear(const std::optional<QString> &name) = 0;
    void clear() { clear(std::nullopt); }
};

} // namespace kestrix
