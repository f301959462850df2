#include "crashreporter/core/KXSignalInfo.h"

#include <signal.h>

namespace kestrix {

namespace {

struct CodeName
{
    int code;
    const char *name;
};

struct SignalRow
{
    int signal;
    const char *name;
    const CodeName *codes;
    int codeCount;
};

constexpr CodeName BusCodes[] = {
    {BUS_ADRALN, "BUS_ADRALN"},
    {BUS_ADRERR, "BUS_ADRERR"},
    {BUS_OBJERR, "BUS_OBJERR"},
    {BUS_MCEERR_AR, "BUS_MCEERR_AR"},
    {BUS_MCEERR_AO, "BUS_MCEERR_AO"},
};
constexpr CodeName FpeCodes[] = {
    {FPE_INTDIV, "FPE_INTDIV"},
    {FPE_INTOVF, "FPE_INTOVF"},
    {FPE_FLTDIV, "FPE_FLTDIV"},
    {FPE_FLTOVF, "FPE_FLTOVF"},
    {FPE_FLTUND, "FPE_FLTUND"},
    {FPE_FLTRES, "FPE_FLTRES"},
    {FPE_FLTINV, "FPE_FLTINV"},
    {FPE_FLTSUB, "FPE_FLTSUB"},
};
constexpr CodeName IllCodes[] = {
    {ILL_ILLOPC, "ILL_ILLOPC"},
    {ILL_ILLOPN, "ILL_ILLOPN"},
    {ILL_ILLADR, "ILL_ILLADR"},
    {ILL_ILLTRP, "ILL_ILLTRP"},
    {ILL_PRVOPC, "ILL_PRVOPC"},
    {ILL_PRVREG, "ILL_PRVREG"},
    {ILL_COPROC, "ILL_COPROC"},
    {ILL_BADSTK, "ILL_BADSTK"},
};
constexpr CodeName SegvCodes[] = {
    {SEGV_MAPERR, "SEGV_MAPERR"},
    {SEGV_ACCERR, "SEGV_ACCERR"},
    {3, "SEGV_BNDERR"},
    {4, "SEGV_PKUERR"},
};
constexpr CodeName SysCodes[] = {
    {1, "SYS_SECCOMP"},
};
constexpr CodeName TrapCodes[] = {
    {TRAP_BRKPT, "TRAP_BRKPT"},
    {TRAP_TRACE, "TRAP_TRACE"},
    {3, "TRAP_BRANCH"},
    {4, "TRAP_HWBKPT"},
};
// Codes that any signal can carry: who sent it rather than what went wrong.
constexpr CodeName SenderCodes[] = {
    {SI_USER, "SI_USER"},
    {SI_KERNEL, "SI_KERNEL"},
    {SI_QUEUE, "SI_QUEUE"},
    {SI_TIMER, "SI_TIMER"},
    {SI_MESGQ, "SI_MESGQ"},
    {SI_ASYNCIO, "SI_ASYNCIO"},
    {SI_SIGIO, "SI_SIGIO"},
    {SI_TKILL, "SI_TKILL"},
};

template <int N> constexpr int count(const CodeName (&)[N])
{
    return N;
}

constexpr SignalRow Signals[] = {
    {SIGABRT, "SIGABRT", nullptr, 0},
    {SIGBUS, "SIGBUS", BusCodes, count(BusCodes)},
    {SIGFPE, "SIGFPE", FpeCodes, count(FpeCodes)},
    {SIGILL, "SIGILL", IllCodes, count(IllCodes)},
    {SIGPIPE, "SIGPIPE", nullptr, 0},
    {SIGSEGV, "SIGSEGV", SegvCodes, count(SegvCodes)},
    {SIGSYS, "SIGSYS", SysCodes, count(SysCodes)},
    {SIGTRAP, "SIGTRAP", TrapCodes, count(TrapCodes)},
};
constexpr int SignalCount = sizeof(Signals) / sizeof(Signals[0]);
constexpr int FatalSignals[SignalCount] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGPIPE, SIGSEGV, SIGSYS, SIGTRAP};

const SignalRow *rowFor(int signal)
{
    for (const SignalRow &row : Signals) {
        if (row.signal == signal) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

const int *kxsignalFatalSignals()
{
    return FatalSignals;
}

int kxsignalFatalSignalsCount()
{
    return SignalCount;
}

const char *kxsignalName(int signal)
{
    const SignalRow *row = rowFor(signal);
    return row != nullptr ? row->name : nullptr;
}

const char *kxsignalCodeName(int signal, int code)
{
    const SignalRow *row = rowFor(signal);
    if (row == nullptr) {
        return nullptr;
    }
    // Positive codes are the signal's own; zero and negative ones say who sent it.
    if (code > 0 && code != SI_KERNEL) {
        for (int i = 0; i < row->codeCount; i++) {
            if (row->codes[i].code == code) {
                return row->codes[i].name;
            }
        }
        return nullptr;
    }
    for (const CodeName &sender : SenderCodes) {
        if (sender.code == code) {
            return sender.name;
        }
    }
    return nullptr;
}

bool kxsignalIsSent(const siginfo_t *info)
{
    return info->si_code <= 0;
}

pid_t kxsignalSenderPID(const siginfo_t *info)
{
    const int code = info->si_code;
    return code == SI_USER || code == SI_TKILL || code == SI_QUEUE ? info->si_pid : 0;
}

} // namespace kestrix
