#include "crashreporter/core/KXCrashSentryCPPException.h"

#include "crashreporter/core/KXBacktrace.h"
#include "crashreporter/core/KXCrashSentry.h"
#include "crashreporter/core/KXJSONEncoder.h"
#include "crashreporter/core/KXMemory.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <typeinfo>

namespace kestrix {

namespace {

constexpr int MaxThrowFrames = 30;
constexpr size_t MaxDescription = 1000;

std::atomic<bool> s_installed{false};
std::atomic<bool> s_captureThrowBacktraces{false};
std::terminate_handler s_previousTerminate = nullptr;
char s_description[MaxDescription];

// Each thread keeps the backtrace of its own last throw: another thread's caught exception must
// never stand in for this thread's crash.
thread_local uintptr_t t_trace[MaxThrowFrames];
thread_local int t_traceLength = 0;
thread_local KXStackBounds t_bounds = {0, 0};

const KXStackBounds &currentStackBounds()
{
    if (t_bounds.high == 0) {
        pthread_attr_t attributes;
        if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
            void *low = nullptr;
            size_t size = 0;
            if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
                t_bounds.low = reinterpret_cast<uintptr_t>(low);
                t_bounds.high = t_bounds.low + size;
            }
            pthread_attr_destroy(&attributes);
        }
    }
    return t_bounds;
}

[[gnu::noinline]] void captureBacktrace()
{
    t_traceLength = kxbtBacktraceFromFrame(__builtin_frame_address(0), currentStackBounds(), t_trace, MaxThrowFrames);
    // The first entry is our caller, the hook or the terminate handler: keep what lies beyond it.
    if (t_traceLength > 0) {
        memmove(t_trace, t_trace + 1, sizeof(uintptr_t) * static_cast<size_t>(t_traceLength - 1));
        t_traceLength--;
    }
}

void describeInteger(long long value)
{
    char *p = s_description + sizeof(s_description) - 1;
    *p = 0;
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : value;
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        *--p = '-';
    }
    memmove(s_description, p, strlen(p) + 1);
}

void describeUnsigned(unsigned long long value)
{
    char *p = s_description + sizeof(s_description) - 1;
    *p = 0;
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    memmove(s_description, p, strlen(p) + 1);
}

void describeText(const char *text)
{
    strncpy(s_description, text != nullptr ? text : "", sizeof(s_description) - 1);
    s_description[sizeof(s_description) - 1] = 0;
}

// Rethrows the current exception to learn its value; returns the description or null.
const char *describeCurrentException()
{
    s_description[0] = 0;
    try {
        throw;
    } catch (const std::exception &exception) {
        describeText(exception.what());
    } catch (const std::exception *exception) {
        describeText(exception != nullptr ? exception->what() : nullptr);
    } catch (char value) {
        describeInteger(value);
    } catch (short value) {
        describeInteger(value);
    } catch (int value) {
        describeInteger(value);
    } catch (long value) {
        describeInteger(value);
    } catch (long long value) {
        describeInteger(value);
    } catch (unsigned char value) {
        describeUnsigned(value);
    } catch (unsigned short value) {
        describeUnsigned(value);
    } catch (unsigned int value) {
        describeUnsigned(value);
    } catch (unsigned long value) {
        describeUnsigned(value);
    } catch (unsigned long long value) {
        describeUnsigned(value);
    } catch (float value) {
        KXJSONEncoder::formatDouble(value, 16, s_description);
    } catch (double value) {
        KXJSONEncoder::formatDouble(value, 16, s_description);
    } catch (long double value) {
        KXJSONEncoder::formatDouble(static_cast<double>(value), 16, s_description);
    } catch (char *value) {
        strncpy(s_description, value != nullptr ? value : "", 999);
        s_description[999] = 0;
    } catch (...) {
        return nullptr;
    }
    return s_description;
}

void handleTerminate()
{
    const char *name = nullptr;
    const char *description = nullptr;
    std::type_info *type = abi::__cxa_current_exception_type();
    if (type != nullptr) {
        char probe[sizeof(void *) * 2];
        const char *typeName = nullptr;
        if (kxmemCopySafely(type, probe, sizeof(probe))) {
            memcpy(&typeName, probe + sizeof(void *), sizeof(typeName));
            // The top bit of the name pointer may carry a flag.
            typeName = reinterpret_cast<const char *>(reinterpret_cast<uintptr_t>(typeName) & ~(uintptr_t(1) << 63));
        }
        char first = 0;
        if (typeName != nullptr && kxmemCopySafely(typeName, &first, 1)) {
            s_captureThrowBacktraces.store(false);
            description = describeCurrentException();
            name = type->name();
        } else {
            name = "unknown";
            description = "unable to determine C++ exception type";
        }
    } else {
        // Nothing was thrown: the interesting place is the call of std::terminate, not an old throw.
        captureBacktrace();
        name = "std::terminate";
        description = "throw may have been called without an exception";
    }
    s_captureThrowBacktraces.store(s_installed.load());

    if (kxsentryBeginHandlingCrash(kxthreadCurrent())) {
        KXCrashSentryContext *context = kxsentryContext();
        if (!context->crashedDuringCrashHandling) {
            context->crashType = KXCrashTypeCPPException;
            context->requiresAsyncSafety = true;
            context->registersAreValid = false;
            context->stackTrace = t_trace;
            context->stackTraceLength = t_traceLength;
            context->cppExceptionName = name;
            context->crashReason = description;
            kxsentrySuspendAllThreads();
        }
        kxsentryReport();
        kxsentryUninstall(KXCrashTypeAll);
        kxsentryResumeAllThreads();
        kxsentryEndHandlingCrash();
    }
    if (s_previousTerminate != nullptr) {
        s_previousTerminate();
    }
    abort();
}

} // namespace

bool kxsentryCPPExceptionInstall(KXCrashSentryContext *)
{
    if (!s_installed.exchange(true)) {
        s_previousTerminate = std::set_terminate(handleTerminate);
        s_captureThrowBacktraces.store(true);
    }
    return true;
}

void kxsentryCPPExceptionUninstall()
{
    if (s_installed.exchange(false)) {
        s_captureThrowBacktraces.store(false);
        std::set_terminate(s_previousTerminate);
    }
}

} // namespace kestrix

// Every throw in the process passes here, the executable's definition coming first in symbol
// lookup; the throw site's backtrace is kept, then the runtime's own __cxa_throw goes on.
extern "C" void __cxa_throw(void *thrown, std::type_info *type, void (*destructor)(void *))
{
    using ThrowFunc = void (*)(void *, std::type_info *, void (*)(void *));
    static ThrowFunc next = reinterpret_cast<ThrowFunc>(dlsym(RTLD_NEXT, "__cxa_throw"));
    if (kestrix::s_captureThrowBacktraces.load(std::memory_order_relaxed)) {
        kestrix::captureBacktrace();
    }
    next(thrown, type, destructor);
    __builtin_unreachable();
}
