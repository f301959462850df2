#include "crashreporter/core/KXBinaryImages.h"

#include "crashreporter/core/KXMachineContext.h"
#include "crashreporter/core/KXMemory.h"

#include <dlfcn.h>
#include <elf.h>
#include <execinfo.h>
#include <link.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kestrix {

namespace {

const KXBinaryImageList s_emptyList{nullptr, nullptr, 0};
std::atomic<const KXBinaryImageList *> s_list{&s_emptyList};
std::atomic<KXBinaryImage *> s_main{nullptr};
std::atomic<KXBinaryImage *> s_lastFound{nullptr};
pthread_mutex_t s_refreshLock = PTHREAD_MUTEX_INITIALIZER;

// The list taken as final at crash time, which may not allocate.
constexpr int MaxCrashImages = 2048;
KXBinaryImage *s_crashImages[MaxCrashImages];
KXBinaryImage *s_crashByAddress[MaxCrashImages];
KXBinaryImageList s_crashList{s_crashImages, s_crashByAddress, 0};
std::atomic<bool> s_frozen{false};

// Room for images found only at crash time.
constexpr int MaxUnlistedImages = 64;
constexpr int MaxProgramHeaders = 32;
constexpr int MaxLinkMapSteps = 4096;
KXBinaryImage s_unlisted[MaxUnlistedImages];
int s_unlistedUsed = 0;
std::atomic<const r_debug *> s_linkerDebug{nullptr};

struct RefreshState
{
    const KXBinaryImageList *previous;
    std::vector<KXBinaryImage *> found;
};

// The last of `count` images sorted by text start that may hold `address`, or null.
KXBinaryImage *searchSorted(KXBinaryImage *const *images, int count, uintptr_t address)
{
    int low = 0;
    int high = count;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (images[middle]->textStart <= address) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low > 0 ? images[low - 1] : nullptr;
}

bool isListed(KXBinaryImage *const *images, int count, uintptr_t slide)
{
    for (int i = 0; i < count; i++) {
        if (images[i]->slide == slide) {
            return true;
        }
    }
    return false;
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
        case DT_DEBUG:
            // The executable's: the dynamic linker points it at its own list of loaded objects. (A
            // reference to _r_debug could be to a copy taken when the executable was relocated.)
            if (entry->d_un.d_ptr != 0) {
                s_linkerDebug.store(reinterpret_cast<const r_debug *>(entry->d_un.d_ptr), std::memory_order_release);
            }
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

// Fills the record from the image's program headers, reading only what the image maps; allocates
// nothing, so the crash path can use it. False for an image without executable code.
bool fillImage(KXBinaryImage *image, uintptr_t slide, const ElfW(Phdr) * headers, int headerCount)
{
    image->slide = slide;
    const ElfW(Dyn) *dynamic = nullptr;
    for (int i = 0; i < headerCount; i++) {
        const ElfW(Phdr) &header = headers[i];
        if (header.p_type == PT_LOAD) {
            if (header.p_offset == 0 && image->address == 0) {
                image->address = slide + header.p_vaddr;
            }
            if ((header.p_flags & PF_X) != 0 && image->textStart == 0) {
                image->vmAddress = header.p_vaddr;
                image->size = header.p_memsz;
                image->textStart = slide + header.p_vaddr;
                image->textEnd = image->textStart + header.p_memsz;
            }
        } else if (header.p_type == PT_NOTE && image->uuid == nullptr) {
            image->uuid = findBuildID(slide + header.p_vaddr, header.p_memsz, header.p_align >= 8 ? 8 : 4);
        } else if (header.p_type == PT_DYNAMIC) {
            dynamic = reinterpret_cast<const ElfW(Dyn) *>(slide + header.p_vaddr);
        }
    }
    if (image->textStart == 0) {
        return false;
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
    return true;
}

const ElfW(Sym) * symbolsOf(const KXBinaryImage *image)
{
    return static_cast<const ElfW(Sym) *>(image->symbols);
}

bool isNamedFunction(const KXBinaryImage *image, const ElfW(Sym) & symbol)
{
    const int type = ELF64_ST_TYPE(symbol.st_info);
    return symbol.st_shndx != SHN_UNDEF && (type == STT_FUNC || type == STT_GNU_IFUNC) && symbol.st_name != 0
           && symbol.st_name < image->stringsSize;
}

// Of two functions at one address an exported name wins; otherwise the later entry.
bool takesPlaceOf(const ElfW(Sym) & later, const ElfW(Sym) & earlier)
{
    return ELF64_ST_BIND(earlier.st_info) != STB_GLOBAL || ELF64_ST_BIND(later.st_info) == STB_GLOBAL;
}

// Sorts the named functions by address once, so that a crash-time lookup is a binary search and
// not a pass over the whole table for every frame.
void indexFunctions(KXBinaryImage *image)
{
    struct Entry
    {
        uint64_t address;
        uint32_t symbol;
    };
    const ElfW(Sym) *symbols = symbolsOf(image);
    auto *entries = static_cast<Entry *>(malloc(sizeof(Entry) * (image->symbolCount + 1)));
    auto *index = static_cast<uint32_t *>(malloc(sizeof(uint32_t) * (image->symbolCount + 1)));
    if (entries == nullptr || index == nullptr) {
        free(entries);
        free(index);
        return;
    }
    size_t count = 0;
    for (size_t i = 0; i < image->symbolCount; i++) {
        if (isNamedFunction(image, symbols[i])) {
            entries[count++] = {symbols[i].st_value, static_cast<uint32_t>(i)};
        }
    }
    // Sorted by address, and at one address in table order.
    std::sort(entries, entries + count, [](const Entry &a, const Entry &b) {
        return a.address < b.address || (a.address == b.address && a.symbol < b.symbol);
    });
    size_t kept = 0;
    for (size_t i = 0; i < count; i++) {
        if (kept == 0 || entries[i - 1].address != entries[i].address) {
            index[kept++] = entries[i].symbol;
        } else if (takesPlaceOf(symbols[entries[i].symbol], symbols[index[kept - 1]])) {
            index[kept - 1] = entries[i].symbol;
        }
    }
    free(entries);
    image->functionCount = kept;
    image->functionsByAddress.store(index, std::memory_order_release);
}

// One indexing thread at a time; a request made while it runs sends it round the list again.
std::atomic<bool> s_indexerRunning{false};
std::atomic<bool> s_indexWanted{false};
std::atomic<int> s_indexGeneration{0};

using DlopenFunc = void *(*)(const char *, int);
using DlcloseFunc = int (*)(void *);

DlopenFunc realDlopen()
{
    static const auto next = reinterpret_cast<DlopenFunc>(dlsym(RTLD_NEXT, "dlopen"));
    return next;
}

DlcloseFunc realDlclose()
{
    static const auto next = reinterpret_cast<DlcloseFunc>(dlsym(RTLD_NEXT, "dlclose"));
    return next;
}

// The image the indexer is reading, and how many dlclose calls are under way: a library is not
// unmapped while its tables are read, and the indexer leaves images alone while one closes.
std::atomic<KXBinaryImage *> s_indexing{nullptr};
std::atomic<int> s_closing{0};

void indexListed()
{
    for (KXBinaryImage *image : kximagesList()) {
        if (image->functionsByAddress.load(std::memory_order_acquire) != nullptr || image->symbolCount == 0
            || image->removed.load(std::memory_order_relaxed)) {
            continue;
        }
        s_indexing.store(image);
        if (s_closing.load() == 0 && !image->removed.load()) {
            indexFunctions(image);
        }
        s_indexing.store(nullptr);
    }
}

void runIndexer()
{
    do {
        s_indexWanted.store(false);
        indexListed();
        s_indexGeneration.fetch_add(1);
        s_indexerRunning.store(false);
        s_indexGeneration.notify_all();
    } while (s_indexWanted.load() && !s_indexerRunning.exchange(true));
}

void *startIndexer(void *)
{
    // Work the application can wait for: it must not take time from the thread that asked for it.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
    // The process's first backtrace() loads the unwinder, most of a millisecond that the first
    // handled error would otherwise spend with its threads stopped.
    static std::atomic<bool> unwinderLoaded{false};
    if (!unwinderLoaded.exchange(true)) {
        void *frames[4];
        backtrace(frames, 4);
    }
    runIndexer();
    return nullptr;
}

void requestIndexing()
{
    // A child forked while the indexer ran has no indexer: let the next request start one.
    static const bool forkHandled = pthread_atfork(nullptr, nullptr, [] { s_indexerRunning.store(false); }) == 0;
    (void)forkHandled;
    s_indexWanted.store(true);
    if (s_indexerRunning.exchange(true)) {
        return; // the running indexer sees the request when it is done
    }
    pthread_attr_t attributes;
    pthread_t thread;
    const bool started = pthread_attr_init(&attributes) == 0
                         && pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0
                         && pthread_create(&thread, &attributes, startIndexer, nullptr) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) {
        runIndexer();
    }
}

KXBinaryImage *makeImage(const dl_phdr_info *info, bool isFirst)
{
    auto *image = static_cast<KXBinaryImage *>(calloc(1, sizeof(KXBinaryImage)));
    if (image == nullptr) {
        return nullptr;
    }
    if (!fillImage(image, info->dlpi_addr, info->dlpi_phdr, info->dlpi_phnum)) {
        free(image);
        return nullptr;
    }
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
    const bool isFirst = state->found.empty();
    const char *name = info->dlpi_name != nullptr ? info->dlpi_name : "";
    for (KXBinaryImage *image : *state->previous) {
        if (!image->removed.load() && image->slide == info->dlpi_addr
            && (isFirst ? image->isExecutable : strcmp(image->name, name) == 0)) {
            state->found.push_back(image);
            return 0;
        }
    }
    if (KXBinaryImage *image = makeImage(info, isFirst)) {
        state->found.push_back(image);
    }
    return 0;
}

// A list of the images found, never freed.
const KXBinaryImageList *makeList(const std::vector<KXBinaryImage *> &found)
{
    auto **images = static_cast<KXBinaryImage **>(malloc(sizeof(KXBinaryImage *) * (found.size() + 1)));
    auto **byAddress = static_cast<KXBinaryImage **>(malloc(sizeof(KXBinaryImage *) * (found.size() + 1)));
    auto *list = static_cast<KXBinaryImageList *>(malloc(sizeof(KXBinaryImageList)));
    if (images == nullptr || byAddress == nullptr || list == nullptr) {
        free(images);
        free(byAddress);
        free(list);
        return nullptr;
    }
    std::copy(found.begin(), found.end(), images);
    std::copy(found.begin(), found.end(), byAddress);
    std::sort(byAddress, byAddress + found.size(), [](const KXBinaryImage *a, const KXBinaryImage *b) {
        return a->textStart < b->textStart;
    });
    *list = {images, byAddress, static_cast<int>(found.size())};
    return list;
}

struct LinkerCounts
{
    bool isKnown = false;
    unsigned long long adds = 0;
    unsigned long long subs = 0;
};

int readLinkerCounts(dl_phdr_info *info, size_t size, void *data)
{
    auto *counts = static_cast<LinkerCounts *>(data);
    if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof(info->dlpi_subs)) {
        *counts = {true, info->dlpi_adds, info->dlpi_subs};
    }
    return 1; // the first object tells
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
    // The dynamic linker counts the objects it ever loaded and unloaded: equal counts, equal list.
    static LinkerCounts counted;
    LinkerCounts now;
    dl_iterate_phdr(readLinkerCounts, &now);
    if (now.isKnown && counted.isKnown && now.adds == counted.adds && now.subs == counted.subs) {
        pthread_mutex_unlock(&s_refreshLock);
        return;
    }
    RefreshState state{s_list.load(std::memory_order_acquire), {}};
    dl_iterate_phdr(refreshOne, &state);
    const KXBinaryImageList *list = makeList(state.found);
    if (!state.found.empty() && state.found.front()->isExecutable) {
        s_main.store(state.found.front(), std::memory_order_release);
    }
    // A crash being reported has taken the last list as final.
    const KXBinaryImageList *expected = state.previous;
    if (list != nullptr && s_list.compare_exchange_strong(expected, list, std::memory_order_acq_rel)) {
        counted = now;
        for (KXBinaryImage *image : *state.previous) {
            if (std::find(state.found.begin(), state.found.end(), image) == state.found.end()) {
                image->removed.store(true);
            }
        }
    }
    pthread_mutex_unlock(&s_refreshLock);
}

void kximagesIndexInBackground()
{
    requestIndexing();
}

void kximagesWaitForIndex()
{
    for (;;) {
        const int generation = s_indexGeneration.load();
        if (!s_indexerRunning.load() && !s_indexWanted.load()) {
            return;
        }
        s_indexGeneration.wait(generation);
    }
}

const KXBinaryImageList &kximagesList()
{
    return *s_list.load(std::memory_order_acquire);
}

KXBinaryImage *kximagesMain()
{
    return s_main.load(std::memory_order_acquire);
}

KXBinaryImage *kximagesForAddress(uintptr_t address)
{
    const auto holds = [address](const KXBinaryImage *image) {
        return !image->removed.load(std::memory_order_relaxed) && address >= image->textStart
               && address < image->textEnd;
    };
    // A stack walk asks about one image many times in a row.
    KXBinaryImage *last = s_lastFound.load(std::memory_order_relaxed);
    if (last != nullptr && holds(last)) {
        return last;
    }
    const KXBinaryImageList &list = kximagesList();
    KXBinaryImage *image = searchSorted(list.byAddress, list.count, address);
    if (image == nullptr || !holds(image)) {
        return nullptr;
    }
    s_lastFound.store(image, std::memory_order_relaxed);
    return image;
}

KXBinaryImage *kximagesForName(const char *name)
{
    for (KXBinaryImage *image : kximagesList()) {
        if (!image->removed.load(std::memory_order_relaxed)
            && (strcmp(image->name, name) == 0 || strstr(image->name, name) != nullptr)) {
            return image;
        }
    }
    return nullptr;
}

void kximagesClearUsed()
{
    for (KXBinaryImage *image : kximagesList()) {
        // Only the records that change are written: a page of records unwritten since a fork
        // would otherwise be copied at crash time.
        if (image->used.load(std::memory_order_relaxed)) {
            image->used.store(false, std::memory_order_relaxed);
        }
    }
}

namespace {

// The named function starting last at or below `address`.
const ElfW(Sym) * functionBelow(const KXBinaryImage *image, uintptr_t address)
{
    const ElfW(Sym) *symbols = symbolsOf(image);
    if (const uint32_t *sorted = image->functionsByAddress.load(std::memory_order_acquire)) {
        size_t low = 0;
        size_t high = image->functionCount;
        while (low < high) {
            const size_t middle = low + (high - low) / 2;
            if (image->slide + symbols[sorted[middle]].st_value <= address) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        return low > 0 ? &symbols[sorted[low - 1]] : nullptr;
    }
    // Not sorted yet: the whole table, as a crash soon after start may find it.
    const ElfW(Sym) *best = nullptr;
    for (size_t i = 0; i < image->symbolCount; i++) {
        const ElfW(Sym) &symbol = symbols[i];
        if (!isNamedFunction(image, symbol) || image->slide + symbol.st_value > address
            || (best != nullptr && symbol.st_value < best->st_value)) {
            continue;
        }
        if (best == nullptr || symbol.st_value != best->st_value || takesPlaceOf(symbol, *best)) {
            best = &symbol;
        }
    }
    return best;
}

} // namespace

bool kximagesLookup(uintptr_t address, KXSymbolInfo *info)
{
    info->image = kximagesForAddress(address);
    info->symbolAddress = 0;
    info->symbolName = nullptr;
    if (info->image == nullptr) {
        return false;
    }
    const KXBinaryImage *image = info->image;
    const ElfW(Sym) *best = functionBelow(image, address);
    const uintptr_t bestAddress = best != nullptr ? image->slide + best->st_value : 0;
    if (best != nullptr && (best->st_size == 0 || address < bestAddress + best->st_size)) {
        info->symbolAddress = bestAddress;
        info->symbolName = image->strings + best->st_name;
    }
    return true;
}

namespace {

// Appends to the crash-time list the images the dynamic linker lists and it lacks.
void addUnlisted(int *count)
{
    const r_debug *linker = s_linkerDebug.load(std::memory_order_acquire);
    r_debug state;
    if (linker == nullptr || !kxmemCopyChecked(linker, &state, sizeof(state))
        || state.r_state != r_debug::RT_CONSISTENT) {
        return; // unknown, or another thread is in the middle of loading or unloading
    }
    const link_map *at = state.r_map;
    for (int steps = 0; at != nullptr && steps < MaxLinkMapSteps; steps++) {
        link_map entry;
        if (!kxmemCopyChecked(at, &entry, sizeof(entry))) {
            return;
        }
        at = entry.l_next;
        if (entry.l_addr == 0 || isListed(s_crashImages, *count, entry.l_addr)) {
            continue;
        }
        // A shared object maps its ELF header at its load bias.
        ElfW(Ehdr) header;
        ElfW(Phdr) headers[MaxProgramHeaders];
        if (!kxmemCopyChecked(reinterpret_cast<const void *>(entry.l_addr), &header, sizeof(header))
            || memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_phentsize != sizeof(ElfW(Phdr))
            || header.e_phnum > MaxProgramHeaders
            || !kxmemCopyChecked(reinterpret_cast<const void *>(entry.l_addr + header.e_phoff),
                                 headers,
                                 sizeof(ElfW(Phdr)) * header.e_phnum)) {
            continue;
        }
        if (s_unlistedUsed >= MaxUnlistedImages || *count >= MaxCrashImages) {
            return;
        }
        KXBinaryImage *image = &s_unlisted[s_unlistedUsed];
        if (fillImage(image, entry.l_addr, headers, header.e_phnum)) {
            image->name = entry.l_name != nullptr ? entry.l_name : "";
            s_unlistedUsed++;
            s_crashImages[(*count)++] = image;
        }
    }
}

} // namespace

void kximagesFreeze()
{
    if (s_frozen.exchange(true)) {
        return;
    }
    int count = 0;
    for (KXBinaryImage *image : kximagesList()) {
        if (!image->removed.load(std::memory_order_relaxed) && count < MaxCrashImages) {
            s_crashImages[count++] = image;
        }
    }
    addUnlisted(&count);
    for (int i = 0; i < count; i++) {
        int at = i;
        for (; at > 0 && s_crashByAddress[at - 1]->textStart > s_crashImages[i]->textStart; at--) {
            s_crashByAddress[at] = s_crashByAddress[at - 1];
        }
        s_crashByAddress[at] = s_crashImages[i];
    }
    s_crashList.count = count;
    s_list.store(&s_crashList, std::memory_order_release);
}

bool kximagesLacksFrameRecords(uintptr_t address)
{
    KXSymbolInfo info;
    if (!kximagesLookup(address, &info)) {
        return false;
    }
    if (info.symbolName == nullptr) {
        // Sampled here rather than when the image is added: it reads code pages, which only
        // matters for the few images a backtrace passes through.
        uint8_t keeps = info.image->keepsFrameRecords.load(std::memory_order_relaxed);
        if (keeps == 0) {
            keeps = sampleFrameRecords(info.image) ? 1 : 2;
            info.image->keepsFrameRecords.store(keeps, std::memory_order_relaxed);
        }
        return keeps == 2;
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
    void *handle = kestrix::realDlopen()(file, mode);
    if (handle != nullptr) {
        kestrix::kximagesRefresh();
        kestrix::kximagesIndexInBackground();
    }
    return handle;
}

extern "C" int dlclose(void *handle) noexcept
{
    kestrix::s_closing.fetch_add(1);
    while (kestrix::s_indexing.load() != nullptr) {
        sched_yield();
    }
    const int result = kestrix::realDlclose()(handle);
    kestrix::kximagesRefresh();
    kestrix::s_closing.fetch_sub(1);
    return result;
}
