#include "crashreporter/core/KXBacktrace.h"

#include "crashreporter/core/KXBinaryImages.h"
#include "crashreporter/core/KXMemory.h"

namespace kestrix {

namespace {

// How far above the stack pointer return addresses are looked for before the first frame record.
constexpr uintptr_t ScanLimitBytes = 16384;

class Walk
{
public:
    Walk(const KXStackBounds &bounds, uintptr_t *addresses, int skip, int max)
        : m_bounds(bounds)
        , m_addresses(addresses)
        , m_skip(skip)
        , m_max(max)
        , m_boundsAreKnown(bounds.high > bounds.low)
    {
    }

    void emit(uintptr_t address)
    {
        if (m_total >= m_skip && m_stored < m_max && m_addresses != nullptr) {
            m_addresses[m_stored++] = address;
        }
        m_total++;
    }

    // Inside known bounds memory is read directly; without them (a corrupted stack pointer, maps
    // that could not be read) every word goes through a checked read. A scan reads whatever a
    // stack holds, which the address sanitizer would take for overflows of its frames.
    [[gnu::no_sanitize_address]] bool read(uintptr_t address, uintptr_t *value) const
    {
        if (address % sizeof(uintptr_t) != 0) {
            return false;
        }
        if (!m_boundsAreKnown) {
            return kxmemCopySafely(reinterpret_cast<const void *>(address), value, sizeof(*value));
        }
        if (address < m_bounds.low || address > m_bounds.high || m_bounds.high - address < sizeof(uintptr_t)) {
            return false;
        }
        *value = *reinterpret_cast<const uintptr_t *>(address);
        return true;
    }

    // A frame record: {previous frame pointer, return address}, inside the stack, above `floor`.
    bool isRecord(uintptr_t frame, uintptr_t floor)
    {
        uintptr_t returnAddress;
        return frame >= floor && read(frame, &returnAddress) && read(frame + sizeof(uintptr_t), &returnAddress)
               && isReturnAddress(returnAddress);
    }

    // A deep recursion repeats one return address thousands of times: the image lookups behind
    // these answers are remembered for the last address asked about.
    bool isReturnAddress(uintptr_t address)
    {
        if (address != m_lastChecked) {
            m_lastChecked = address;
            m_lastIsReturn = kximagesIsReturnAddress(address);
        }
        return m_lastIsReturn;
    }

    bool lacksFrameRecords(uintptr_t returnAddress)
    {
        if (returnAddress != m_lastCaller) {
            m_lastCaller = returnAddress;
            m_lastCallerLacksRecords = kximagesLacksFrameRecords(returnAddress);
        }
        return m_lastCallerLacksRecords;
    }

    void chain(uintptr_t frame)
    {
        uintptr_t floor = frame;
        while (isRecord(frame, floor)) {
            uintptr_t next = 0;
            uintptr_t returnAddress = 0;
            read(frame, &next);
            read(frame + sizeof(uintptr_t), &returnAddress);
            emit(returnAddress);
            if (next <= frame) {
                break; // pointers must rise, or a cyclic chain would never end
            }
            if (lacksFrameRecords(returnAddress)) {
                // Its frames lie between this record and the next; their return addresses are all we have.
                scanBetween(frame + 2 * sizeof(uintptr_t), next);
            }
            floor = frame + 2 * sizeof(uintptr_t);
            frame = next;
        }
    }

    void scanBetween(uintptr_t from, uintptr_t to)
    {
        to = to - from > ScanLimitBytes ? from + ScanLimitBytes : to;
        for (uintptr_t at = from; at + sizeof(uintptr_t) <= to; at += sizeof(uintptr_t)) {
            uintptr_t word = 0;
            if (!read(at, &word)) {
                return;
            }
            if (isReturnAddress(word)) {
                emit(word);
            }
        }
    }

    // Scans upwards for return addresses until a frame record that leads on is found, and
    // returns that record (0 when none).
    uintptr_t scan(uintptr_t from)
    {
        from = (from + sizeof(uintptr_t) - 1) & ~(sizeof(uintptr_t) - 1);
        uintptr_t limit = UINTPTR_MAX - from > ScanLimitBytes ? from + ScanLimitBytes : UINTPTR_MAX;
        limit = m_boundsAreKnown && m_bounds.high < limit ? m_bounds.high : limit;
        for (uintptr_t at = from; at < limit && limit - at >= sizeof(uintptr_t); at += sizeof(uintptr_t)) {
            uintptr_t word = 0;
            if (!read(at, &word)) {
                return 0; // the end of what can be read
            }
            uintptr_t next = 0;
            if (isRecord(at, from) && read(at, &next) && next > at && isRecord(next, at + 2 * sizeof(uintptr_t))) {
                return at;
            }
            if (isReturnAddress(word)) {
                emit(word);
            }
        }
        return 0;
    }

    int stored() const { return m_stored; }
    int total() const { return m_total; }

private:
    KXStackBounds m_bounds;
    uintptr_t *m_addresses;
    int m_skip;
    int m_max;
    bool m_boundsAreKnown;
    int m_stored = 0;
    int m_total = 0;
    uintptr_t m_lastChecked = 0;
    bool m_lastIsReturn = false;
    uintptr_t m_lastCaller = 0;
    bool m_lastCallerLacksRecords = false;
};

} // namespace

int kxbtBacktrace(
    const KXMachineContext *context, const KXStackBounds &bounds, uintptr_t *addresses, int skip, int max, int *total)
{
    Walk walk(bounds, addresses, skip, max);
    const uintptr_t pc = kxmcProgramCounter(context);
    if (pc != 0) {
        walk.emit(pc);
        const uintptr_t sp = kxmcStackPointer(context);
        const uintptr_t lr = kxmcLinkRegister(context);
        uintptr_t fp = kxmcFramePointer(context);
        if (walk.isRecord(fp, sp)) {
            if (kximagesLacksFrameRecords(pc)) {
                walk.scanBetween(sp, fp);
            }
        } else {
            if (lr != 0) {
                walk.emit(lr);
            }
            fp = walk.scan(sp);
        }
        walk.chain(fp);
    }
    if (total != nullptr) {
        *total = walk.total();
    }
    return walk.stored();
}

int kxbtBacktraceFromFrame(const void *frame, const KXStackBounds &bounds, uintptr_t *addresses, int max)
{
    Walk walk(bounds, addresses, 0, max);
    walk.chain(reinterpret_cast<uintptr_t>(frame));
    return walk.stored();
}

} // namespace kestrix
