#include "crashreporter/core/KXMachineContext.h"

#include <elf.h>
#include <ucontext.h>

namespace kestrix {

namespace {

#if defined(__x86_64__)
constexpr const char *RegisterNames[] = {"rax", "rbx", "rcx", "rdx", "rdi", "rsi", "rbp",    "rsp", "r8", "r9", "r10",
                                         "r11", "r12", "r13", "r14", "r15", "rip", "rflags", "cs",  "fs", "gs"};
constexpr int GregIndex[] = {REG_RAX,
                             REG_RBX,
                             REG_RCX,
                             REG_RDX,
                             REG_RDI,
                             REG_RSI,
                             REG_RBP,
                             REG_RSP,
                             REG_R8,
                             REG_R9,
                             REG_R10,
                             REG_R11,
                             REG_R12,
                             REG_R13,
                             REG_R14,
                             REG_R15,
                             REG_RIP,
                             REG_EFL};
constexpr const char *ExceptionRegisterNames[] = {"trapno", "err", "cr2"};
enum
{
    PC = 16,
    SP = 7,
    FP = 6
};
#elif defined(__aarch64__)
constexpr const char *RegisterNames[] = {"x0",  "x1",  "x2",  "x3",  "x4",  "x5",  "x6",  "x7",  "x8",
                                         "x9",  "x10", "x11", "x12", "x13", "x14", "x15", "x16", "x17",
                                         "x18", "x19", "x20", "x21", "x22", "x23", "x24", "x25", "x26",
                                         "x27", "x28", "fp",  "lr",  "sp",  "pc",  "cpsr"};
constexpr const char *ExceptionRegisterNames[] = {"far"};
enum
{
    PC = 32,
    SP = 31,
    FP = 29,
    LR = 30
};
#else
#error "The crash core knows the registers of x86_64 and arm64 only"
#endif

constexpr int RegisterCount = sizeof(RegisterNames) / sizeof(RegisterNames[0]);
constexpr int ExceptionRegisterCount = sizeof(ExceptionRegisterNames) / sizeof(ExceptionRegisterNames[0]);
static_assert(RegisterCount <= KXMachineContext::MaxRegisters);
static_assert(ExceptionRegisterCount <= KXMachineContext::MaxExceptionRegisters);

} // namespace

void kxmcFromUserContext(const void *userContext, KXMachineContext *context)
{
    const auto *uc = static_cast<const ucontext_t *>(userContext);
    for (auto &value : context->registers) {
        value = 0;
    }
    for (auto &value : context->exceptionRegisters) {
        value = 0;
    }
#if defined(__x86_64__)
    const greg_t *gregs = uc->uc_mcontext.gregs;
    for (unsigned i = 0; i < sizeof(GregIndex) / sizeof(GregIndex[0]); i++) {
        context->registers[i] = static_cast<uint64_t>(gregs[GregIndex[i]]);
    }
    // cs, gs and fs share one register slot, 16 bits each.
    const uint64_t segments = static_cast<uint64_t>(gregs[REG_CSGSFS]);
    context->registers[18] = segments & 0xFFFF;
    context->registers[19] = (segments >> 32) & 0xFFFF;
    context->registers[20] = (segments >> 16) & 0xFFFF;
    context->exceptionRegisters[0] = static_cast<uint64_t>(gregs[REG_TRAPNO]);
    context->exceptionRegisters[1] = static_cast<uint64_t>(gregs[REG_ERR]);
    context->exceptionRegisters[2] = static_cast<uint64_t>(gregs[REG_CR2]);
#elif defined(__aarch64__)
    for (int i = 0; i < 31; i++) {
        context->registers[i] = uc->uc_mcontext.regs[i];
    }
    context->registers[SP] = uc->uc_mcontext.sp;
    context->registers[PC] = uc->uc_mcontext.pc;
    context->registers[33] = uc->uc_mcontext.pstate;
    context->exceptionRegisters[0] = uc->uc_mcontext.fault_address;
#endif
    context->isValid = true;
}

uintptr_t kxmcProgramCounter(const KXMachineContext *context)
{
    return static_cast<uintptr_t>(context->registers[PC]);
}

uintptr_t kxmcStackPointer(const KXMachineContext *context)
{
    return static_cast<uintptr_t>(context->registers[SP]);
}

uintptr_t kxmcFramePointer(const KXMachineContext *context)
{
    return static_cast<uintptr_t>(context->registers[FP]);
}

uintptr_t kxmcLinkRegister(const KXMachineContext *context)
{
#if defined(__aarch64__)
    return static_cast<uintptr_t>(context->registers[LR]);
#else
    (void)context;
    return 0;
#endif
}

uintptr_t kxmcFaultAddress(const KXMachineContext *context)
{
#if defined(__x86_64__)
    return static_cast<uintptr_t>(context->exceptionRegisters[2]);
#else
    return static_cast<uintptr_t>(context->exceptionRegisters[0]);
#endif
}

int kxmcRegisterCount()
{
    return RegisterCount;
}

const char *kxmcRegisterName(int index)
{
    return index >= 0 && index < RegisterCount ? RegisterNames[index] : nullptr;
}

int kxmcExceptionRegisterCount()
{
    return ExceptionRegisterCount;
}

const char *kxmcExceptionRegisterName(int index)
{
    return index >= 0 && index < ExceptionRegisterCount ? ExceptionRegisterNames[index] : nullptr;
}

void kxmcCPUTypeForELFMachine(int elfMachine, int32_t *cpuType, int32_t *cpuSubtype)
{
    // The numbering the report format has always used for architectures.
    switch (elfMachine) {
    case EM_X86_64:
        *cpuType = 0x1000007;
        *cpuSubtype = 3;
        break;
    case EM_386:
        *cpuType = 7;
        *cpuSubtype = 3;
        break;
    case EM_AARCH64:
        *cpuType = 0x100000C;
        *cpuSubtype = 0;
        break;
    case EM_ARM:
        *cpuType = 12;
        *cpuSubtype = 9;
        break;
    default:
        *cpuType = 0;
        *cpuSubtype = 0;
    }
}

} // namespace kestrix
