#pragma once

namespace kestrix {

// Which kinds of error are captured automatically.
struct KestrixErrorTypes
{
    bool appHangs = true;
    bool ooms = true;
    bool thermalKills = true;
    bool unhandledExceptions = true;
    bool signals = true;
    bool cppExceptions = true;
    bool machExceptions = true;
    bool unhandledRejections = true;

    bool operator==(const KestrixErrorTypes &) const = default;
};

} // namespace kestrix
