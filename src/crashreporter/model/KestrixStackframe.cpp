#include "crashreporter/model/KestrixStackframe.h"

#include "crashreporter/core/KXBinaryImages.h"
#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/support/KXJSONWriter.h"
#include "crashreporter/support/KXLogger.h"

#include <QHash>
#include <QUuid>

#include <mutex>

namespace kestrix {

namespace {

std::optional<uint64_t> readHex(const QJsonObject &json, const char *key)
{
    const auto text = kxString(json, key);
    if (!text) {
        return std::nullopt;
    }
    QString digits = *text;
    if (digits.startsWith(QLatin1String("0x")) || digits.startsWith(QLatin1String("0X"))) {
        digits = digits.mid(2);
    }
    bool ok = false;
    const uint64_t value = digits.toULongLong(&ok, 16);
    return ok ? std::optional(value) : std::nullopt;
}

std::optional<uint64_t> readAddress(const QJsonObject &json, const char *key)
{
    const auto value = kxInteger(json, key);
    return value ? std::optional(static_cast<uint64_t>(*value)) : std::nullopt;
}

void writeHex(KXJSONWriter &writer, const char *key, const std::optional<uint64_t> &value)
{
    if (value) {
        writer.hex(key, *value);
    }
}

void writeIfDefined(KXJSONWriter &writer, const char *key, const QJsonValue &value)
{
    if (!value.isUndefined() && !value.isNull()) {
        writer.value(key, value);
    }
}

QJsonValue numberOrUndefined(const QJsonObject &json, const char *key)
{
    const QJsonValue value = json.value(QLatin1String(key));
    return value.isDouble() || value.isBool() ? value : QJsonValue(QJsonValue::Undefined);
}

} // namespace

KestrixStackframe KestrixStackframe::fromJson(const QJsonObject &json)
{
    KestrixStackframe frame;
    frame.machoFile = kxString(json, "machoFile");
    frame.method = kxString(json, "method");
    frame.machoUuid = kxString(json, "machoUUID");
    frame.type = kxString(json, "type");
    frame.codeIdentifier = kxString(json, "codeIdentifier");
    frame.file = kxString(json, "file");
    frame.isPc = kxBool(json, "isPC").value_or(false);
    frame.isLr = kxBool(json, "isLR").value_or(false);
    frame.columnNumber = numberOrUndefined(json, "columnNumber");
    frame.inProject = numberOrUndefined(json, "inProject");
    frame.lineNumber = numberOrUndefined(json, "lineNumber");
    frame.machoVmAddress = readHex(json, "machoVMAddress");
    frame.frameAddress = readHex(json, "frameAddress");
    frame.symbolAddress = readHex(json, "symbolAddress");
    frame.machoLoadAddress = readHex(json, "machoLoadAddress");
    return frame;
}

QJsonObject KestrixStackframe::toDictionary() const
{
    return kxJsonObject(*this);
}

void KestrixStackframe::writeJson(KXJSONWriter &writer, const char *key) const
{
    writer.beginObject(key);
    writer.optional("machoFile", machoFile);
    writer.optional("method", method);
    writer.optional("machoUUID", machoUuid);
    writeHex(writer, "frameAddress", frameAddress);
    writeHex(writer, "symbolAddress", symbolAddress);
    writeHex(writer, "machoLoadAddress", machoLoadAddress);
    writeHex(writer, "machoVMAddress", machoVmAddress);
    if (isPc) {
        writer.value("isPC", true);
    }
    if (isLr) {
        writer.value("isLR", true);
    }
    writer.optional("type", type);
    writer.optional("codeIdentifier", codeIdentifier);
    writeIfDefined(writer, "columnNumber", columnNumber);
    writer.optional("file", file);
    writeIfDefined(writer, "inProject", inProject);
    writeIfDefined(writer, "lineNumber", lineNumber);
    writer.endObject();
}

KXBinaryImageIndex::KXBinaryImageIndex(const QJsonArray &binaryImages)
    : m_count(binaryImages.size())
{
    for (const QJsonValue &value : binaryImages) {
        const QJsonObject image = value.toObject();
        const auto address = readAddress(image, "image_addr");
        if (address && !m_images.contains(*address)) {
            m_images.insert(*address,
                            {kxString(image, "name"), kxString(image, "uuid"), readAddress(image, "image_vmaddr")});
        }
    }
}

const KXBinaryImageIndex::Image *KXBinaryImageIndex::find(uint64_t loadAddress) const
{
    const auto found = m_images.constFind(loadAddress);
    return found != m_images.constEnd() ? &*found : nullptr;
}

std::optional<KestrixStackframe> KestrixStackframe::fromCrashReport(const QJsonObject &entry,
                                                                    const QJsonArray &binaryImages)
{
    return fromCrashReport(entry, KXBinaryImageIndex(binaryImages));
}

std::optional<KestrixStackframe> KestrixStackframe::fromCrashReport(const QJsonObject &entry,
                                                                    const KXBinaryImageIndex &images)
{
    const auto instruction = readAddress(entry, "instruction_addr");
    if (instruction == 1u) {
        return std::nullopt;
    }
    KestrixStackframe frame;
    frame.frameAddress = instruction;
    frame.machoFile = kxString(entry, "object_name");
    frame.machoLoadAddress = readAddress(entry, "object_addr");
    frame.method = kxString(entry, "symbol_name");
    frame.symbolAddress = readAddress(entry, "symbol_addr");
    frame.isPc = kxBool(entry, "isPC").value_or(false);
    frame.isLr = kxBool(entry, "isLR").value_or(false);

    if (const KXBinaryImageIndex::Image *image =
            frame.machoLoadAddress ? images.find(*frame.machoLoadAddress) : nullptr) {
        frame.machoFile = image->name;
        frame.machoUuid = image->uuid;
        frame.machoVmAddress = image->vmAddress;
        return frame;
    }
    if (frame.isPc || frame.isLr) {
        return std::nullopt;
    }
    if (images.count() >= 2) {
        kxLogWarning(QStringLiteral("KestrixStackframe: no image found for address 0x%1")
                         .arg(frame.machoLoadAddress.value_or(0), 0, 16));
    }
    return frame;
}

namespace {

// What a frame takes from its image, made once per image: a backtrace passes the same few many times.
struct ImageFields
{
    QString name;
    std::optional<QString> uuid;
};

// Image records are never freed, so their addresses identify them for the life of the process.
ImageFields fieldsOf(const KXBinaryImage *image)
{
    static std::mutex mutex;
    static QHash<const KXBinaryImage *, ImageFields> known;
    std::lock_guard lock(mutex);
    if (const auto found = known.constFind(image); found != known.constEnd()) {
        return *found;
    }
    ImageFields fields{QString::fromUtf8(image->name), std::nullopt};
    if (image->uuid != nullptr) {
        const QByteArray bytes(reinterpret_cast<const char *>(image->uuid), 16);
        fields.uuid = QUuid::fromRfc4122(bytes).toString(QUuid::WithoutBraces).toUpper();
    }
    known.insert(image, fields);
    return fields;
}

} // namespace

KestrixStackframe KestrixStackframe::withAddress(uint64_t address)
{
    KestrixStackframe frame;
    frame.frameAddress = address;
    frame.needsSymbolication = true;
    if (const KXBinaryImage *image = kximagesForAddress(static_cast<uintptr_t>(address))) {
        ImageFields fields = fieldsOf(image);
        frame.machoFile = std::move(fields.name);
        frame.machoLoadAddress = image->address;
        frame.machoVmAddress = image->vmAddress;
        frame.machoUuid = std::move(fields.uuid);
    }
    return frame;
}

std::vector<KestrixStackframe> KestrixStackframe::fromBacktrace(const uintptr_t *addresses, size_t count)
{
    std::vector<KestrixStackframe> frames;
    frames.reserve(count);
    for (size_t i = 0; i < count; i++) {
        if (addresses[i] != 1) {
            frames.push_back(withAddress(addresses[i]));
        }
    }
    return frames;
}

void KestrixStackframe::symbolicateIfNeeded()
{
    if (!needsSymbolication || !frameAddress) {
        return;
    }
    needsSymbolication = false;
    // A return address points after its call; x86_64 instructions have no alignment to strip.
    const uint64_t lookup = isPc ? *frameAddress : *frameAddress - 1;
    KXSymbolInfo info = {};
    if (!kximagesLookup(static_cast<uintptr_t>(lookup), &info)) {
        return;
    }
    if (info.symbolAddress != 0) {
        symbolAddress = info.symbolAddress;
    }
    if (info.symbolName != nullptr) {
        method = QString::fromUtf8(info.symbolName);
    }
}

std::vector<KestrixStackframe> KestrixStacktrace::fromJson(const QJsonArray &json)
{
    std::vector<KestrixStackframe> frames;
    for (const QJsonValue &value : json) {
        if (value.isObject()) {
            frames.push_back(KestrixStackframe::fromJson(value.toObject()));
        }
    }
    return frames;
}

std::vector<KestrixStackframe> KestrixStacktrace::fromCrashReport(const QJsonArray &entries,
                                                                  const KXBinaryImageIndex &images)
{
    std::vector<KestrixStackframe> frames;
    for (const QJsonValue &entry : entries) {
        if (frames.size() >= MaxCrashReportFrames) {
            break;
        }
        if (auto frame = KestrixStackframe::fromCrashReport(entry.toObject(), images)) {
            frames.push_back(std::move(*frame));
        }
    }
    return frames;
}

void KestrixStacktrace::write(KXJSONWriter &writer, const char *key, const std::vector<KestrixStackframe> &frames)
{
    writer.beginArray(key);
    for (const KestrixStackframe &frame : frames) {
        frame.writeJson(writer);
    }
    writer.endArray();
}

} // namespace kestrix
