// 2,500 exported functions, so that the crash path's symbol lookups search a table of the size a
// real application exports.
#define PLIMSY_EXPORTED(n)                                                                                             \
    extern "C" [[gnu::noinline]] int benchExportedFunction##n(int x)                                                   \
    {                                                                                                                  \
        return x * n + 1;                                                                                              \
    }
#define PLIMSY_EXPORTED_10(n)                                                                                          \
    PLIMSY_EXPORTED(n##0)                                                                                              \
    PLIMSY_EXPORTED(n##1)                                                                                              \
    PLIMSY_EXPORTED(n##2)                                                                                              \
    PLIMSY_EXPORTED(n##3)                                                                                              \
    PLIMSY_EXPORTED(n##4)                                                                                              \
    PLIMSY_EXPORTED(n##5)                                                                                              \
    PLIMSY_EXPORTED(n##6)                                                                                              \
    PLIMSY_EXPORTED(n##7)                                                                                              \
    PLIMSY_EXPORTED(n##8)                                                                                              \
    PLIMSY_EXPORTED(n##9)
#define PLIMSY_EXPORTED_100(n)                                                                                         \
    PLIMSY_EXPORTED_10(n##0)                                                                                           \
    PLIMSY_EXPORTED_10(n##1)                                                                                           \
    PLIMSY_EXPORTED_10(n##2)                                                                                           \
    PLIMSY_EXPORTED_10(n##3)                                                                                           \
    PLIMSY_EXPORTED_10(n##4)                                                                                           \
    PLIMSY_EXPORTED_10(n##5)                                                                                           \
    PLIMSY_EXPORTED_10(n##6)                                                                                           \
    PLIMSY_EXPORTED_10(n##7)                                                                                           \
    PLIMSY_EXPORTED_10(n##8)                                                                                           \
    PLIMSY_EXPORTED_10(n##9)

// 1000 to 3499.
PLIMSY_EXPORTED_100(10)
PLIMSY_EXPORTED_100(11)
PLIMSY_EXPORTED_100(12)
PLIMSY_EXPORTED_100(13)
PLIMSY_EXPORTED_100(14)
PLIMSY_EXPORTED_100(15)
PLIMSY_EXPORTED_100(16)
PLIMSY_EXPORTED_100(17)
PLIMSY_EXPORTED_100(18)
PLIMSY_EXPORTED_100(19)
PLIMSY_EXPORTED_100(20)
PLIMSY_EXPORTED_100(21)
PLIMSY_EXPORTED_100(22)
PLIMSY_EXPORTED_100(23)
PLIMSY_EXPORTED_100(24)
PLIMSY_EXPORTED_100(25)
PLIMSY_EXPORTED_100(26)
PLIMSY_EXPORTED_100(27)
PLIMSY_EXPORTED_100(28)
PLIMSY_EXPORTED_100(29)
PLIMSY_EXPORTED_100(30)
PLIMSY_EXPORTED_100(31)
PLIMSY_EXPORTED_100(32)
PLIMSY_EXPORTED_100(33)
PLIMSY_EXPORTED_100(34)
