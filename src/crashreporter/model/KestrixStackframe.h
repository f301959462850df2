#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrix {

class KXJSONWriter;

// A crash report's "binary_images" by load address, read once for all its frames.
class KXBinaryImageIndex
{
public:
    struct Image
    {
        std::optional<QString> name;
        std::optional<QString> uuid;
        std::optional<uint64_t> vmAddress;
    };

    explicit KXBinaryImageIndex(const QJsonArray &binaryImages);
    const Image *find(uint64_t loadAddress) const;
    qsizetype count() const { return m_count; }

private:
    QHash<uint64_t, Image> m_images;
    qsizetype m_count = 0;
};

// One frame of a stack trace.
struct KestrixStackframe
{
    bool isPc = false; // the program counter of a crashed thread
    bool isLr = false; // the link register's value
    bool needsSymbolication = false;
    std::optional<QString> method;
    std::optional<QString> machoFile;
    std::optional<QString> machoUuid;
    std::optional<uint64_t> frameAddress;
    std::optional<uint64_t> machoVmAddress;
    std::optional<uint64_t> symbolAddress;
    std::optional<uint64_t> machoLoadAddress;
    std::optional<QString> type;
    std::optional<QString> file;
    QJsonValue lineNumber = QJsonValue::Undefined;
    QJsonValue columnNumber = QJsonValue::Undefined;
    std::optional<QString> codeIdentifier;
    QJsonValue inProject = QJsonValue::Undefined;

    // Addresses are hexadecimal strings, with or without "0x".
    static KestrixStackframe fromJson(const QJsonObject &json);
    QJsonObject toDictionary() const;
    void writeJson(KXJSONWriter &writer, const char *key = nullptr) const;
    // A crash report's backtrace entry, placed with the report's images; none for the placeholder
    // address 1, or for a program-counter or link-register frame outside every image.
    static std::optional<KestrixStackframe> fromCrashReport(const QJsonObject &entry, const QJsonArray &binaryImages);
    static std::optional<KestrixStackframe> fromCrashReport(const QJsonObject &entry, const KXBinaryImageIndex &images);
    // A live address, placed in the loaded image that holds it; symbolicated later.
    static KestrixStackframe withAddress(uint64_t address);
    // One frame per address, skipping the placeholder 1.
    static std::vector<KestrixStackframe> fromBacktrace(const uintptr_t *addresses, size_t count);

    // Looks the symbol up once: a return address at the call before it, a program counter as it is.
    void symbolicateIfNeeded();
};

// Frames of a crash report or of stored JSON.
struct KestrixStacktrace
{
    static constexpr size_t MaxCrashReportFrames = 200;

    static std::vector<KestrixStackframe> fromJson(const QJsonArray &json);
    // At most the first 200 usable entries.
    static std::vector<KestrixStackframe> fromCrashReport(const QJsonArray &entries, const KXBinaryImageIndex &images);
    static void write(KXJSONWriter &writer, const char *key, const std::vector<KestrixStackframe> &frames);
};

} // namespace kestrix
