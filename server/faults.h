// Misbehaviour rules ("PATH=MODE") that tests switch on to see how a client copes.
// The table is shared by all worker threads; the first rule whose path matches wins.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct FaultMode {
    enum class Kind {
        Delay, Stall, Empty, Truncate, Reset, Status, Html, Bytes, Redirect, RedirectLoop, Slow,
        Endless, RedirectChain, LongHeader, BadTag, NotModified, ResetAfter, GzipBomb,
        // Answers that leave the connection out of step: a second answer nobody asked for,
        // a Content-Length short of the body sent.
        Unasked, ShortLength,
        // Misbehaving live streams; on paths that serve no stream they change nothing.
        LiveNoBoundary, LiveBigPart, LiveEndlessPart, LiveStallPart, LiveTricklePart, LiveGarbage, LiveClose, LiveLf,
        // Misbehaving HLS streams: the playlist modes change only playlists, the segment modes
        // only segments.
        HlsStalledPlaylist, HlsMissingSegment, HlsTruncatedSegment, HlsEndlessPlaylist, HlsGarbagePlaylist
    };
    Kind kind = Kind::Empty;
    std::int64_t value = 0; // milliseconds, byte counts, status code, bytes per second or hops
    std::int64_t rate = 0;  // a long header's bytes per second; 0: as fast as the client takes them
    std::string url;        // redirect target; the other end of a redirect chain
    std::chrono::system_clock::time_point added; // when its rule went into the table
};

struct FaultRule {
    std::string path; // exact path, prefix ending in '*', or "*"
    FaultMode mode;

    bool matches(const std::string &requestPath) const;
};

namespace faults {
// Both return nothing for malformed input so the caller can report it.
std::optional<FaultMode> parseMode(const std::string &text);
std::optional<FaultRule> parseRule(const std::string &pathEqualsMode);
// Whether the mode writes its own bytes onto the socket, which cannot be done over TLS.
bool writesOnSocket(const FaultMode &mode);
// Whether the mode is one for live streams.
bool isLive(const FaultMode &mode);
} // namespace faults

class FaultTable {
public:
    void add(FaultRule rule);
    void clear();
    std::optional<FaultMode> match(const std::string &requestPath) const;

private:
    mutable std::mutex m_mutex;
    std::vector<FaultRule> m_rules;
};
