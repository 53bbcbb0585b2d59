#include "picturefreshness.h"

#include "core/catalogue/servertext.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QList>

#include <limits>

namespace picture_freshness {

PictureFingerprint fingerprint(QByteArrayView body)
{
    // A fixed seed, so the same bytes hash alike in every run; a fast hash, as a large
    // picture is hashed at every refresh.
    return PictureFingerprint{body.size(), quint64(qHashBits(body.data(), size_t(body.size()), 0))};
}

std::optional<UnchangedThreshold> parseThreshold(QStringView text)
{
    const QList<QStringView> parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return std::nullopt;
    bool secondsOk = false;
    bool refreshesOk = false;
    const qint64 seconds = parts[0].trimmed().toLongLong(&secondsOk);
    const int refreshes = parts[1].trimmed().toInt(&refreshesOk);
    // Signs are refused, as is anything that would overflow the milliseconds.
    const auto unsignedNumber = [](QStringView part) {
        const QStringView t = part.trimmed();
        return !t.isEmpty() && t.front().isDigit();
    };
    if (!secondsOk || !refreshesOk || !unsignedNumber(parts[0]) || !unsignedNumber(parts[1]) || seconds < 0
        || refreshes < 0 || seconds > std::numeric_limits<qint64>::max() / 1000)
        return std::nullopt;
    return UnchangedThreshold{seconds * 1000, refreshes};
}

UnchangedPictures::UnchangedPictures(UnchangedThreshold threshold)
    : m_threshold(threshold)
{
}

void UnchangedPictures::pictureShown(const QString &camId, const PictureFingerprint &picture, qint64 nowMs)
{
    const auto it = m_cams.find(camId);
    if (it == m_cams.end() || it->picture != picture) {
        m_cams.insert(camId, Entry{picture, nowMs, 0});
        return;
    }
    if (it->refreshes < std::numeric_limits<int>::max())
        ++it->refreshes;
}

std::optional<qint64> UnchangedPictures::unchangedSince(const QString &camId, qint64 nowMs) const
{
    const auto it = m_cams.constFind(camId);
    if (it == m_cams.constEnd())
        return std::nullopt;
    const qint64 elapsed = nowMs - it->sinceMs;
    if (elapsed < m_threshold.ms || it->refreshes < m_threshold.refreshes)
        return std::nullopt;
    return it->sinceMs;
}

std::optional<PictureFingerprint> UnchangedPictures::lastShown(const QString &camId) const
{
    const auto it = m_cams.constFind(camId);
    if (it == m_cams.constEnd())
        return std::nullopt;
    return it->picture;
}

QString unchangedNote(qint64 sinceMs)
{
    const QDateTime since = QDateTime::fromMSecsSinceEpoch(sinceMs).toLocalTime();
    return QStringLiteral("unchanged since ") + since.toString(QStringLiteral("HH:mm"));
}

QString reasonText(QByteArrayView serverText)
{
    // Header bytes beyond ASCII are taken as Latin-1, as HTTP once defined them.
    QString text = QString::fromLatin1(serverText);
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return server_text::shown(text.simplified(), ReasonTextLimit);
}

QString failureReason(const PictureAnswer &answer)
{
    if (!answer.transportError.isEmpty())
        return server_text::shown(answer.transportError.simplified(), 2 * ReasonTextLimit);
    // No status at all is no answer the status could speak against.
    if (answer.status != 0 && (answer.status < 200 || answer.status > 299)) {
        const QString phrase = reasonText(answer.reasonPhrase);
        return QStringLiteral("HTTP ") + QString::number(answer.status)
            + (phrase.isEmpty() ? QString() : QLatin1Char(' ') + phrase);
    }
    const QByteArray mediaType = answer.contentType.split(';').first().trimmed().toLower();
    if (!mediaType.isEmpty() && mediaType != "application/octet-stream" && !mediaType.startsWith("image/"))
        return QStringLiteral("Not a picture (") + reasonText(mediaType) + QLatin1Char(')');
    return CouldNotDecode;
}

} // namespace picture_freshness
