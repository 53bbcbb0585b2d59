#include "cataloguecache.h"

#include "gzip.h"

#include <QFile>

#include <sys/stat.h>

#include <algorithm>

#include <utility>

namespace {

// Each base holds a whole resolved copy; clients choosing host names must not multiply it.
constexpr size_t kMaxBases = 4;


std::shared_ptr<const std::string> readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = file.readAll();
    return std::make_shared<const std::string>(bytes.constData(), size_t(bytes.size()));
}

} // namespace

std::string replaceAll(const std::string &text, const std::string &from, const std::string &to)
{
    // Builds a new string: replacing in place moves the whole tail at every match, which for
    // a catalogue of 40000 lines took over a second.
    std::string out;
    out.reserve(text.size());
    size_t start = 0;
    for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, start)) {
        out.append(text, start, pos - start);
        out += to;
        start = pos + from.size();
    }
    out.append(text, start, std::string::npos);
    return out;
}

bool CatalogueCache::Identity::operator==(const Identity &o) const
{
    return inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec
        && modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec
        && changed.tv_nsec == o.changed.tv_nsec;
}

// Timestamps come from a coarse clock: a rewrite shortly after the last one may keep the
// same times, so an identity younger than trustAfter is confirmed by the bytes.
CatalogueCache::CatalogueCache(QString file, std::chrono::milliseconds trustAfter)
    : m_file(std::move(file)), m_trustAfter(trustAfter)
{
}

int CatalogueCache::rebuilds() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rebuilds;
}

CatalogueCache::Document CatalogueCache::resolved(const std::string &base, bool gzipped)
{
    const auto answer = [gzipped](Entry &entry) {
        if (gzipped && !entry.gzipped)
            entry.gzipped = std::make_shared<const std::string>(gzip::compressed(*entry.resolved));
        return gzipped ? entry.gzipped : entry.resolved;
    };
    struct stat st {};
    if (::stat(QFile::encodeName(m_file).constData(), &st) != 0)
        return nullptr;
    Identity now;
    now.inode = st.st_ino;
    now.size = st.st_size;
    now.modified = st.st_mtim;
    now.changed = st.st_ctim;
    timespec wall {};
    clock_gettime(CLOCK_REALTIME, &wall);
    const auto nanos = [](const timespec &t) { return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec); };
    const bool settled = nanos(wall) - std::max(nanos(now.modified), nanos(now.changed)) >= m_trustAfter;

    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_entries.find(base);
    const std::uint64_t use = ++m_uses;
    if (it != m_entries.end() && settled && it->second.identity == now) {
        it->second.lastUse = use;
        return answer(it->second);
    }

    // Another base's copy of the same file spares a read. Otherwise the read is held under
    // the lock: concurrent first requests wait for one read instead of each reading the file.
    std::shared_ptr<const std::string> raw;
    if (settled) {
        for (const auto &[otherBase, entry] : m_entries)
            if (entry.identity == now)
                raw = entry.raw;
    }
    if (!raw)
        raw = readAll(m_file);
    if (!raw)
        return nullptr;
    if (it != m_entries.end() && *it->second.raw == *raw) {
        it->second.identity = now;
        it->second.lastUse = use;
        return answer(it->second);
    }
    ++m_rebuilds;
    if (it == m_entries.end()) {
        if (m_entries.size() >= kMaxBases) {
            m_entries.erase(std::min_element(m_entries.begin(), m_entries.end(), [](const auto &a, const auto &b) {
                return a.second.lastUse < b.second.lastUse;
            }));
        }
        it = m_entries.emplace(base, Entry()).first;
    }
    it->second.identity = now;
    it->second.lastUse = use;
    it->second.raw = raw;
    it->second.resolved = std::make_shared<const std::string>(replaceAll(*raw, "{base}", base));
    it->second.gzipped.reset();
    return answer(it->second);
}
