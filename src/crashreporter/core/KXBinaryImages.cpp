#include "crashreporter/core/KXBinaryImages.h"

#include "crashreporter/core/KXMachineContext.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace kestrix {

namespace {

std::atomic<KXBinaryImage *> s_head{nullptr};
std::atomic<KXBinaryImage *> s_tail{nullptr};
std::atomic<KXBinaryImage *> s_main{nullptr};
pthread_mutex_t s_refreshLock = PTHREAD_MUTEX_INITIALIZER;

struct RefreshState
{
    bool isFirst = true;
    KXBinaryImage *seen[4096];
    int seenCount = 0;
};

bool sampleFrameRecords(const KXBinaryImage *image);

void append(KXBinaryImage *image)
{
    image->next.store(nullptr, std::memory_order_relaxed);
    KXBinaryImage *previous = s_tail.exchange(image, std::memory_order_acq_rel);
    if (previous != nullptr) {
        previous->next.store(image, std::memory_order_release);
    } else {
        s_head.store(image, std::memory_order_release);
    }
}

// glibc relocates the pointers of a dynamic section in place, the vDSO's are left as linked.
uintptr_t dynamicPointer(const ElfW(Dyn) * entry, uintptr_t base)
{
    const uintptr_t value = entry->d_un.d_ptr;
    return value < base ? value + base : value;
}

size_t gnuHashSymbolCount(const uint32_t *table)
{
    const uint32_t bucketCount = table[0];
    const uint32_t symbolOffset = table[1];
    const uint32_t bloomSize = table[2];
    const uint32_t *buckets = table + 4 + bloomSize * (sizeof(ElfW(Addr)) / 4);
    const uint32_t *chains = buckets + bucketCount;
    uint32_t last = 0;
    for (uint32_t i = 0; i < bucketCount; i++) {
        last = buckets[i] > last ? buckets[i] : last;
    }
    if (last < symbolOffset) {
        return symbolOffset;
    }
    while ((chains[last - symbolOffset] & 1) == 0) {
        last++;
    }
    return last + 1;
}

void readDynamicSymbols(KXBinaryImage *image, const ElfW(Dyn) * dynamic)
{
    const uintptr_t base = image->slide;
    for (const ElfW(Dyn) *entry = dynamic; entry->d_tag != DT_NULL; entry++) {
        switch (entry->d_tag) {
        case DT_SYMTAB:
            image->symbols = reinterpret_cast<const void *>(dynamicPointer(entry, base));
            break;
        case DT_STRTAB:
            image->strings = reinterpret_cast<const char *>(dynamicPointer(entry, base));
            break;
        case DT_STRSZ:
            image->stringsSize = entry->d_un.d_val;
            break;
        case DT_HASH:
            image->symbolCount = reinterpret_cast<const uint32_t *>(dynamicPointer(entry, base))[1];
            break;
        default:
            break;
        }
    }
    if (image->symbolCount == 0) {
        for (const ElfW(Dyn) *entry = dynamic; entry->d_tag != DT_NULL; entry++) {
            if (entry->d_tag == DT_GNU_HASH) {
                image->symbolCount =
                    gnuHashSymbolCount(reinterpret_cast<const uint32_t *>(dynamicPointer(entry, base)));
            }
        }
    }
    if (image->symbols == nullptr || image->strings == nullptr) {
        image->symbolCount = 0;
    }
}

const uint8_t *findBuildID(uintptr_t start, size_t size, size_t alignment)
{
    const auto align = [alignment](size_t n) { return (n + alignment - 1) & ~(alignment - 1); };
    size_t offset = 0;
    while (offset + sizeof(ElfW(Nhdr)) <= size) {
        const auto *note = reinterpret_cast<const ElfW(Nhdr) *>(start + offset);
        const size_t nameOffset = offset + sizeof(ElfW(Nhdr));
        const size_t descOffset = nameOffset + align(note->n_namesz);
        if (note->n_type == NT_GNU_BUILD_ID && note->n_namesz == 4
            && memcmp(reinterpret_cast<const char *>(start + nameOffset), "GNU", 4) == 0 && note->n_descsz >= 16
            && descOffset + note->n_descsz <= size) {
            return reinterpret_cast<const uint8_t *>(start + descOffset);
        }
        offset = descOffset + align(note->n_descsz);
    }
    return nullptr;
}

KXBinaryImage *makeImage(const dl_phdr_info *info, bool isFirst)
{
    auto *image = static_cast<KXBinaryImage *>(calloc(1, sizeof(KXBinaryImage)));
    if (image == nullptr) {
        return nullptr;
    }
    image->slide = info->dlpi_addr;
    const ElfW(Dyn) *dynamic = nullptr;
    for (int i = 0; i < info->dlpi_phnum; i++) {
        const ElfW(Phdr) &header = info->dlpi_phdr[i];
        if (header.p_type == PT_LOAD) {
            if (header.p_offset == 0 && image->address == 0) {
                image->address = info->dlpi_addr + header.p_vaddr;
            }
            if ((header.p_flags & PF_X) != 0 && image->textStart == 0) {
                image->vmAddress = header.p_vaddr;
                image->size = header.p_memsz;
                image->textStart = info->dlpi_addr + header.p_vaddr;
                image->textEnd = image->textStart + header.p_memsz;
            }
        } else if (header.p_type == PT_NOTE && image->uuid == nullptr) {
            image->uuid = findBuildID(info->dlpi_addr + header.p_vaddr, header.p_memsz, header.p_align >= 8 ? 8 : 4);
        } else if (header.p_type == PT_DYNAMIC) {
            dynamic = reinterpret_cast<const ElfW(Dyn) *>(info->dlpi_addr + header.p_vaddr);
        }
    }
    if (image->textStart == 0) {
        free(image);
        return nullptr;
    }
    if (image->address != 0) {
        const auto *elf = reinterpret_cast<const ElfW(Ehdr) *>(image->address);
        if (memcmp(elf->e_ident, ELFMAG, SELFMAG) == 0) {
            kxmcCPUTypeForELFMachine(elf->e_machine, &image->cpuType, &image->cpuSubtype);
        }
    }
    if (dynamic != nullptr) {
        readDynamicSymbols(image, dynamic);
    }
    image->keepsFrameRecords = sampleFrameRecords(image);
    const char *name = info->dlpi_name;
    char executablePath[4096];
    if (isFirst && (name == nullptr || name[0] == 0)) {
        const ssize_t length = readlink("/proc/self/exe", executablePath, sizeof(executablePath) - 1);
        executablePath[length > 0 ? length : 0] = 0;
        name = executablePath;
        image->isExecutable = true;
    }
    image->name = strdup(name != nullptr ? name : "");
    return image;
}

int refreshOne(dl_phdr_info *info, size_t, void *data)
{
    auto *state = static_cast<RefreshState *>(data);
    const bool isFirst = state->isFirst;
    state->isFirst = false;
    const char *name = info->dlpi_name != nullptr ? info->dlpi_name : "";
    for (KXBinaryImage *image = kximagesFirst(); image != nullptr; image = image->next.load()) {
        if (!image->removed.load() && image->slide == info->dlpi_addr
            && (isFirst ? image->isExecutable : strcmp(image->name, name) == 0)) {
            if (state->seenCount < static_cast<int>(sizeof(state->seen) / sizeof(state->seen[0]))) {
                state->seen[state->seenCount++] = image;
            }
            return 0;
        }
    }
    KXBinaryImage *image = makeImage(info, isFirst);
    if (image != nullptr) {
        append(image);
        if (image->isExecutable) {
            s_main.store(image, std::memory_order_release);
        }
        if (state->seenCount < static_cast<int>(sizeof(state->seen) / sizeof(state->seen[0]))) {
            state->seen[state->seenCount++] = image;
        }
    }
    return 0;
}

bool startsWithFrameRecord(const KXBinaryImage *image, uintptr_t function)
{
#if defined(__x86_64__)
    if (function < image->textStart || function + 8 > image->textEnd) {
        return false;
    }
    const auto *code = reinterpret_cast<const uint8_t *>(function);
    static const uint8_t endbr64[] = {0xF3, 0x0F, 0x1E, 0xFA};
    static const uint8_t prologue[] = {0x55, 0x48, 0x89, 0xE5}; // push rbp; mov rbp, rsp
    if (memcmp(code, endbr64, sizeof(endbr64)) == 0) {
        code += sizeof(endbr64);
    }
    return memcmp(code, prologue, sizeof(prologue)) == 0;
#else
    (void)image;
    (void)function;
    return true; // the arm64 ABI keeps frame records
#endif
}

// Samples the exported functions' prologues. An image without exported functions counts as
// keeping frame records: nothing suggests otherwise, and guessing wrong costs made-up frames.
bool sampleFrameRecords(const KXBinaryImage *image)
{
    const auto *symbols = static_cast<const ElfW(Sym) *>(image->symbols);
    int sampled = 0;
    int withRecords = 0;
    for (size_t i = 0; i < image->symbolCount && sampled < 256; i++) {
        if (symbols[i].st_shndx == SHN_UNDEF || ELF64_ST_TYPE(symbols[i].st_info) != STT_FUNC
            || symbols[i].st_size < 16) {
            continue;
        }
        sampled++;
        withRecords += startsWithFrameRecord(image, image->slide + symbols[i].st_value) ? 1 : 0;
    }
    return sampled == 0 || withRecords * 2 >= sampled;
}

bool isCallBefore(const uint8_t *r)
{
#if defined(__x86_64__)
    // call rel32; call [rip+disp32]; call reg; call [reg]; call [reg+disp8]; call [sib+disp8];
    // call [reg+disp32]; call [sib+disp32]; call [sib]
    return r[-5] == 0xE8 || (r[-6] == 0xFF && r[-5] == 0x15) || (r[-2] == 0xFF && (r[-1] & 0xF8) == 0xD0)
           || (r[-2] == 0xFF && (r[-1] & 0xF8) == 0x10) || (r[-3] == 0xFF && (r[-2] & 0xF8) == 0x50)
           || (r[-4] == 0xFF && r[-3] == 0x54) || (r[-6] == 0xFF && (r[-5] & 0xF8) == 0x90)
           || (r[-7] == 0xFF && r[-6] == 0x94) || (r[-3] == 0xFF && r[-2] == 0x14);
#elif defined(__aarch64__)
    uint32_t instruction;
    memcpy(&instruction, r - 4, 4);
    return (instruction & 0xFC000000) == 0x94000000 || (instruction & 0xFFFFFC1F) == 0xD63F0000;
#endif
}

} // namespace

void kximagesRefresh()
{
    pthread_mutex_lock(&s_refreshLock);
    static RefreshState state;
    state.isFirst = true;
    state.seenCount = 0;
    dl_iterate_phdr(refreshOne, &state);
    for (KXBinaryImage *image = kximagesFirst(); image != nullptr; image = image->next.load()) {
        bool seen = false;
        for (int i = 0; i < state.seenCount && !seen; i++) {
            seen = state.seen[i] == image;
        }
        if (!seen) {
            image->removed.store(true);
        }
    }
    pthread_mutex_unlock(&s_refreshLock);
}

KXBinaryImage *kximagesFirst()
{
    return s_head.load(std::memory_order_acquire);
}

KXBinaryImage *kximagesMain()
{
    return s_main.load(std::memory_order_acquire);
}

KXBinaryImage *kximagesForAddress(uintptr_t address)
{
    for (KXBinaryImage *image = kximagesFirst(); image != nullptr; image = image->next.load()) {
        if (!image->removed.load(std::memory_order_relaxed) && address >= image->textStart
            && address < image->textEnd) {
            return image;
        }
    }
    return nullptr;
}

KXBinaryImage *kximagesForName(const char *name)
{
    for (KXBinaryImage *image = kximagesFirst(); image != nullptr; image = image->next.load()) {
        if (!image->removed.load(std::memory_order_relaxed)
            && (strcmp(image->name, name) == 0 || strstr(image->name, name) != nullptr)) {
            return image;
        }
    }
    return nullptr;
}

void kximagesClearUsed()
{
    for (KXBinaryImage *image = kximagesFirst(); image != nullptr; image = image->next.load()) {
        image->used.store(false, std::memory_order_relaxed);
    }
}

bool kximagesLookup(uintptr_t address, KXSymbolInfo *info)
{
    info->image = kximagesForAddress(address);
    info->symbolAddress = 0;
    info->symbolName = nullptr;
    if (info->image == nullptr) {
        return false;
    }
    const KXBinaryImage *image = info->image;
    const auto *symbols = static_cast<const ElfW(Sym) *>(image->symbols);
    const ElfW(Sym) *best = nullptr;
    uintptr_t bestAddress = 0;
    for (size_t i = 0; i < image->symbolCount; i++) {
        const ElfW(Sym) &symbol = symbols[i];
        const int type = ELF64_ST_TYPE(symbol.st_info);
        if (symbol.st_shndx == SHN_UNDEF || (type != STT_FUNC && type != STT_GNU_IFUNC) || symbol.st_name == 0
            || symbol.st_name >= image->stringsSize) {
            continue;
        }
        const uintptr_t start = image->slide + symbol.st_value;
        if (start > address || start < bestAddress) {
            continue;
        }
        // At one address an exported name wins; otherwise the later entry.
        if (best != nullptr && start == bestAddress && ELF64_ST_BIND(best->st_info) == STB_GLOBAL
            && ELF64_ST_BIND(symbol.st_info) != STB_GLOBAL) {
            continue;
        }
        best = &symbol;
        bestAddress = start;
    }
    if (best != nullptr && (best->st_size == 0 || address < bestAddress + best->st_size)) {
        info->symbolAddress = bestAddress;
        info->symbolName = image->strings + best->st_name;
    }
    return true;
}

bool kximagesLacksFrameRecords(uintptr_t address)
{
    KXSymbolInfo info;
    if (!kximagesLookup(address, &info)) {
        return false;
    }
    if (info.symbolName == nullptr) {
        return !info.image->keepsFrameRecords;
    }
    return !startsWithFrameRecord(info.image, info.symbolAddress);
}

bool kximagesIsReturnAddress(uintptr_t address)
{
    const KXBinaryImage *image = kximagesForAddress(address);
    if (image == nullptr || address < image->textStart + 8) {
        return false;
    }
    return isCallBefore(reinterpret_cast<const uint8_t *>(address));
}

} // namespace kestrix

// Keep the image list current as libraries come and go. The wrappers take the caller's place in
// dlopen's own lookup of run paths, so a library opened by bare name resolves against ours.
extern "C" void *dlopen(const char *file, int mode) noexcept
{
    using DlopenFunc = void *(*)(const char *, int);
    static DlopenFunc next = reinterpret_cast<DlopenFunc>(dlsym(RTLD_NEXT, "dlopen"));
    void *handle = next(file, mode);
    if (handle != nullptr) {
        kestrix::kximagesRefresh();
    }
    return handle;
}

extern "C" int dlclose(void *handle) noexcept
{
    using DlcloseFunc = int (*)(void *);
    static DlcloseFunc next = reinterpret_cast<DlcloseFunc>(dlsym(RTLD_NEXT, "dlclose"));
    const int result = next(handle);
    kestrix::kximagesRefresh();
    return result;
}
