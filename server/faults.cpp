#include "faults.h"

#include <charconv>

namespace {

std::optional<std::int64_t> parseNumber(const std::string &text, std::int64_t min, std::int64_t max)
{
    std::int64_t value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty() || value < min || value > max)
        return std::nullopt;
    return value;
}

} // namespace

bool FaultRule::matches(const std::string &requestPath) const
{
    if (path == "*")
        return true;
    if (!path.empty() && path.back() == '*')
        return requestPath.compare(0, path.size() - 1, path, 0, path.size() - 1) == 0;
    return requestPath == path;
}

namespace faults {

std::optional<FaultMode> parseMode(const std::string &text)
{
    using Kind = FaultMode::Kind;
    const auto colon = text.find(':');
    const std::string name = text.substr(0, colon);
    const std::string arg = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    const bool hasArg = colon != std::string::npos;

    FaultMode mode;
    struct Plain { const char *name; Kind kind; };
    static const Plain plain[] = {{"stall", Kind::Stall}, {"empty", Kind::Empty}, {"reset", Kind::Reset},
                                  {"html", Kind::Html}, {"redirect-loop", Kind::RedirectLoop},
                                  {"endless", Kind::Endless}, {"not-modified", Kind::NotModified},
                                  {"live-no-boundary", Kind::LiveNoBoundary}, {"live-endless-part", Kind::LiveEndlessPart},
                                  {"live-stall-part", Kind::LiveStallPart}, {"live-trickle-part", Kind::LiveTricklePart}, {"live-garbage", Kind::LiveGarbage},
                                  {"live-lf", Kind::LiveLf}, {"hls-stalled-playlist", Kind::HlsStalledPlaylist},
                                  {"hls-missing-segment", Kind::HlsMissingSegment},
                                  {"hls-truncated-segment", Kind::HlsTruncatedSegment},
                                  {"hls-endless-playlist", Kind::HlsEndlessPlaylist},
                                  {"hls-garbage-playlist", Kind::HlsGarbagePlaylist}};
    for (const Plain &p : plain) {
        if (name == p.name) {
            if (hasArg)
                return std::nullopt;
            mode.kind = p.kind;
            return mode;
        }
    }

    struct Numeric { const char *name; Kind kind; std::int64_t min, max; };
    static const Numeric numeric[] = {
        {"delay", Kind::Delay, 0, 3600 * 1000},
        {"truncate", Kind::Truncate, 0, INT64_MAX},
        {"reset-after", Kind::ResetAfter, 0, INT64_MAX},
        {"status", Kind::Status, 100, 599},
        {"bytes", Kind::Bytes, 0, INT64_MAX},
        {"slow", Kind::Slow, 1, INT64_MAX},
        {"bad-etag", Kind::BadTag, 0, 1 << 20},
        {"gzip-bomb", Kind::GzipBomb, 0, std::int64_t(1) << 40},
        {"live-big-part", Kind::LiveBigPart, 0, std::int64_t(64) << 20},
        {"live-close", Kind::LiveClose, 0, INT32_MAX},
        {"unasked", Kind::Unasked, 0, 3600 * 1000},
        {"short-length", Kind::ShortLength, 1, INT64_MAX},
    };
    for (const Numeric &n : numeric) {
        if (name == n.name) {
            const auto value = parseNumber(arg, n.min, n.max);
            if (!value)
                return std::nullopt;
            mode.kind = n.kind;
            mode.value = *value;
            return mode;
        }
    }

    // "redirect-chain:N" or "redirect-chain:N:BASE"; BASE itself holds colons.
    if (name == "redirect-chain") {
        const auto colon2 = arg.find(':');
        const auto hops = parseNumber(arg.substr(0, colon2), 1, 1000);
        if (!hops || (colon2 != std::string::npos && colon2 + 1 == arg.size()))
            return std::nullopt;
        mode.kind = Kind::RedirectChain;
        mode.value = *hops;
        if (colon2 != std::string::npos) {
            mode.url = arg.substr(colon2 + 1);
            while (mode.url.size() > 1 && mode.url.back() == '/')
                mode.url.pop_back();
            if (mode.url.rfind("http://", 0) != 0 && mode.url.rfind("https://", 0) != 0)
                return std::nullopt;
        }
        return mode;
    }

    // "long-header:BYTES" or "long-header:BYTES:BYTES_PER_SEC".
    if (name == "long-header") {
        const auto colon2 = arg.find(':');
        const auto bytes = parseNumber(arg.substr(0, colon2), 0, std::int64_t(1) << 40);
        if (!bytes)
            return std::nullopt;
        mode.kind = Kind::LongHeader;
        mode.value = *bytes;
        if (colon2 != std::string::npos) {
            const auto rate = parseNumber(arg.substr(colon2 + 1), 1, INT64_MAX);
            if (!rate)
                return std::nullopt;
            mode.rate = *rate;
        }
        return mode;
    }

    if (name == "redirect" && !arg.empty()) {
        mode.kind = Kind::Redirect;
        mode.url = arg;
        return mode;
    }
    return std::nullopt;
}

std::optional<FaultRule> parseRule(const std::string &pathEqualsMode)
{
    // Split at the first '=' because redirect targets may carry queries with '='.
    const auto eq = pathEqualsMode.find('=');
    if (eq == std::string::npos || eq == 0)
        return std::nullopt;
    FaultRule rule;
    rule.path = pathEqualsMode.substr(0, eq);
    if (rule.path != "*" && rule.path.front() != '/')
        return std::nullopt;
    const auto mode = parseMode(pathEqualsMode.substr(eq + 1));
    if (!mode)
        return std::nullopt;
    rule.mode = *mode;
    return rule;
}

bool writesOnSocket(const FaultMode &mode)
{
    using Kind = FaultMode::Kind;
    switch (mode.kind) {
    case Kind::Truncate:
    case Kind::Slow:
    case Kind::Endless:
    case Kind::LongHeader:
    case Kind::BadTag:
    case Kind::ResetAfter:
    case Kind::Unasked:
    case Kind::ShortLength:
    case Kind::HlsTruncatedSegment:
    case Kind::HlsEndlessPlaylist:
        return true;
    default:
        return isLive(mode);
    }
}

bool isLive(const FaultMode &mode)
{
    using Kind = FaultMode::Kind;
    switch (mode.kind) {
    case Kind::LiveNoBoundary:
    case Kind::LiveBigPart:
    case Kind::LiveEndlessPart:
    case Kind::LiveStallPart:
    case Kind::LiveTricklePart:
    case Kind::LiveGarbage:
    case Kind::LiveClose:
    case Kind::LiveLf:
        return true;
    default:
        return false;
    }
}

} // namespace faults

void FaultTable::add(FaultRule rule)
{
    rule.mode.added = std::chrono::system_clock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.push_back(std::move(rule));
}

void FaultTable::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.clear();
}

std::optional<FaultMode> FaultTable::match(const std::string &requestPath) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const FaultRule &rule : m_rules)
        if (rule.matches(requestPath))
            return rule.mode;
    return std::nullopt;
}
