// Conditional answers for pictures: an entity tag made from the body, the HTTP date it was
// first served at, and whether a request's If-None-Match / If-Modified-Since let a 304
// stand in for the body.
#pragma once

#include <QDateTime>

#include <optional>
#include <string>

namespace validators {

// A strong entity tag, quoted: the first 16 bytes of the body's SHA-256 in hex.
std::string entityTag(const std::string &body);

// "Sun, 06 Nov 1994 08:49:37 GMT", to the second.
std::string httpDate(const QDateTime &time);
// Only the form httpDate() writes; nothing for anything else.
std::optional<QDateTime> parseHttpDate(const std::string &text);

// If-None-Match: a list of tags or "*", compared weakly (a W/ prefix does not count).
bool tagListMatches(const std::string &ifNoneMatch, const std::string &tag);

// Whether the answer with this tag and date is unchanged for the request's conditions;
// If-None-Match, when present, decides alone. Empty texts stand for absent fields.
bool notModified(const std::string &ifNoneMatch, const std::string &ifModifiedSince, const std::string &tag,
                 const QDateTime &lastModified);

} // namespace validators
