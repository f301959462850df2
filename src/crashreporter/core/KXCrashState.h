#pragma once

#include <cstdint>

namespace kestrix {

// How the application spent this run, and whether the last one crashed.
struct KXCrashState
{
    double activeDurationSinceLaunch;
    double backgroundDurationSinceLaunch;
    bool crashedLastLaunch;
    bool crashedThisLaunch;
    uint64_t appLaunchTime;          // monotonic nanoseconds
    uint64_t appStateTransitionTime; // monotonic nanoseconds
    bool applicationIsInForeground;
};

// Starts the record (the caller has read the previous file's crashed flag) and writes the file.
// Not for the crash path: it copies the path.
bool kxstateInitialize(KXCrashState *state, const char *path, bool crashedLastLaunch, bool isInForeground);

// Writes {"version":1,"crashedLastLaunch":<crashed this launch>} to a temporary file renamed over
// the state file, so a failed write leaves the old file whole. Async-signal-safe.
bool kxstateWrite(const KXCrashState *state);

void kxstateNotifyForeground(KXCrashState *state, bool isInForeground);
// Adds the time since the last transition to the active or background duration.
void kxstateUpdateDurations(KXCrashState *state);
// A copy with the durations brought up to now, leaving the record as it is: for a thread other than the
// one that reports foreground changes.
KXCrashState kxstateSnapshot(const KXCrashState *state);
// For the crash path: durations, crashed this launch, and the file.
void kxstateNotifyCrash(KXCrashState *state);

uint64_t kxstateNow();
double kxstateSecondsBetween(uint64_t earlier, uint64_t later);

} // namespace kestrix
