#include "crashreporter/core/KXThreads.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

namespace kestrix {

namespace {

enum SlotState : int
{
    SlotFree = 0,
    SlotStopRequested,
    SlotStopped,
    SlotGaveUp,
    SlotLeft,
};

struct Slot
{
    std::atomic<pid_t> thread;
    std::atomic<int> state;
    KXMachineContext context;
};

// Zero at compile time: a thousand slots made at start would touch every page of them.
constinit Slot s_slots[KXMaxThreads]{};
// Read by the control-signal handler, which may still run from a previous stop while the next one
// fills the table.
std::atomic<int> s_slotCount{0};
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> s_resumeGeneration{0};
std::atomic<bool> s_stopInForce{false};
// Resumed threads may still be leaving their handler; the next stop waits for them.
std::atomic<bool> s_slotsDraining{false};
int s_controlSignal = 0;

// Threads that did not answer the last stop. Most threads answer at once, so only these have their
// blocked set read before they are signalled: a thread that blocks the signal for good would
// otherwise collect one queued signal per stop.
pid_t s_unanswered[KXMaxThreads];
int s_unansweredCount = 0;
// Threads the previous stop held and let go: one may still be between leaving its handler and the
// return that unblocks the signal, so a blocked, pending signal does not mean it cannot answer.
pid_t s_justResumed[KXMaxThreads];
int s_justResumedCount = 0;
// How long signalled threads have before the blocked set of those that did not answer yet is read,
// to see whether they can: long enough for an idle machine to wake a few dozen threads.
constexpr int64_t AnswerGraceNanoseconds = 300000;

// Alternate stacks handed to threads that were running before installation. An offer outlives
// the wait for its answer: a thread that blocks the control signal (glibc blocks every signal while
// a thread starts, GLib's threads block it for good) takes its stack whenever it unblocks it.
enum OfferAnswer : int
{
    OfferPending = 0,
    OfferTaken,
    OfferDeclined,
};

struct StackOffer
{
    std::atomic<pid_t> thread; // 0 once answered
    std::atomic<int> answer;
    void *stack;
    size_t size;
};

constinit StackOffer s_offers[KXMaxThreads]{};
std::atomic<int> s_offerCount{0};

long futex(std::atomic<int> *address, int operation, int value, const timespec *timeout)
{
    return syscall(SYS_futex, reinterpret_cast<int *>(address), operation, value, timeout, nullptr, 0);
}

int64_t nowNanoseconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Waits until `state` leaves `from` or the deadline passes; returns the state seen last.
int waitWhile(std::atomic<int> &value, int from, int64_t deadline)
{
    for (;;) {
        const int state = value.load(std::memory_order_acquire);
        if (state != from) {
            return state;
        }
        const int64_t left = deadline - nowNanoseconds();
        if (left <= 0) {
            return state;
        }
        const timespec timeout = {static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
        futex(&value, FUTEX_WAIT, from, &timeout);
    }
}

Slot *slotFor(pid_t thread)
{
    const int count = s_slotCount.load(std::memory_order_acquire);
    for (int i = 0; i < count; i++) {
        if (s_slots[i].thread.load(std::memory_order_acquire) == thread) {
            return &s_slots[i];
        }
    }
    return nullptr;
}

// The return from a signal handler restores the signal stack saved in its user context, so a
// stack set with sigaltstack inside the handler would be undone at once: it goes into the context.
// False when the thread has a stack of its own already.
bool putAlternateStack(void *userContext, void *stack, size_t size)
{
    auto *context = static_cast<ucontext_t *>(userContext);
    if ((context->uc_stack.ss_flags & SS_DISABLE) == 0) {
        return false;
    }
    context->uc_stack.ss_sp = stack;
    context->uc_stack.ss_size = size;
    context->uc_stack.ss_flags = 0;
    return true;
}

// Answers the offer of a stack made to this thread, if there is one.
void answerStackOffer(pid_t self, void *userContext)
{
    const int count = s_offerCount.load(std::memory_order_acquire);
    for (int i = 0; i < count; i++) {
        StackOffer &offer = s_offers[i];
        pid_t expected = self;
        if (offer.thread.compare_exchange_strong(expected, 0)) {
            const bool taken = putAlternateStack(userContext, offer.stack, offer.size);
            offer.answer.store(taken ? OfferTaken : OfferDeclined, std::memory_order_release);
            futex(&offer.answer, FUTEX_WAKE, INT_MAX, nullptr);
            return;
        }
    }
}

void handleControlSignal(int, siginfo_t *, void *userContext)
{
    const int savedErrno = errno;
    const pid_t self = kxthreadCurrent();
    Slot *slot = slotFor(self);
    if (slot == nullptr || slot->state.load(std::memory_order_acquire) != SlotStopRequested) {
        answerStackOffer(self, userContext);
        errno = savedErrno;
        return;
    }
    const int generation = s_resumeGeneration.load(std::memory_order_acquire);
    kxmcFromUserContext(userContext, &slot->context);
    int expected = SlotStopRequested;
    if (!slot->state.compare_exchange_strong(expected, SlotStopped)) {
        errno = savedErrno;
        return; // the stopper gave up on us
    }
    futex(&slot->state, FUTEX_WAKE, INT_MAX, nullptr);
    while (s_resumeGeneration.load(std::memory_order_acquire) == generation) {
        futex(&s_resumeGeneration, FUTEX_WAIT, generation, nullptr);
    }
    slot->state.store(SlotLeft, std::memory_order_release);
    futex(&slot->state, FUTEX_WAKE, INT_MAX, nullptr);
    errno = savedErrno;
}

bool isDecimal(const char *text)
{
    if (*text == 0) {
        return false;
    }
    for (; *text != 0; text++) {
        if (*text < '0' || *text > '9') {
            return false;
        }
    }
    return true;
}

pid_t parseDecimal(const char *text)
{
    pid_t value = 0;
    for (; *text != 0; text++) {
        value = value * 10 + (*text - '0');
    }
    return value;
}

// Reads /proc/self/task/<thread><file> into `buffer`, terminated; returns the length read, or -1.
ssize_t readTaskFile(pid_t thread, const char *file, char *buffer, size_t size)
{
    char path[64] = "/proc/self/task/";
    char digits[16];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + thread % 10);
        thread /= 10;
    } while (thread > 0);
    size_t length = strlen(path);
    while (n > 0) {
        path[length++] = digits[--n];
    }
    strcpy(path + length, file);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    size_t used = 0;
    while (used < size - 1) {
        const ssize_t read = ::read(fd, buffer + used, size - 1 - used);
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read <= 0) {
            break;
        }
        used += static_cast<size_t>(read);
    }
    close(fd);
    buffer[used] = 0;
    return static_cast<ssize_t>(used);
}

// Whether `signal` is in the set a status line ("SigBlk:", in hexadecimal) lists.
bool listsSignal(const char *status, const char *field, int signal)
{
    const char *line = strstr(status, field);
    if (line == nullptr) {
        return false;
    }
    uint64_t mask = 0;
    for (const char *p = line + strlen(field); *p != '\n' && *p != 0; p++) {
        if (*p >= '0' && *p <= '9') {
            mask = mask << 4 | static_cast<uint64_t>(*p - '0');
        } else if (*p >= 'a' && *p <= 'f') {
            mask = mask << 4 | static_cast<uint64_t>(*p - 'a' + 10);
        }
    }
    return signal >= 1 && signal <= 64 && ((mask >> (signal - 1)) & 1) != 0;
}

// Whether the thread's blocked set holds `signal` and, with `stillPending`, the signal also waits
// undelivered: a thread running the signal's handler blocks it too, yet has it. False when the
// status cannot be read, so the thread is asked all the same.
bool blocksSignal(pid_t thread, int signal, bool stillPending = false)
{
    char buffer[4096];
    if (readTaskFile(thread, "/status", buffer, sizeof(buffer)) <= 0) {
        return false;
    }
    return listsSignal(buffer, "\nSigBlk:", signal) && (!stillPending || listsSignal(buffer, "\nSigPnd:", signal));
}

bool sendControlSignal(pid_t thread)
{
    return syscall(SYS_tgkill, getpid(), thread, s_controlSignal) == 0;
}

bool listed(const pid_t *threads, int count, pid_t thread)
{
    for (int i = 0; i < count; i++) {
        if (threads[i] == thread) {
            return true;
        }
    }
    return false;
}

bool wasUnanswered(pid_t thread)
{
    return listed(s_unanswered, s_unansweredCount, thread);
}

// Whether a thread that has not answered yet cannot: it blocks the signal, which waits undelivered,
// and it is not one just let go by the previous stop.
bool cannotAnswer(pid_t thread)
{
    return !listed(s_justResumed, s_justResumedCount, thread) && blocksSignal(thread, s_controlSignal, true);
}

// Sends the control signal unless the thread is gone or, having not answered last time, blocks it.
bool signalThread(pid_t thread)
{
    return !(wasUnanswered(thread) && blocksSignal(thread, s_controlSignal)) && sendControlSignal(thread);
}

void giveUpUnlessStopped(Slot &slot, int *stopped)
{
    int requested = SlotStopRequested;
    if (!slot.state.compare_exchange_strong(requested, SlotGaveUp) && requested == SlotStopped) {
        (*stopped)++; // answered just in time
    }
}

// Lets the threads of the previous stop leave their handler before their slots are reused.
void drainSlots()
{
    if (!s_slotsDraining) {
        return;
    }
    const int64_t deadline = nowNanoseconds() + 1000000000;
    s_justResumedCount = 0;
    for (int i = 0; i < s_slotCount; i++) {
        if (waitWhile(s_slots[i].state, SlotStopped, deadline) == SlotLeft) {
            s_justResumed[s_justResumedCount++] = s_slots[i].thread.load();
        }
        s_slots[i].thread.store(0, std::memory_order_release);
    }
    s_slotCount = 0;
    s_slotsDraining = false;
}

} // namespace

pid_t kxthreadCurrent()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

int kxthreadsList(pid_t *threads, int max)
{
    const int fd = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    int count = 0;
    alignas(8) char buffer[4096];
    for (;;) {
        const long n = syscall(SYS_getdents64, fd, buffer, sizeof(buffer));
        if (n <= 0) {
            break;
        }
        for (long offset = 0; offset < n;) {
            struct Entry
            {
                uint64_t inode;
                int64_t next;
                unsigned short length;
                unsigned char type;
                char name[1];
            };
            const auto *entry = reinterpret_cast<const Entry *>(buffer + offset);
            if (isDecimal(entry->name) && count < max) {
                threads[count++] = parseDecimal(entry->name);
            }
            offset += entry->length;
        }
    }
    close(fd);
    return count;
}

namespace {

uint32_t runStateFromLetter(char letter)
{
    switch (letter) {
    case 'R':
        return 1;
    case 'T':
    case 't':
        return 2;
    case 'S':
    case 'I':
        return 3;
    case 'D':
        return 4;
    case 'Z':
    case 'X':
        return 5;
    default:
        return KXThreadRunStateUnknown;
    }
}

} // namespace

bool kxthreadReadStat(pid_t thread, KXThreadStat *stat)
{
    char buffer[512];
    if (readTaskFile(thread, "/stat", buffer, sizeof(buffer)) <= 0) {
        return false;
    }
    // "tid (name) S ppid ...": the name may hold anything, so look after its last parenthesis.
    const char *open = strchr(buffer, '(');
    const char *close = strrchr(buffer, ')');
    if (open == nullptr || close == nullptr || close < open || close[1] != ' ') {
        return false;
    }
    size_t length = static_cast<size_t>(close - open - 1);
    length = length < sizeof(stat->name) - 1 ? length : sizeof(stat->name) - 1;
    memcpy(stat->name, open + 1, length);
    stat->name[length] = 0;
    stat->runState = runStateFromLetter(close[2]);
    return true;
}

uint32_t kxthreadRunState(pid_t thread)
{
    KXThreadStat stat;
    return kxthreadReadStat(thread, &stat) ? stat.runState : KXThreadRunStateUnknown;
}

const char *kxthreadRunStateName(uint32_t state)
{
    static const char *const names[] = {
        "TH_STATE_RUNNING", "TH_STATE_STOPPED", "TH_STATE_WAITING", "TH_STATE_UNINTERRUPTIBLE", "TH_STATE_HALTED"};
    return state >= 1 && state <= 5 ? names[state - 1] : nullptr;
}

bool kxthreadCurrentName(char *buffer, size_t size)
{
    char name[17] = {};
    if (size == 0 || prctl(PR_GET_NAME, name) != 0 || name[0] == 0) {
        return false;
    }
    const size_t length = strnlen(name, sizeof(name) - 1);
    const size_t copied = length < size - 1 ? length : size - 1;
    memcpy(buffer, name, copied);
    buffer[copied] = 0;
    return true;
}

bool kxthreadsInstallControlSignal()
{
    static std::atomic<bool> installed{false};
    if (installed.load()) {
        return true;
    }
    s_controlSignal = SIGRTMIN + 6;
    struct sigaction action = {};
    action.sa_sigaction = handleControlSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (sigaction(s_controlSignal, &action, nullptr) != 0) {
        return false;
    }
    installed.store(true);
    return true;
}

int kxthreadsControlSignal()
{
    return s_controlSignal;
}

int kxthreadsStop(const pid_t *threads, int count, pid_t except, int timeoutMilliseconds)
{
    bool expected = false;
    if (s_controlSignal == 0 || !s_stopInForce.compare_exchange_strong(expected, true)) {
        return 0;
    }
    drainSlots();
    for (int i = 0; i < count && s_slotCount < KXMaxThreads; i++) {
        if (threads[i] == except || threads[i] <= 0) {
            continue;
        }
        Slot &slot = s_slots[s_slotCount.load(std::memory_order_relaxed)];
        slot.context.isValid = false;
        slot.state.store(SlotStopRequested, std::memory_order_release);
        slot.thread.store(threads[i], std::memory_order_release);
        s_slotCount.fetch_add(1, std::memory_order_release);
    }
    for (int i = 0; i < s_slotCount; i++) {
        if (!signalThread(s_slots[i].thread.load())) {
            int requested = SlotStopRequested;
            s_slots[i].state.compare_exchange_strong(requested, SlotGaveUp); // gone, or it blocks the signal
        }
    }
    const int64_t start = nowNanoseconds();
    const int64_t deadline = start + static_cast<int64_t>(timeoutMilliseconds) * 1000000;
    const int64_t grace = start + AnswerGraceNanoseconds < deadline ? start + AnswerGraceNanoseconds : deadline;
    int stopped = 0;
    for (int i = 0; i < s_slotCount; i++) {
        Slot &slot = s_slots[i];
        const int state = waitWhile(slot.state, SlotStopRequested, grace);
        if (state == SlotStopped
            || (state == SlotStopRequested && !cannotAnswer(slot.thread.load())
                && waitWhile(slot.state, SlotStopRequested, deadline) == SlotStopped)) {
            stopped++;
        } else {
            giveUpUnlessStopped(slot, &stopped);
        }
    }
    s_unansweredCount = 0;
    for (int i = 0; i < s_slotCount; i++) {
        if (s_slots[i].state.load(std::memory_order_acquire) == SlotGaveUp) {
            s_unanswered[s_unansweredCount++] = s_slots[i].thread.load();
        }
    }
    return stopped;
}

bool kxthreadsStoppedContext(pid_t thread, KXMachineContext *context)
{
    Slot *slot = s_stopInForce.load() && !s_slotsDraining ? slotFor(thread) : nullptr;
    if (slot == nullptr || slot->state.load(std::memory_order_acquire) != SlotStopped || !slot->context.isValid) {
        return false;
    }
    *context = slot->context;
    return true;
}

void kxthreadsResume()
{
    if (!s_stopInForce.load()) {
        return;
    }
    s_resumeGeneration.fetch_add(1, std::memory_order_acq_rel);
    futex(&s_resumeGeneration, FUTEX_WAKE, INT_MAX, nullptr);
    // The slots are reused only once every thread has left its handler: the next stop waits for that,
    // so the caller goes on while they wake.
    s_slotsDraining = true;
    s_stopInForce.store(false);
}

void kxthreadsAwaitResumed()
{
    bool expected = false;
    if (s_stopInForce.compare_exchange_strong(expected, true)) {
        drainSlots();
        s_stopInForce.store(false);
    }
}

int kxthreadsProvideAlternateStacks(size_t size, int timeoutMilliseconds)
{
    if (s_controlSignal == 0) {
        return 0;
    }
    static pid_t threads[KXMaxThreads];
    static int waitFor[KXMaxThreads];
    const int count = kxthreadsList(threads, KXMaxThreads);
    const pid_t self = kxthreadCurrent();
    int waiting = 0;
    for (int i = 0; i < count && s_offerCount.load() < KXMaxThreads; i++) {
        if (threads[i] == self) {
            continue;
        }
        void *stack = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (stack == MAP_FAILED) {
            break;
        }
        const int index = s_offerCount.load();
        StackOffer &offer = s_offers[index];
        offer.stack = stack;
        offer.size = size;
        offer.answer.store(OfferPending);
        offer.thread.store(threads[i]);
        s_offerCount.store(index + 1, std::memory_order_release);
        const bool canAnswerNow = !blocksSignal(threads[i], s_controlSignal);
        if (!sendControlSignal(threads[i])) {
            pid_t gone = threads[i];
            if (offer.thread.compare_exchange_strong(gone, 0)) {
                munmap(stack, size);
            }
        } else if (canAnswerNow) {
            waitFor[waiting++] = index;
        }
    }
    const int64_t deadline = nowNanoseconds() + static_cast<int64_t>(timeoutMilliseconds) * 1000000;
    int taken = 0;
    for (int i = 0; i < waiting; i++) {
        StackOffer &offer = s_offers[waitFor[i]];
        const int answer = waitWhile(offer.answer, OfferPending, deadline);
        if (answer == OfferTaken) {
            taken++;
        } else if (answer == OfferDeclined) {
            munmap(offer.stack, offer.size); // it has one of its own
        }
        // An offer still pending stays open: the thread takes the stack when it gets to it.
    }
    return taken;
}

} // namespace kestrix
