#pragma once

#include "crashreporter/core/KXRunContextData.h"

#include <QString>

#include <optional>

namespace kestrix {

// The run context: a small memory-mapped file that always holds the state of this run, so that
// the next launch can tell how it ended even when no crash report was written.
class KXRunContext
{
public:
    // Called once by the client at start. Keeps the previous run's context, resets the file and
    // keeps it current (memory figures every half second, application state from notifications).
    static void start(const QString &path);

    // The previous run's context, when its file was exactly the right size and version.
    static const KXRunContextData *previous();

    // The context a file held; none unless it has the exact size and the current version.
    static std::optional<KXRunContextData> read(const QString &path);

    // Whether the previous run ended without the application knowing (killed while in use).
    static bool lastRunEndedUnexpectedly();
    static bool
    endedUnexpectedly(const KXRunContextData *previous, const KXRunContextData &current, bool isAppExtension);

    static QString thermalStateName(uint64_t state);
    // Seconds since 1 January 2001.
    static double absoluteTimeNow();
    static void updateTimestamp();
};

} // namespace kestrix
