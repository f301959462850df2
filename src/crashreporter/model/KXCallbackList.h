#pragma once

#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace kestrix {

// What registering a callback returns; hand it back to remove that callback.
struct KestrixCallbackToken
{
    uint64_t id = 0;
    bool operator==(const KestrixCallbackToken &) const = default;
};

// An ordered list of callbacks, safe from any thread. Copies of a configuration share one list.
template <typename Signature> class KXCallbackList
{
public:
    using Callback = std::function<Signature>;

    KestrixCallbackToken add(Callback callback)
    {
        std::lock_guard lock(m_mutex);
        const KestrixCallbackToken token{++m_lastId};
        m_callbacks.emplace_back(token, std::move(callback));
        return token;
    }

    void remove(KestrixCallbackToken token)
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_callbacks, [token](const auto &entry) { return entry.first == token; });
    }

    // The callbacks in the order they were added; run them without holding the list.
    std::vector<Callback> callbacks() const
    {
        std::lock_guard lock(m_mutex);
        std::vector<Callback> result;
        result.reserve(m_callbacks.size());
        for (const auto &entry : m_callbacks) {
            result.push_back(entry.second);
        }
        return result;
    }

    size_t size() const
    {
        std::lock_guard lock(m_mutex);
        return m_callbacks.size();
    }

private:
    mutable std::mutex m_mutex;
    uint64_t m_lastId = 0;
    std::vector<std::pair<KestrixCallbackToken, Callback>> m_callbacks;
};

} // namespace kestrix
