#include "crashreporter/core/KXCrashState.h"

#include "crashreporter/core/KXBufferedWriter.h"
#include "crashreporter/core/KXJSONEncoder.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <initializer_list>

namespace kestrix {

namespace {

char s_path[PATH_MAX];
char s_temporaryPath[PATH_MAX + 8];

// Runs at crash time, so no formatting: the pieces are written one after another.
void logLine(const char *first, const char *second, const char *third, const char *fourth = "")
{
    for (const char *piece : {"[Kestrix] [ERROR] ", first, second, third, fourth, "\n"}) {
        kxfileWriteFully(STDERR_FILENO, piece, strlen(piece));
    }
}

} // namespace

uint64_t kxstateNow()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000ULL + static_cast<uint64_t>(now.tv_nsec);
}

double kxstateSecondsBetween(uint64_t earlier, uint64_t later)
{
    return later > earlier ? static_cast<double>(later - earlier) * 1e-9 : 0;
}

bool kxstateInitialize(KXCrashState *state, const char *path, bool crashedLastLaunch, bool isInForeground)
{
    memset(state, 0, sizeof(*state));
    if (strlen(path) >= sizeof(s_path)) {
        return false;
    }
    strcpy(s_path, path);
    snprintf(s_temporaryPath, sizeof(s_temporaryPath), "%s.tmp", path);
    state->crashedLastLaunch = crashedLastLaunch;
    state->appLaunchTime = kxstateNow();
    state->appStateTransitionTime = state->appLaunchTime;
    state->applicationIsInForeground = isInForeground;
    return kxstateWrite(state);
}

bool kxstateWrite(const KXCrashState *state)
{
    if (s_path[0] == 0) {
        return false;
    }
    const int fd = open(s_temporaryPath, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        const char *reason = strerrordesc_np(errno);
        logLine("Could not open file ", s_temporaryPath, " for writing: ", reason != nullptr ? reason : "");
        return false;
    }
    char buffer[256];
    KXBufferedWriter writer;
    writer.init(fd, buffer, sizeof(buffer));
    KXJSONEncoder encoder;
    encoder.beginEncoding(false, &KXBufferedWriter::addJSONData, &writer);
    int result = encoder.beginObject(nullptr);
    if (result == KXJSONOk) {
        result = encoder.addInteger("version", 1);
    }
    if (result == KXJSONOk) {
        result = encoder.addBool("crashedLastLaunch", state->crashedThisLaunch);
    }
    if (result == KXJSONOk) {
        result = encoder.endEncoding();
    }
    const bool flushed = writer.flush();
    const bool closed = close(fd) == 0;
    if (result != KXJSONOk || !flushed || !closed) {
        logLine(s_path, ": ", kxjsonStringForError(result != KXJSONOk ? result : KXJSONErrorCannotAddData));
        unlink(s_temporaryPath);
        return false;
    }
    return rename(s_temporaryPath, s_path) == 0;
}

void kxstateNotifyForeground(KXCrashState *state, bool isInForeground)
{
    if (state->applicationIsInForeground == isInForeground) {
        return;
    }
    const uint64_t now = kxstateNow();
    const double elapsed = kxstateSecondsBetween(state->appStateTransitionTime, now);
    if (isInForeground) {
        state->backgroundDurationSinceLaunch += elapsed;
    } else {
        state->activeDurationSinceLaunch += elapsed;
    }
    state->applicationIsInForeground = isInForeground;
    state->appStateTransitionTime = now;
}

void kxstateUpdateDurations(KXCrashState *state)
{
    const uint64_t now = kxstateNow();
    const uint64_t since = state->appStateTransitionTime != 0 ? state->appStateTransitionTime : state->appLaunchTime;
    const double elapsed = kxstateSecondsBetween(since, now);
    if (state->applicationIsInForeground) {
        state->activeDurationSinceLaunch += elapsed;
    } else {
        state->backgroundDurationSinceLaunch += elapsed;
    }
    state->appStateTransitionTime = now;
}

KXCrashState kxstateSnapshot(const KXCrashState *state)
{
    // Field by field: the GUI thread may be recording a transition meanwhile.
    KXCrashState copy;
    __atomic_load(&state->activeDurationSinceLaunch, &copy.activeDurationSinceLaunch, __ATOMIC_RELAXED);
    __atomic_load(&state->backgroundDurationSinceLaunch, &copy.backgroundDurationSinceLaunch, __ATOMIC_RELAXED);
    copy.crashedLastLaunch = __atomic_load_n(&state->crashedLastLaunch, __ATOMIC_RELAXED);
    copy.crashedThisLaunch = __atomic_load_n(&state->crashedThisLaunch, __ATOMIC_RELAXED);
    copy.appLaunchTime = __atomic_load_n(&state->appLaunchTime, __ATOMIC_RELAXED);
    copy.appStateTransitionTime = __atomic_load_n(&state->appStateTransitionTime, __ATOMIC_RELAXED);
    copy.applicationIsInForeground = __atomic_load_n(&state->applicationIsInForeground, __ATOMIC_RELAXED);
    if (copy.appLaunchTime != 0) {
        kxstateUpdateDurations(&copy);
    }
    return copy;
}

void kxstateNotifyCrash(KXCrashState *state)
{
    kxstateUpdateDurations(state);
    state->crashedThisLaunch = true;
    kxstateWrite(state);
}

} // namespace kestrix
