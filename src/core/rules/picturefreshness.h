#pragma once
// Whether a cam's picture has stopped changing, and why a refresh showed no picture.
//
// Pure rules: nothing here reads a clock. Times come in as milliseconds since the epoch,
// measured by the caller; texts go out as plain text, shortened where a server wrote them.
#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringView>

#include <optional>

namespace picture_freshness {

// What tells two picture bodies apart: their length and a 64-bit hash of their bytes.
struct PictureFingerprint
{
    qint64 size = -1;
    quint64 hash = 0;

    friend bool operator==(const PictureFingerprint &a, const PictureFingerprint &b)
    {
        return a.size == b.size && a.hash == b.hash;
    }
    friend bool operator!=(const PictureFingerprint &a, const PictureFingerprint &b) { return !(a == b); }
};

PictureFingerprint fingerprint(QByteArrayView body);

// A picture counts as unchanged once it has stayed the same for at least ms milliseconds
// and at least refreshes refreshes after the one that brought it.
struct UnchangedThreshold
{
    qint64 ms = 60 * 1000;
    int refreshes = 10;
};

// "seconds,refreshes", two whole numbers of at least 0 (blanks around them allowed);
// nothing for anything else.
std::optional<UnchangedThreshold> parseThreshold(QStringView text);

// Per cam (by cam id): the fingerprint of the picture shown last, the moment a refresh
// first brought it and how many refreshes have brought it again since. Only refreshes
// that showed a picture are told here; a failed one changes nothing.
class UnchangedPictures
{
public:
    explicit UnchangedPictures(UnchangedThreshold threshold = {});

    void setThreshold(UnchangedThreshold threshold) { m_threshold = threshold; }
    UnchangedThreshold threshold() const { return m_threshold; }

    // A refresh of the cam showed a picture with this fingerprint at nowMs.
    void pictureShown(const QString &camId, const PictureFingerprint &picture, qint64 nowMs);

    // The moment the cam's picture last changed, if at nowMs it counts as unchanged. A
    // clock that went back before that moment counts as no time passed.
    std::optional<qint64> unchangedSince(const QString &camId, qint64 nowMs) const;

    // The fingerprint of the cam's picture shown last, if any was.
    std::optional<PictureFingerprint> lastShown(const QString &camId) const;

private:
    struct Entry
    {
        PictureFingerprint picture;
        qint64 sinceMs = 0;
        int refreshes = 0;
    };

    UnchangedThreshold m_threshold;
    QHash<QString, Entry> m_cams;
};

// "unchanged since HH:MM", the moment in local time on the 24-hour clock.
QString unchangedNote(qint64 sinceMs);

// Why a refresh showed no picture.
inline const QString CouldNotDecode = QStringLiteral("Picture could not be decoded");
inline const QString ConnectionRefused = QStringLiteral("Connection refused");

// What a picture answer said about itself; transportError is empty when an answer came.
struct PictureAnswer
{
    QString transportError;
    int status = 0;
    QByteArray reasonPhrase;
    QByteArray contentType;
};

// The reason a picture answer that gave no picture is shown with, on one line: the
// transfer's own error, else "HTTP <status> <reason phrase>" for any status outside 200
// to 299 (a status of 0 is none known), else "Not a picture (<media type>)" for a
// declared type that is not an image (a missing type or application/octet-stream says
// nothing), else CouldNotDecode.
QString failureReason(const PictureAnswer &answer);

// What of a server's text goes into a reason: control characters become blanks, runs of
// blanks one, and more than ReasonTextLimit characters are cut with "…".
inline constexpr int ReasonTextLimit = 60;
QString reasonText(QByteArrayView serverText);

} // namespace picture_freshness
