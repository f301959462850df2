#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrix {

// Copies memory that may be unmapped without faulting; async-signal-safe. False when any byte
// of the range cannot be read.
bool kxmemCopySafely(const void *source, void *destination, size_t length);

// One region of the address space as /proc/self/maps lists it.
struct KXMemoryRegion
{
    uintptr_t start;
    uintptr_t end;
    bool readable;
    bool writable;
    bool executable;
    bool isMainStack;
};

// Reads /proc/self/maps into static storage (room for a few thousand regions); async-signal-safe.
bool kxmemLoadRegions();
const KXMemoryRegion *kxmemRegionContaining(uintptr_t address);
bool kxmemIsReadableRange(uintptr_t address, size_t length);

// Like kxmemCopySafely, but a range the loaded regions show readable is copied directly, with no
// system call: at crash time, with the other threads stopped, the mappings stand still.
bool kxmemCopyChecked(const void *source, void *destination, size_t length);

// The readable-writable stack region that holds (or, after an overflow, lies just above) the
// stack pointer; false when the pointer is not near a stack.
bool kxmemStackBounds(uintptr_t stackPointer, uintptr_t *low, uintptr_t *high);

// The readable-writable region holding `stackPointer`, asked of the kernel for that address alone
// (Linux 6.11 on), with no reading of the whole map; false when the kernel cannot answer or the
// region is not readable-writable, and kxmemStackBounds must tell. Async-signal-safe.
bool kxmemQueryStackBounds(uintptr_t stackPointer, uintptr_t *low, uintptr_t *high);

// An overflow is a stack pointer in the guard below a stack or past its limit, or a fault there
// close to the stack pointer. Needs kxmemLoadRegions() first.
bool kxmemIsStackOverflow(uintptr_t faultAddress, uintptr_t stackPointer);

} // namespace kestrix
