#pragma once
// The last full answer to a picture address, held for conditional requests: the next
// request for that address sends its validators, and a 304 to it stands for the same bytes.
// Shared by every refresh of a picture, the selected cam's and the wall's tiles'.
#include "core/http/conditional.h"
#include "core/rules/picturefreshness.h"

#include <QByteArray>
#include <QString>

struct DownloadResult;

struct HeldAnswer
{
    QString address;
    QByteArray body;
    PictureValidators validators;
    picture_freshness::PictureFingerprint fingerprint; // of body
    QString failure; // the reason shown should body not decode

    // A full answer (200) to address, held; anything else holds nothing, since a failed or
    // odd answer leaves nothing to confirm later.
    static HeldAnswer from(const QString &address, const DownloadResult &answer);

    // The validators a request for address sends: the ones held for it, else none.
    PictureValidators validatorsFor(const QString &address) const;
    // Whether answer is a 304 that confirms this held answer, for a request to address
    // that asked conditionally. A 304 to an unconditional request confirms nothing.
    bool confirmedBy(const DownloadResult &answer, const QString &address, bool askedConditionally) const;
};

// Why a picture answer would show no picture (see picture_freshness::failureReason); for
// a live stream that ended, that it did.
QString answerFailure(const DownloadResult &answer);
