#include "requestlog.h"

#include "options.h"

#include <cstdio>

void RequestLog::add(const std::string &line, bool keep)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (keep) {
        m_lines.push_back(line.substr(0, limits::kLogLineBytes));
        while (m_lines.size() > limits::kLogLines)
            m_lines.pop_front();
    }
    if (m_print) {
        std::fputs((line + '\n').c_str(), stdout);
        std::fflush(stdout);
    }
}

std::string RequestLog::text() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string out;
    for (const std::string &line : m_lines)
        out += line + '\n';
    return out;
}

void RequestLog::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
}

void RequestLog::freeze()
{
    m_mutex.lock();
    std::fflush(stdout);
}
