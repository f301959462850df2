#pragma once

#include "crashreporter/core/KXCrashReportWriter.h"
#include "crashreporter/model/KestrixBreadcrumb.h"
#include "crashreporter/model/KestrixConfiguration.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kestrix {

// The trail of recent breadcrumbs: a bounded list that the crash-time writer reads without locks,
// mirrored as one numbered file per breadcrumb so that the next launch can read them back.
class KestrixBreadcrumbs
{
public:
    // `breadcrumbsPath` is the storage layout's breadcrumbs directory.
    KestrixBreadcrumbs(const KestrixConfiguration &config, const QString &breadcrumbsPath);

    // Keeps a valid breadcrumb that every on-breadcrumb callback lets through.
    void addBreadcrumb(KestrixBreadcrumb breadcrumb);
    void addBreadcrumbWithData(const QByteArray &json, bool writeToDisk);
    // Oldest first.
    std::vector<KestrixBreadcrumb> breadcrumbs() const;
    std::vector<KestrixBreadcrumb> breadcrumbsBeforeDate(const QDateTime &date) const;
    // Empties the list and, on the file-system queue, the directory; done at every start.
    void removeAllBreadcrumbs();
    // The previous run's breadcrumbs, from the files it left (read before removeAllBreadcrumbs()).
    std::vector<KestrixBreadcrumb> cachedBreadcrumbs() const;

    bool shouldSendBreadcrumb(KestrixBreadcrumb &breadcrumb) const;
    // Files are kept only when the next launch may need them: to report an out-of-memory or
    // thermal kill.
    bool shouldWriteToDisk() const;
    static std::optional<QByteArray> dataForBreadcrumb(const KestrixBreadcrumb &breadcrumb);
    QString pathForFileNumber(uint32_t number) const;

    // Writes the array "breadcrumbs" of the process's list, oldest first. Async-signal-safe.
    static void writeCrashTime(const KXCrashReportWriter *writer);

private:
    struct State;

    std::shared_ptr<State> m_state;
    std::shared_ptr<KXCallbackList<KestrixOnBreadcrumb>> m_onBreadcrumb;
    bool m_writeToDisk;
};

} // namespace kestrix
