#include "crashreporter/model/KXCrashTimeText.h"

#include <cstdlib>

namespace kestrix {

namespace {

std::atomic<const char *> s_beingRead{nullptr};
// The last buffer replaced: a reader may have marked it just before the replacement. It is freed
// at the next replacement, unless still being read then.
std::atomic<char *> s_retired{nullptr};

} // namespace

void kxReplaceCrashTimeText(std::atomic<char *> &buffer, char *text)
{
    char *previous = s_retired.exchange(buffer.exchange(text));
    // A reader that marks a buffer after it was replaced finds the change and reads the new text.
    if (previous != s_beingRead.load()) {
        free(previous);
    }
}

const char *kxBeginReadingCrashTimeText(const std::atomic<char *> &buffer)
{
    for (;;) {
        const char *text = buffer.load();
        s_beingRead.store(text);
        if (buffer.load() == text) {
            return text;
        }
    }
}

void kxEndReadingCrashTimeText()
{
    s_beingRead.store(nullptr);
}

} // namespace kestrix
