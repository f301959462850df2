#include "crashreporter/support/KX_CrashCore.h"

#include "crashreporter/core/KXBinaryImages.h"
#include "crashreporter/core/KXCrashCoreContext.h"
#include "crashreporter/core/KXRunContextData.h"
#include "crashreporter/support/KXFilesystem.h"
#include "crashreporter/support/KXJSONSerialization.h"
#include "crashreporter/support/KXLogger.h"
#include "crashreporter/support/KX_SystemInfo.h"
#include "platform/BundleInfo.h"
#include "platform/NotificationCenter.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QUuid>

#include <errno.h>

#include <cstring>

namespace kestrix {

namespace {

void copyText(char *destination, size_t size, const QByteArray &text)
{
    const size_t length = std::min(static_cast<size_t>(text.size()), size - 1);
    memcpy(destination, text.constData(), length);
    destination[length] = 0;
}

QString processName()
{
    return QString::fromLocal8Bit(program_invocation_short_name);
}

} // namespace

KX_CrashCore &KX_CrashCore::sharedInstance()
{
    static KX_CrashCore instance;
    return instance;
}

KX_CrashCore::KX_CrashCore()
{
    kxcoreContext()->crashTypes = KXCrashTypeAll;
}

uint32_t KX_CrashCore::install(uint32_t crashTypes, const QString &directory)
{
    KXCrashCoreContext *context = kxcoreContext();
    if (m_isInstalled) {
        return context->crashTypes;
    }
    m_directory = directory;
    const QString reportID = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QDir dir(directory);
    const QString crashReportPath = dir.filePath(QStringLiteral("CrashReport-%1.json").arg(reportID));
    const QString recrashReportPath = dir.filePath(QStringLiteral("RecrashReport-%1.json").arg(reportID));
    const QString bundleName = QString::fromLatin1(plimsy::BundleInfo::Name);
    m_crashStatePath =
        dir.filePath(QStringLiteral("%1-CrashState.json").arg(bundleName.isEmpty() ? processName() : bundleName));
    context->crashTypes = crashTypes;

    if (const auto error = KXFilesystem::ensurePathExists(directory)) {
        kxLogError(*error);
    }
    kximagesRefresh();
    copyText(context->reportID, sizeof(context->reportID), reportID.toLatin1());
    copyText(context->reportDirectory, sizeof(context->reportDirectory), QFile::encodeName(directory));
    copyText(context->crashReportPath, sizeof(context->crashReportPath), QFile::encodeName(crashReportPath));
    copyText(context->recrashReportPath, sizeof(context->recrashReportPath), QFile::encodeName(recrashReportPath));
    loadAndStartCrashState();
    context->crashTypes = kxsentryInstall(&context->sentry, crashTypes, kxcoreOnCrash, context);
    kximagesIndexInBackground(); // once the sentries are in, so its thread starts with its signal stack

    QJsonObject info = KX_SystemInfo::systemInfo();
    bool jailbroken = false;
    for (const KXBinaryImage *image : kximagesList()) {
        jailbroken = jailbroken || strstr(image->name, "MobileSubstrate") != nullptr;
    }
    info.insert(QStringLiteral("jailbroken"), jailbroken);
    const QByteArray json = QJsonDocument(info).toJson(QJsonDocument::Compact);
    if (json.isEmpty()) {
        kxLogError(QStringLiteral("Could not serialize system info. Crash reports will be missing vital data."));
    } else {
        context->systemInfoJSON = strdup(json.constData());
    }
    copyText(context->processName, sizeof(context->processName), processName().toUtf8());
    m_isInstalled = true;
    observeApplicationState();
    return context->crashTypes;
}

void KX_CrashCore::loadAndStartCrashState()
{
    bool crashedLastLaunch = false;
    if (m_crashStatePath.isEmpty()) {
        kxLogError(QStringLiteral("Invalid path: %1").arg(m_crashStatePath));
    } else if (QFile::exists(m_crashStatePath)) {
        QString error;
        const auto object = KXJSONSerialization::readObjectFromFile(m_crashStatePath, &error);
        if (!object) {
            kxLogError(QStringLiteral("%1: Could not load file: %2").arg(m_crashStatePath, error));
        } else if (object->value(QStringLiteral("version")).toInt(-1) != 1) {
            kxLogError(QStringLiteral("Version mismatch"));
        } else {
            crashedLastLaunch = object->value(QStringLiteral("crashedLastLaunch")).toBool();
        }
    }
    const KXRunContextData *run = kxrunContext();
    kxstateInitialize(&kxcoreContext()->state,
                      QFile::encodeName(m_crashStatePath).constData(),
                      crashedLastLaunch,
                      run != nullptr && run->isForeground);
}

void KX_CrashCore::observeApplicationState()
{
    m_observerContext = std::make_unique<QObject>();
    auto &center = plimsy::NotificationCenter::defaultCenter();
    center.addObserver(QStringLiteral("NSApplicationDidResignActiveNotification"),
                       m_observerContext.get(),
                       [this](const plimsy::Notification &) { applicationDidEnterBackground(); });
    center.addObserver(QStringLiteral("NSApplicationDidBecomeActiveNotification"),
                       m_observerContext.get(),
                       [this](const plimsy::Notification &) { applicationWillEnterForeground(); });
}

uint32_t KX_CrashCore::crashTypes() const
{
    return kxcoreContext()->crashTypes;
}

void KX_CrashCore::setCrashTypes(uint32_t crashTypes)
{
    KXCrashCoreContext *context = kxcoreContext();
    if (!m_isInstalled) {
        context->crashTypes = crashTypes;
        return;
    }
    kxsentryUninstall(context->crashTypes & ~crashTypes);
    context->crashTypes = kxsentryInstall(&context->sentry, crashTypes, kxcoreOnCrash, context);
}

void KX_CrashCore::setUserSectionCallback(KXCrashUserSectionCallback callback)
{
    kxcoreContext()->userSectionCallback = callback;
}

void KX_CrashCore::setThreadTracingEnabled(bool enabled)
{
    kxcoreContext()->sentry.threadTracingEnabled = enabled;
}

void KX_CrashCore::setCrashTimeDeliveryCallback(void (*callback)())
{
    kxcoreContext()->sentry.crashTimeDeliveryCallback = callback;
}

const KXCrashState &KX_CrashCore::crashState() const
{
    return kxcoreContext()->state;
}

void KX_CrashCore::applicationDidBecomeActive()
{
    kxstateNotifyForeground(&kxcoreContext()->state, true);
}

void KX_CrashCore::applicationWillResignActive()
{
    kxstateNotifyForeground(&kxcoreContext()->state, true);
}

void KX_CrashCore::applicationWillEnterForeground()
{
    kxstateNotifyForeground(&kxcoreContext()->state, true);
}

void KX_CrashCore::applicationDidEnterBackground()
{
    kxstateNotifyForeground(&kxcoreContext()->state, false);
}

QString KX_CrashCore::reportID() const
{
    return QString::fromLatin1(kxcoreContext()->reportID);
}

QString KX_CrashCore::crashReportPath() const
{
    return QFile::decodeName(kxcoreContext()->crashReportPath);
}

QString KX_CrashCore::recrashReportPath() const
{
    return QFile::decodeName(kxcoreContext()->recrashReportPath);
}

QString KX_CrashCore::crashStatePath() const
{
    return m_crashStatePath;
}

} // namespace kestrix
