// A Forge answer body decoded as every listing and single record the client asks for, and the next
// page's address that a listing names. The listings read straight from the bytes must come out exactly
// as the parsed document decodes them, or be left to it.
#include "FuzzTarget.h"
#include "core/ForgeAttributes.h"
#include "core/JSONAPI.h"
#include "core/Organization.h"
#include "core/Server.h"
#include "core/Site.h"
#include "forge/ForgeAPIController.h"

#include <cstdio>
#include <cstdlib>

using namespace plimsy;

namespace {

// What Response::decode does, with the body parsed once for all the records it is read as.
template <typename A> void decodeAs(const QJsonObject &body)
{
    try {
        const auto page = JSONAPIResponse<A>::fromJson(body);
        ForgeAPIController::relativeAPIPath(page.links ? page.links->next : std::nullopt);
    } catch (const DecodingError &) {
    }
    try {
        JSONAPISingleResponse<A>::fromJson(body);
    } catch (const DecodingError &) {
    }
}

template <typename A> void readAs(const QByteArray &input, const std::optional<QJsonObject> &body, const char *name)
{
    JSONAPIResponse<A> read;
    if (!json::readListing(QByteArrayView(input), read)) {
        return;
    }
    bool same = false;
    if (body) {
        try {
            same = JSONAPIResponse<A>::fromJson(*body) == read;
        } catch (const DecodingError &) {
        }
    }
    if (!same) {
        std::fprintf(stderr, "==listing reader== read %s listing that the parsed document does not give\n", name);
        std::abort();
    }
}

} // namespace

void fuzzOne(const QByteArray &input)
{
    std::optional<QJsonObject> body;
    try {
        body = json::parseObject(input);
    } catch (const DecodingError &) {
    }
    readAs<Server>(input, body, "a server");
    readAs<Site>(input, body, "a site");
    readAs<Organization>(input, body, "an organisation");
    if (!body) {
        return;
    }
    decodeAs<Server>(*body);
    decodeAs<Site>(*body);
    decodeAs<Organization>(*body);
    decodeAs<ContentAttributes>(*body);
    decodeAs<DeploymentAttributes>(*body);
    decodeAs<DeploymentOutputAttributes>(*body);
    decodeAs<Webhook>(*body);
}
