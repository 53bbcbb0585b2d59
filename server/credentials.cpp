#include "credentials.h"

#include <microhttpd.h>

#include <cstring>

namespace {

const char kRealm[] = "lumora-camserver";
const char kOpaque[] = "6c756d6f72612d63616d736572766572";
constexpr unsigned kNonceSeconds = 300;

MHD_DigestAuthAlgorithm algorithmOf(const Credentials &c)
{
    return c.scheme == Credentials::Scheme::DigestSha256 ? MHD_DIGEST_ALG_SHA256 : MHD_DIGEST_ALG_MD5;
}

// Compares without stopping at the first difference, so timing does not give the password away.
bool sameSecret(const char *given, const std::string &expected)
{
    const size_t length = std::strlen(given);
    unsigned char difference = length == expected.size() ? 0 : 1;
    for (size_t i = 0; i < length; ++i)
        difference |= static_cast<unsigned char>(given[i] ^ expected[i % (expected.size() + 1)]);
    return difference == 0;
}

} // namespace

namespace credentials {

std::optional<Credentials> parse(const std::string &text)
{
    const size_t first = text.find(':');
    const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos || second == first + 1)
        return std::nullopt;
    Credentials c;
    const std::string scheme = text.substr(0, first);
    if (scheme == "basic")
        c.scheme = Credentials::Scheme::Basic;
    else if (scheme == "digest")
        c.scheme = Credentials::Scheme::Digest;
    else if (scheme == "digest-sha256")
        c.scheme = Credentials::Scheme::DigestSha256;
    else
        return std::nullopt;
    c.user = text.substr(first + 1, second - first - 1);
    c.password = text.substr(second + 1);
    return c;
}

Verdict check(MHD_Connection *connection, const Credentials &c)
{
    if (c.isDigest()) {
        const int result = MHD_digest_auth_check2(connection, kRealm, c.user.c_str(), c.password.c_str(), kNonceSeconds,
                                                  algorithmOf(c));
        if (result == MHD_INVALID_NONCE)
            return Verdict::StaleNonce;
        return result == MHD_YES ? Verdict::Accepted : Verdict::Refused;
    }
    char *password = nullptr;
    char *user = MHD_basic_auth_get_username_password(connection, &password);
    const bool accepted = user && password && c.user == user && sameSecret(password, c.password);
    MHD_free(user);
    MHD_free(password);
    return accepted ? Verdict::Accepted : Verdict::Refused;
}

bool queueChallenge(MHD_Connection *connection, const Credentials &c, Verdict verdict, MHD_Response *body)
{
    if (c.isDigest())
        return MHD_queue_auth_fail_response2(connection, kRealm, kOpaque, body, verdict == Verdict::StaleNonce ? MHD_YES : MHD_NO,
                                             algorithmOf(c)) == MHD_YES;
    return MHD_queue_basic_auth_fail_response(connection, kRealm, body) == MHD_YES;
}

std::string schemeOf(const std::string &authorization)
{
    std::string scheme;
    for (const char ch : authorization) {
        if (ch == ' ' || scheme.size() == 16)
            break;
        const bool word = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '-';
        scheme += word ? ch : '?';
    }
    return scheme;
}

} // namespace credentials
