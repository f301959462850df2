#pragma once

#include <QByteArrayView>

// Listings of thousands of records are read straight from the answer's bytes into the records, in one
// pass and without a parsed document in between.
namespace plimsy {

struct Organization;
struct Server;
struct Site;
template <typename A> struct JSONAPIResponse;

namespace json {

template <typename A> inline constexpr bool HasListingReader = false;
template <> inline constexpr bool HasListingReader<Organization> = true;
template <> inline constexpr bool HasListingReader<Server> = true;
template <> inline constexpr bool HasListingReader<Site> = true;

// Reads a listing body into `response`, which must be empty. False, with `response` in an unspecified
// state, when the body holds anything malformed, anything the records would refuse, or anything the
// reader leaves to the full parser (see JsonReader): decoding the parsed document then gives the same
// records, or the error with its path.
template <typename A> bool readListing(QByteArrayView body, JSONAPIResponse<A> &response);
template <> bool readListing<Organization>(QByteArrayView body, JSONAPIResponse<Organization> &response);
template <> bool readListing<Server>(QByteArrayView body, JSONAPIResponse<Server> &response);
template <> bool readListing<Site>(QByteArrayView body, JSONAPIResponse<Site> &response);

} // namespace json
} // namespace plimsy
