#pragma once

#include <sys/types.h>

#include <cstdint>

namespace kestrix {

// The registers of one thread, copied out of a signal's user context.
struct KXMachineContext
{
    static constexpr int MaxRegisters = 34;
    static constexpr int MaxExceptionRegisters = 3;

    uint64_t registers[MaxRegisters];
    uint64_t exceptionRegisters[MaxExceptionRegisters];
    bool isValid;
};

// Fills `context` from the `ucontext_t` a signal handler was given; async-signal-safe.
void kxmcFromUserContext(const void *userContext, KXMachineContext *context);

uintptr_t kxmcProgramCounter(const KXMachineContext *context);
uintptr_t kxmcStackPointer(const KXMachineContext *context);
uintptr_t kxmcFramePointer(const KXMachineContext *context);
// The link register on architectures that have one, else 0.
uintptr_t kxmcLinkRegister(const KXMachineContext *context);
uintptr_t kxmcFaultAddress(const KXMachineContext *context);

int kxmcRegisterCount();
const char *kxmcRegisterName(int index);
int kxmcExceptionRegisterCount();
const char *kxmcExceptionRegisterName(int index);

// The Mach-style CPU type and subtype numbers of this build's architecture, and of an ELF machine.
void kxmcCPUTypeForELFMachine(int elfMachine, int32_t *cpuType, int32_t *cpuSubtype);

} // namespace kestrix
