// The catalogue file with "{base}" resolved, kept between requests.
//
// resolved(base) answers the file's current contents for that base address: a cached copy
// while the file's identity (inode, size, modification and change times) is as before and
// that identity is old enough to be trusted, otherwise the file is read again and, only
// when its bytes differ from the copy's, resolved anew. A file rewritten within the
// timestamps' granularity therefore never yields a stale answer. Thread-safe; a few base
// addresses (host names clients used) are kept at once. None when the file cannot be read.
// resolved(base, true) answers the same contents gzip-compressed, made once per resolved copy.
#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>

class CatalogueCache {
public:
    using Document = std::shared_ptr<const std::string>;

    // trustAfter: how old the file's timestamps must be before they alone vouch for it.
    explicit CatalogueCache(QString file, std::chrono::milliseconds trustAfter = std::chrono::seconds(2));
    Document resolved(const std::string &base, bool gzipped = false);

    // How many times the file was read and resolved; lets a test see the cache at work.
    int rebuilds() const;

private:
    struct Identity {
        ino_t inode = 0;
        off_t size = -1;
        timespec modified {};
        timespec changed {};
        bool operator==(const Identity &o) const;
    };
    struct Entry {
        Identity identity;
        std::shared_ptr<const std::string> raw;
        Document resolved;
        Document gzipped; // made on first demand
        std::uint64_t lastUse = 0; // the least recently used base goes first
    };

    QString m_file;
    std::chrono::milliseconds m_trustAfter;
    mutable std::mutex m_mutex;
    std::map<std::string, Entry> m_entries; // by base address
    int m_rebuilds = 0;
    std::uint64_t m_uses = 0;
};

// "{base}" in text replaced by base, in one pass.
std::string replaceAll(const std::string &text, const std::string &from, const std::string &to);
