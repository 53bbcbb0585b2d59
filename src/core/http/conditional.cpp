#include "conditional.h"

bool isSaneValidator(QByteArrayView value)
{
    if (value.isEmpty() || value.size() > ValidatorMaxBytes)
        return false;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        // Any control character could end or split our own header line; tabs are field
        // whitespace and harmless.
        if ((byte < 0x20 && byte != '\t') || byte == 0x7f)
            return false;
    }
    return true;
}

PictureValidators validatorsFrom(const QByteArray &etag, const QByteArray &lastModified)
{
    PictureValidators v;
    if (isSaneValidator(etag))
        v.etag = etag;
    if (isSaneValidator(lastModified))
        v.lastModified = lastModified;
    return v;
}

QByteArray conditionalHeaderLines(const PictureValidators &validators)
{
    QByteArray lines;
    // Checked again here, so that no caller can put a line break into a request.
    if (isSaneValidator(validators.etag))
        lines += "If-None-Match: " + validators.etag + "\r\n";
    if (isSaneValidator(validators.lastModified))
        lines += "If-Modified-Since: " + validators.lastModified + "\r\n";
    return lines;
}
