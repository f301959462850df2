#include "core/ListingReader.h"

#include "core/JSONAPI.h"
#include "core/JsonReader.h"
#include "core/Organization.h"
#include "core/Server.h"
#include "core/Site.h"

#include <iterator>

namespace plimsy::json {

namespace {

using Kind = JsonReader::Kind;

static_assert(QTypeInfo<JSONAPIResource<Site>>::isRelocatable, "a page of sites grows by moving memory");

// Each reader below takes what the record's own fromJson takes and gives the same record; whatever
// fromJson would refuse fails the reader instead. A member named twice fails too: the full parser keeps
// the last one, and leaving that to it keeps this reader simple.

bool readValue(JsonReader &reader, QString &value)
{
    return reader.readString(value);
}

bool readValue(JsonReader &reader, bool &value)
{
    return reader.readBool(value);
}

bool readValue(JsonReader &reader, qint64 &value)
{
    return reader.readInteger(value);
}

bool readValue(JsonReader &reader, QStringList &value)
{
    if (!reader.beginArray()) {
        return false;
    }
    while (reader.nextElement()) {
        if (!reader.readString(value.emplaceBack())) {
            return false;
        }
    }
    return !reader.failed();
}

bool readValue(JsonReader &reader, Site::Repository &value);
bool readValue(JsonReader &reader, Site::MaintenanceMode &value);

template <auto Member> struct MemberOf;
template <typename R, typename T, T R::*Member> struct MemberOf<Member>
{
    using Record = R;
};

template <typename Record> struct Field
{
    QByteArrayView name;
    bool (*read)(JsonReader &, Record &);
    bool required = false;
};

// A member that may be missing or null.
template <auto Member> bool optional(JsonReader &reader, typename MemberOf<Member>::Record &record)
{
    if (reader.peek() == Kind::Null) {
        return reader.readNull();
    }
    // Assigned rather than emplaced: some compilers take a nested record with member initialisers for
    // not default-constructible inside std::optional.
    auto &field = record.*Member;
    field = typename std::remove_reference_t<decltype(field)>::value_type{};
    return readValue(reader, *field);
}

// A member that must be there and not null.
template <auto Member> Field<typename MemberOf<Member>::Record> required(QByteArrayView name)
{
    return {
        name,
        [](JsonReader &reader, typename MemberOf<Member>::Record &record) { return readValue(reader, record.*Member); },
        true};
}

template <typename Record, size_t N>
qsizetype findField(const Field<Record> (&fields)[N], QByteArrayView key, qsizetype hint)
{
    // Members mostly come in the same order in every object: the search starts after the last one found.
    for (size_t i = 0; i < N; ++i) {
        const size_t at = (size_t(hint) + i) % N;
        if (fields[at].name == key) {
            return qsizetype(at);
        }
    }
    return -1;
}

template <typename Record, size_t N>
bool readRecord(JsonReader &reader, const Field<Record> (&fields)[N], Record &record)
{
    static_assert(N <= 64);
    if (!reader.beginObject()) {
        return false;
    }
    quint64 seen = 0;
    quint64 requiredSeen = 0;
    quint64 requiredAll = 0;
    for (size_t i = 0; i < N; ++i) {
        requiredAll |= fields[i].required ? quint64(1) << i : 0;
    }
    qsizetype hint = 0;
    QByteArrayView key;
    while (reader.nextMember(key)) {
        const qsizetype index = findField(fields, key, hint);
        if (index < 0) {
            if (!reader.skipValue()) {
                return false;
            }
            continue;
        }
        const quint64 bit = quint64(1) << index;
        if (seen & bit) {
            return reader.fail();
        }
        seen |= bit;
        requiredSeen |= fields[index].required ? bit : 0;
        hint = index + 1;
        if (!fields[index].read(reader, record)) {
            return false;
        }
    }
    return !reader.failed() && requiredSeen == requiredAll;
}

const Field<Site::Repository> RepositoryFields[] = {
    {"branch", optional<&Site::Repository::branch>},
    {"provider", optional<&Site::Repository::provider>},
    {"status", optional<&Site::Repository::status>},
    {"url", optional<&Site::Repository::url>},
};

const Field<Site::MaintenanceMode> MaintenanceModeFields[] = {
    required<&Site::MaintenanceMode::enabled>("enabled"),
    {"status", optional<&Site::MaintenanceMode::status>},
};

bool readValue(JsonReader &reader, Site::Repository &value)
{
    return readRecord(reader, RepositoryFields, value);
}

bool readValue(JsonReader &reader, Site::MaintenanceMode &value)
{
    return readRecord(reader, MaintenanceModeFields, value);
}

// In the order the members are usually sent: by name.
const Field<Site> SiteFields[] = {
    {"aliases", optional<&Site::aliases>},
    {"app_type", optional<&Site::appType>},
    {"database", optional<&Site::database>},
    {"deployment_script", optional<&Site::deploymentScript>},
    {"deployment_status", optional<&Site::deploymentStatus>},
    {"deployment_url", optional<&Site::deploymentUrl>},
    {"healthcheck_url", optional<&Site::healthcheckUrl>},
    {"https", optional<&Site::https>},
    {"isolated", optional<&Site::isolated>},
    {"maintenance_mode", optional<&Site::maintenanceMode>},
    {"name", optional<&Site::name>},
    {"php_version", optional<&Site::phpVersion>},
    {"quick_deploy", optional<&Site::quickDeploy>},
    {"repository", optional<&Site::repository>},
    {"root_directory", optional<&Site::rootDirectory>},
    {"status", optional<&Site::status>},
    {"url", optional<&Site::url>},
    {"user", optional<&Site::user>},
    {"uses_envoyer", optional<&Site::usesEnvoyer>},
    {"web_directory", optional<&Site::webDirectory>},
    {"wildcards", optional<&Site::wildcards>},
    {"zero_downtime_deployments", optional<&Site::zeroDowntimeDeployments>},
};

// Absent or null reads as not revoked.
bool readRevoked(JsonReader &reader, Server &server)
{
    return reader.peek() == Kind::Null ? reader.readNull() : reader.readBool(server.revoked);
}

const Field<Server> ServerFields[] = {
    {"connection_status", optional<&Server::connectionStatus>},
    {"credential_id", optional<&Server::credentialId>},
    {"database_type", optional<&Server::databaseType>},
    {"db_status", optional<&Server::dbStatus>},
    required<&Server::id>("id"),
    {"identifier", optional<&Server::identifier>},
    {"ip_address", optional<&Server::ipAddress>},
    {"is_ready", optional<&Server::isReady>},
    {"local_public_key", optional<&Server::localPublicKey>},
    {"name", optional<&Server::name>},
    {"opcache_status", optional<&Server::opcacheStatus>},
    {"php_cli_version", optional<&Server::phpCliVersion>},
    {"php_version", optional<&Server::phpVersion>},
    {"private_ip_address", optional<&Server::privateIpAddress>},
    {"provider", optional<&Server::provider>},
    {"redis_status", optional<&Server::redisStatus>},
    {"region", optional<&Server::region>},
    {"revoked", readRevoked},
    {"size", optional<&Server::size>},
    {"ssh_port", optional<&Server::sshPort>},
    {"timezone", optional<&Server::timezone>},
    {"type", optional<&Server::type>},
    {"ubuntu_version", optional<&Server::ubuntuVersion>},
};

const Field<Organization> OrganizationFields[] = {
    {"id", optional<&Organization::id>},
    required<&Organization::name>("name"),
    required<&Organization::slug>("slug"),
};

bool readAttributes(JsonReader &reader, Site &site)
{
    return readRecord(reader, SiteFields, site);
}

bool readAttributes(JsonReader &reader, Server &server)
{
    return readRecord(reader, ServerFields, server);
}

bool readAttributes(JsonReader &reader, Organization &organization)
{
    return readRecord(reader, OrganizationFields, organization);
}

// An identifier that is not an object of two strings leaves `valid` false; only malformed text fails.
bool readIdentifier(JsonReader &reader, JSONAPIResourceIdentifier &identifier, bool &valid)
{
    if (!reader.beginObject()) {
        return false;
    }
    bool hasId = false;
    bool hasType = false;
    bool strings = true;
    QByteArrayView key;
    while (reader.nextMember(key)) {
        QString *target = key == "id" ? &identifier.id : key == "type" ? &identifier.type : nullptr;
        if (!target) {
            if (!reader.skipValue()) {
                return false;
            }
            continue;
        }
        bool &has = target == &identifier.id ? hasId : hasType;
        if (has) {
            return reader.fail();
        }
        has = true;
        if (reader.peek() == Kind::String) {
            if (!reader.readString(*target)) {
                return false;
            }
        } else {
            strings = false;
            if (!reader.skipValue()) {
                return false;
            }
        }
    }
    valid = hasId && hasType && strings;
    return !reader.failed();
}

// A relationship's "data", read leniently: a list of identifiers, else one identifier, else empty.
bool readRelationshipData(JsonReader &reader, QList<JSONAPIResourceIdentifier> &data)
{
    const Kind kind = reader.peek();
    if (kind == Kind::Object) {
        JSONAPIResourceIdentifier identifier;
        bool valid = false;
        if (!readIdentifier(reader, identifier, valid)) {
            return false;
        }
        if (valid) {
            data.append(std::move(identifier));
        }
        return true;
    }
    if (kind != Kind::Array) {
        return reader.skipValue();
    }
    reader.beginArray();
    bool valid = true;
    while (reader.nextElement()) {
        if (reader.peek() != Kind::Object) {
            valid = false;
            if (!reader.skipValue()) {
                return false;
            }
            continue;
        }
        bool identifierValid = false;
        if (!readIdentifier(reader, data.emplaceBack(), identifierValid)) {
            return false;
        }
        valid = valid && identifierValid;
    }
    if (!valid) {
        data.clear();
    }
    return !reader.failed();
}

bool readRelationships(JsonReader &reader, JSONAPIRelationships &relationships)
{
    if (!reader.beginObject()) {
        return false;
    }
    QByteArrayView key;
    while (reader.nextMember(key)) {
        const QString name = QString::fromUtf8(key);
        if (relationships.contains(name) || !reader.beginObject()) {
            return reader.fail();
        }
        JSONAPIRelationship &relationship = relationships[name];
        bool hasData = false;
        QByteArrayView member;
        while (reader.nextMember(member)) {
            if (member != "data") {
                if (!reader.skipValue()) {
                    return false;
                }
            } else if (hasData) {
                return reader.fail();
            } else {
                hasData = true;
                if (!readRelationshipData(reader, relationship.data)) {
                    return false;
                }
            }
        }
        if (reader.failed()) {
            return false;
        }
    }
    return !reader.failed();
}

template <typename A> bool readResource(JsonReader &reader, JSONAPIResource<A> &resource)
{
    if (!reader.beginObject()) {
        return false;
    }
    enum Part
    {
        Id = 1,
        Type = 2,
        Attributes = 4,
        Relationships = 8
    };
    int seen = 0;
    QByteArrayView key;
    while (reader.nextMember(key)) {
        const int part = key == "id"              ? Id
                         : key == "type"          ? Type
                         : key == "attributes"    ? Attributes
                         : key == "relationships" ? Relationships
                                                  : 0;
        if (seen & part) {
            return reader.fail();
        }
        seen |= part;
        bool read = false;
        switch (part) {
        case Id:
            read = reader.readString(resource.id);
            break;
        case Type:
            read = reader.readString(resource.type);
            break;
        case Attributes:
            read = readAttributes(reader, resource.attributes);
            break;
        case Relationships:
            read = reader.peek() == Kind::Null ? reader.readNull()
                                               : readRelationships(reader, resource.relationships.emplace());
            break;
        default:
            read = reader.skipValue();
            break;
        }
        if (!read) {
            return false;
        }
    }
    return !reader.failed() && (seen & (Id | Type | Attributes)) == (Id | Type | Attributes);
}

// "links" of a list: anything but an object of strings and nulls gives none.
bool readLinks(JsonReader &reader, std::optional<JSONAPILinks> &links)
{
    if (reader.peek() != Kind::Object) {
        return reader.skipValue();
    }
    reader.beginObject();
    JSONAPILinks read;
    std::optional<QString> *const members[] = {&read.first, &read.last, &read.prev, &read.next};
    const QByteArrayView names[] = {"first", "last", "prev", "next"};
    int seen = 0;
    bool valid = true;
    QByteArrayView key;
    while (reader.nextMember(key)) {
        const auto found = std::find(std::begin(names), std::end(names), key);
        if (found == std::end(names)) {
            if (!reader.skipValue()) {
                return false;
            }
            continue;
        }
        const int index = int(found - std::begin(names));
        if (seen & (1 << index)) {
            return reader.fail();
        }
        seen |= 1 << index;
        const Kind kind = reader.peek();
        if (kind == Kind::String) {
            if (!reader.readString(members[index]->emplace())) {
                return false;
            }
        } else if (kind == Kind::Null) {
            if (!reader.readNull()) {
                return false;
            }
        } else {
            valid = false;
            if (!reader.skipValue()) {
                return false;
            }
        }
    }
    if (valid) {
        links = std::move(read);
    }
    return !reader.failed();
}

template <typename A> bool readResponse(QByteArrayView body, JSONAPIResponse<A> &response)
{
    JsonReader reader(body);
    if (!reader.beginObject()) {
        return false;
    }
    bool hasData = false;
    bool hasLinks = false;
    QByteArrayView key;
    while (reader.nextMember(key)) {
        if (key == "data") {
            if (hasData || !reader.beginArray()) {
                return reader.fail();
            }
            hasData = true;
            while (reader.nextElement()) {
                if (!readResource(reader, response.data.emplaceBack())) {
                    return false;
                }
            }
        } else if (key == "links") {
            if (hasLinks || !readLinks(reader, response.links)) {
                return reader.fail();
            }
            hasLinks = true;
        } else if (!reader.skipValue()) {
            return false;
        }
    }
    return hasData && reader.atEnd();
}

} // namespace

template <> bool readListing<Organization>(QByteArrayView body, JSONAPIResponse<Organization> &response)
{
    return readResponse(body, response);
}

template <> bool readListing<Server>(QByteArrayView body, JSONAPIResponse<Server> &response)
{
    return readResponse(body, response);
}

template <> bool readListing<Site>(QByteArrayView body, JSONAPIResponse<Site> &response)
{
    return readResponse(body, response);
}

} // namespace plimsy::json
