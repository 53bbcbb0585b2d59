// Who may fetch pictures: --auth SCHEME:USER:PASS. The check runs on the polling thread before
// a request goes to a worker and uses libmicrohttpd's own Basic and Digest (RFC 7616) code; a
// request without valid credentials is answered 401 with the scheme's WWW-Authenticate
// challenge. Only the scheme of a request's Authorization header is ever logged.
#pragma once

#include <optional>
#include <string>

struct MHD_Connection;
struct MHD_Response;

struct Credentials {
    enum class Scheme { None, Basic, Digest, DigestSha256 };
    Scheme scheme = Scheme::None;
    std::string user;
    std::string password;

    bool isDigest() const { return scheme == Scheme::Digest || scheme == Scheme::DigestSha256; }
};

namespace credentials {

// "basic:USER:PASS", "digest:USER:PASS" (MD5) or "digest-sha256:USER:PASS"; nothing when
// malformed. USER is not empty and holds no ':'; PASS is the rest and may.
std::optional<Credentials> parse(const std::string &text);

enum class Verdict { Accepted, Refused, StaleNonce };
Verdict check(MHD_Connection *connection, const Credentials &credentials);

// Queues `body` as a 401 carrying the challenge (stale=true after a StaleNonce verdict). The
// caller keeps `body` and destroys it as usual. False when nothing could be queued.
bool queueChallenge(MHD_Connection *connection, const Credentials &credentials, Verdict verdict, MHD_Response *body);

// The scheme word of an Authorization header value, safe to log ("Digest"); never a secret.
std::string schemeOf(const std::string &authorization);

} // namespace credentials
