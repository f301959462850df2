#pragma once

#include <QList>

#include <algorithm>
#include <optional>

namespace plimsy {

struct Server;
struct Site;

// What the application holds of the last refresh: every account's servers and sites and whether a
// refresh is loading. The application shell registers the object that owns these lists; the record
// lookups (Server::find, Site::find, loadedSite) read through it. GUI thread only.
class LoadedRecords
{
public:
    virtual ~LoadedRecords() = default;

    virtual QList<Server> servers() const = 0;
    virtual QList<Site> sites() const = 0;
    virtual bool isLoadingData() const = 0;

    // Not owned; the holder must outlive its registration (register nullptr to withdraw it).
    static void setCurrent(const LoadedRecords *records);
    // None until the shell has registered one.
    static const LoadedRecords *current();

protected:
    LoadedRecords() = default;
    LoadedRecords(const LoadedRecords &) = default;
    LoadedRecords &operator=(const LoadedRecords &) = default;
};

// A copy of the first record with the id, or none.
template <typename Record> std::optional<Record> firstWithId(const QList<Record> &records, qint64 id)
{
    const auto found = std::find_if(records.cbegin(), records.cend(), [id](const Record &r) { return r.id == id; });
    return found == records.cend() ? std::nullopt : std::optional<Record>(*found);
}

} // namespace plimsy
