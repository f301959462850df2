// An answer body of the account backend, as the client decodes its records, and the signed-in user as
// stored in the defaults.
#include "FuzzTarget.h"
#include "account/APIClient.h"
#include "account/APIError.h"
#include "account/AuthResponse.h"
#include "account/User.h"
#include "core/DecodingError.h"

#include <QJsonDocument>

using namespace plimsy;

namespace {

template <typename T> void decodeAs(const QByteArray &body)
{
    try {
        APIClient::decode<T>(body);
    } catch (const APIError &) {
    }
}

} // namespace

void fuzzOne(const QByteArray &input)
{
    decodeAs<User>(input);
    decodeAs<AuthResponse>(input);
    const QJsonDocument stored = QJsonDocument::fromJson(input);
    try {
        User::fromJson(stored.object());
    } catch (const DecodingError &) {
    }
}
