#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrix {

inline constexpr uint64_t KXRunContextVersion = 5;

// The run context as it lies in its memory-mapped file: native byte order, no padding. The next
// launch reads it back to learn how this run ended, so its layout never changes within a version.
struct KXRunContextData
{
    uint64_t structVersion;
    bool isDebuggerAttached;
    bool isLaunching;
    bool isForeground;
    bool isActive;
    bool isTerminating;
    uint8_t reserved1[3];
    uint64_t thermalState;
    uint64_t bootTime; // microseconds since 1970
    uint8_t machoUUID[16];
    char sessionId[37];
    uint8_t reserved2[3];
    double sessionStartTime; // seconds since 1 January 2001
    uint64_t handledCount;
    uint64_t unhandledCount;
    double timestamp; // seconds since 1 January 2001
    uint64_t hostMemoryFree;
    uint64_t memoryAvailable;
    uint64_t memoryFootprint;
    uint64_t memoryLimit;
    char bundleVersion[32];
};

static_assert(offsetof(KXRunContextData, structVersion) == 0);
static_assert(offsetof(KXRunContextData, isDebuggerAttached) == 8);
static_assert(offsetof(KXRunContextData, isLaunching) == 9);
static_assert(offsetof(KXRunContextData, isForeground) == 10);
static_assert(offsetof(KXRunContextData, isActive) == 11);
static_assert(offsetof(KXRunContextData, isTerminating) == 12);
static_assert(offsetof(KXRunContextData, thermalState) == 16);
static_assert(offsetof(KXRunContextData, bootTime) == 24);
static_assert(offsetof(KXRunContextData, machoUUID) == 32);
static_assert(offsetof(KXRunContextData, sessionId) == 48);
static_assert(offsetof(KXRunContextData, sessionStartTime) == 88);
static_assert(offsetof(KXRunContextData, handledCount) == 96);
static_assert(offsetof(KXRunContextData, unhandledCount) == 104);
static_assert(offsetof(KXRunContextData, timestamp) == 112);
static_assert(offsetof(KXRunContextData, hostMemoryFree) == 120);
static_assert(offsetof(KXRunContextData, memoryAvailable) == 128);
static_assert(offsetof(KXRunContextData, memoryFootprint) == 136);
static_assert(offsetof(KXRunContextData, memoryLimit) == 144);
static_assert(offsetof(KXRunContextData, bundleVersion) == 152);
static_assert(sizeof(KXRunContextData) == 184);

// The current run's context (mapped or in process memory), or null before it is started.
KXRunContextData *kxrunContext();
void kxrunContextSet(KXRunContextData *context);

// Refreshes the memory figures: host free memory, the process's footprint and, under a memory
// limit (cgroup), what remains of it. Async-signal-safe; a refresh that finds another one under way
// (a crash handler interrupting the refresher) leaves the figures to it.
void kxrunContextRefreshMemory(KXRunContextData *context);

struct KXRunMemory
{
    uint64_t hostMemoryFree;
    uint64_t memoryAvailable;
    uint64_t memoryFootprint;
    uint64_t memoryLimit;
};

// The memory figures of one refresh, never a mix of two. Async-signal-safe and lock-free: a reader
// that interrupted a refresh on its own thread takes the figures as they stand.
KXRunMemory kxrunContextMemory(const KXRunContextData *context);

} // namespace kestrix
