#include "heldanswer.h"

#include "core/rules/liverules.h"

#include "platform/download.h"

HeldAnswer HeldAnswer::from(const QString &address, const DownloadResult &answer)
{
    if (!answer.ok() || answer.httpStatus != 200)
        return {};
    return HeldAnswer{address, answer.body, answer.validators, picture_freshness::fingerprint(answer.body),
                      answerFailure(answer)};
}

PictureValidators HeldAnswer::validatorsFor(const QString &address) const
{
    return this->address == address ? validators : PictureValidators();
}

bool HeldAnswer::confirmedBy(const DownloadResult &answer, const QString &address, bool askedConditionally) const
{
    return answer.ok() && answer.httpStatus == 304 && askedConditionally && this->address == address;
}

QString answerFailure(const DownloadResult &answer)
{
    if (answer.ok() && answer.liveParts > 0)
        return live_rules::streamEndedReason(answer.liveParts);
    return picture_freshness::failureReason(
        {answer.ok() ? QString() : answer.errorText, answer.httpStatus, answer.reasonPhrase, answer.contentType});
}
