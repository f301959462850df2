#include "core/LoadedRecords.h"

namespace plimsy {

namespace {

const LoadedRecords *s_current = nullptr;

} // namespace

void LoadedRecords::setCurrent(const LoadedRecords *records)
{
    s_current = records;
}

const LoadedRecords *LoadedRecords::current()
{
    return s_current;
}

} // namespace plimsy
