#include "validators.h"

#include <QCryptographicHash>
#include <QLocale>
#include <QTimeZone>

namespace validators {

namespace {

const QString DateFormat = QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'");

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string withoutWeakPrefix(const std::string &tag)
{
    return tag.rfind("W/", 0) == 0 ? tag.substr(2) : tag;
}

} // namespace

std::string entityTag(const std::string &body)
{
    const QByteArray hash = QCryptographicHash::hash(QByteArrayView(body.data(), qsizetype(body.size())),
                                                     QCryptographicHash::Sha256);
    return '"' + hash.left(16).toHex().toStdString() + '"';
}

std::string httpDate(const QDateTime &time)
{
    return QLocale::c().toString(time.toUTC(), DateFormat).toStdString();
}

std::optional<QDateTime> parseHttpDate(const std::string &text)
{
    QDateTime time = QLocale::c().toDateTime(QString::fromStdString(trimmed(text)), DateFormat);
    if (!time.isValid())
        return std::nullopt;
    time.setTimeZone(QTimeZone::utc());
    return time;
}

bool tagListMatches(const std::string &ifNoneMatch, const std::string &tag)
{
    size_t at = 0;
    while (at <= ifNoneMatch.size()) {
        const size_t comma = ifNoneMatch.find(',', at);
        const std::string item = trimmed(ifNoneMatch.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
        if (item == "*" || (!item.empty() && withoutWeakPrefix(item) == withoutWeakPrefix(tag)))
            return true;
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
    return false;
}

bool notModified(const std::string &ifNoneMatch, const std::string &ifModifiedSince, const std::string &tag,
                 const QDateTime &lastModified)
{
    if (!ifNoneMatch.empty())
        return tagListMatches(ifNoneMatch, tag);
    if (ifModifiedSince.empty())
        return false;
    const auto since = parseHttpDate(ifModifiedSince);
    // Dates go to the second; a change within the second of the date given is not seen.
    return since && lastModified.toSecsSinceEpoch() <= since->toSecsSinceEpoch();
}

} // namespace validators
