#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace kestrix {

// One loaded image, read from the dynamic linker while the process is healthy and never freed,
// so that the crash path can walk the list without locks.
struct KXBinaryImage
{
    uintptr_t address;   // where the ELF header is mapped
    uint64_t vmAddress;  // link-time address of the executable segment
    uint64_t size;       // size of the executable segment
    uintptr_t textStart; // mapped range of the executable segment
    uintptr_t textEnd;
    const uint8_t *uuid; // the GNU build id (first 16 bytes), or null
    const char *name;    // path
    uintptr_t slide;     // load bias
    int32_t cpuType;
    int32_t cpuSubtype;
    bool isExecutable;
    // Whether most of its exported functions set up frame records (it was built with frame
    // pointers): 0 until sampled on first need, then 1 for yes or 2 for no.
    std::atomic<uint8_t> keepsFrameRecords;
    // The dynamic symbol table, the only one that is mapped at run time.
    const void *symbols;
    size_t symbolCount;
    const char *strings;
    size_t stringsSize;
    // Its named functions by address, one per address, sorted by a thread of their own while the
    // process is healthy so the crash path can search them; null until then, and for images found
    // only at crash time. The count is set before the table is published.
    std::atomic<const uint32_t *> functionsByAddress;
    size_t functionCount;
    std::atomic<bool> removed;
    std::atomic<bool> used; // a written backtrace frame lies in it
};

// The loaded images as one refresh found them, the main image first. A list never changes once
// published, and stays allocated: a reader may hold it.
struct KXBinaryImageList
{
    KXBinaryImage *const *images;    // in the dynamic linker's order
    KXBinaryImage *const *byAddress; // by text start
    int count;

    KXBinaryImage *const *begin() const { return images; }
    KXBinaryImage *const *end() const { return images + count; }
};

// Reads the images loaded now into a new list, built aside and then published whole, so that a
// crash at any moment finds a complete one. Records of images still loaded carry over; those of
// unloaded ones are marked removed. Not for the crash path.
void kximagesRefresh();

// Sorts the functions of the images that have no sorted table yet, on a thread of its own: a Qt
// application exports tens of thousands, which would cost the caller milliseconds.
void kximagesIndexInBackground();
// Waits until the sorting asked for is done; for tests and benchmarks.
void kximagesWaitForIndex();

// Lock-free readers, safe at crash time.
// The last complete list (empty before the first refresh).
const KXBinaryImageList &kximagesList();
KXBinaryImage *kximagesMain();
KXBinaryImage *kximagesForAddress(uintptr_t address);
KXBinaryImage *kximagesForName(const char *name);
void kximagesClearUsed();

// Takes the last complete list as final for the crash being reported, with, added without
// allocating, the images the dynamic linker lists but the list lacks: glibc loads gconv modules,
// NSS modules and libgcc_s by itself, past the dlopen wrapper. A refresh still under way on another
// thread publishes nothing from then on. Async-signal-safe; for the crash path.
void kximagesFreeze();

struct KXSymbolInfo
{
    KXBinaryImage *image;
    uintptr_t symbolAddress;
    const char *symbolName;
};

// The image and dynamic symbol holding `address`, without dladdr and without allocation.
bool kximagesLookup(uintptr_t address, KXSymbolInfo *info);

// Whether the function holding `address` is known and starts without setting up a frame record.
bool kximagesLacksFrameRecords(uintptr_t address);

// Whether `address` is a return address: inside a known executable segment, right after a call.
bool kximagesIsReturnAddress(uintptr_t address);

} // namespace kestrix
