// A Forge answer body decoded as every listing and single record the client asks for, and the next
// page's address that a listing names.
#include "FuzzTarget.h"
#include "core/ForgeAttributes.h"
#include "core/JSONAPI.h"
#include "core/Organization.h"
#include "core/Server.h"
#include "core/Site.h"
#include "forge/ForgeAPIController.h"

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

} // namespace

void fuzzOne(const QByteArray &input)
{
    QJsonObject body;
    try {
        body = json::parseObject(input);
    } catch (const DecodingError &) {
        return;
    }
    decodeAs<Server>(body);
    decodeAs<Site>(body);
    decodeAs<Organization>(body);
    decodeAs<ContentAttributes>(body);
    decodeAs<DeploymentAttributes>(body);
    decodeAs<DeploymentOutputAttributes>(body);
    decodeAs<Webhook>(body);
}
