#pragma once
// Conditional requests: what a full answer said about its version (ETag, Last-Modified),
// and the fields a later request for the same address sends back with it (If-None-Match,
// If-Modified-Since), so an unchanged answer comes as a bodiless 304.
//
// The values are the server's text and go back byte for byte; one that could not stand as
// a header field value of ours (a control character such as CR or LF, more than
// ValidatorMaxBytes, nothing at all) is dropped where it is read, so it is never sent.
#include <QByteArray>
#include <QByteArrayView>

struct PictureValidators
{
    QByteArray etag;         // as the ETag field read
    QByteArray lastModified; // as the Last-Modified field read

    bool isEmpty() const { return etag.isEmpty() && lastModified.isEmpty(); }
    bool operator==(const PictureValidators &other) const
    {
        return etag == other.etag && lastModified == other.lastModified;
    }
};

// Longer than any real entity tag or HTTP date by far.
inline constexpr qsizetype ValidatorMaxBytes = 512;

// Whether a field value may be sent back as it is.
bool isSaneValidator(QByteArrayView value);

// The validators of an answer, from its ETag and Last-Modified field values; an insane
// one is left empty.
PictureValidators validatorsFrom(const QByteArray &etag, const QByteArray &lastModified);

// The request's header lines for them, each ending in CR LF: If-None-Match for an entity
// tag, If-Modified-Since for a date; empty when there is neither.
QByteArray conditionalHeaderLines(const PictureValidators &validators);
