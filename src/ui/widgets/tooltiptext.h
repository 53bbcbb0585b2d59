#pragma once
// A tooltip takes text that looks like markup as markup; a server's text must never be read
// so. plainToolTip() gives the text to show exactly as it is.
#include <QString>

inline QString plainToolTip(const QString &text)
{
    return text.isEmpty() ? text : QStringLiteral("<p style='white-space:pre-wrap'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}
