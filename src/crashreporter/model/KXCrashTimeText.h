#pragma once

#include <atomic>

namespace kestrix {

// JSON text kept in a malloc'd buffer for the crash-time writer and replaced while the process runs.
// The crash handler marks the buffer it reads, so that a replacement made meanwhile on a thread the
// crash did not stop leaves that buffer alive instead of freeing it under the reader.

// Puts `text` (malloc'd, or null) in place; the old buffer is freed at the next replacement, unless
// it is being read then.
void kxReplaceCrashTimeText(std::atomic<char *> &buffer, char *text);

// The buffer's text, marked as read until kxEndReadingCrashTimeText(); one reader at a time (the
// thread handling the crash). Async-signal-safe.
const char *kxBeginReadingCrashTimeText(const std::atomic<char *> &buffer);
void kxEndReadingCrashTimeText();

} // namespace kestrix
