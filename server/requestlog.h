// The request log: one line per request ("METHOD <path-with-query> <status>", validators
// appended), kept in memory for /_control/requests and printed to stdout with --log.
// Memory stays bounded whatever the traffic: only the latest limits::kLogLines lines are
// kept, each cut to limits::kLogLineBytes; stdout gets every line whole. Thread-safe.
#pragma once

#include <deque>
#include <mutex>
#include <string>

class RequestLog {
public:
    void setPrinting(bool print) { m_print = print; }
    void add(const std::string &line, bool keep);
    std::string text() const; // the kept lines, each ending in '\n'
    void clear();
    // Holds the log for good, so that a process ending now never cuts a printed line.
    void freeze();

private:
    mutable std::mutex m_mutex;
    std::deque<std::string> m_lines;
    bool m_print = false;
};
