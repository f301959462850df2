#pragma once

#include <QString>

#include <exception>

namespace plimsy {

// The error underneath another one (a transfer failure under a network error, the decoder's complaint
// under a parse failure), kept whole so that callers can still tell what it was.
struct ErrorCause
{
    std::exception_ptr error;
    QString description; // the underlying error's user-facing text

    // The exception being handled, described by NetworkError's user message or the exception's text.
    // Call inside a catch block.
    static ErrorCause current();

    // Non-null when the cause is an E.
    template <typename E> const E *as() const
    {
        try {
            if (error) {
                std::rethrow_exception(error);
            }
        } catch (const E &found) {
            return &found;
        } catch (...) {
        }
        return nullptr;
    }
};

} // namespace plimsy
