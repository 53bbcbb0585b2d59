// Misbehaviour rules ("PATH=MODE") that tests switch on to see how a client copes.
// The table is shared by all worker threads; the first rule whose path matches wins.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct FaultMode {
    enum class Kind { Delay, Stall, Empty, Truncate, Reset, Status, Html, Bytes, Redirect, RedirectLoop, Slow };
    Kind kind = Kind::Empty;
    std::int64_t value = 0; // milliseconds, byte counts, status code or bytes per second
    std::string url;        // redirect target
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
