#include "camdescription.h"

#include "core/catalogue/camrecord.h"
#include "core/catalogue/servertext.h"

#include <QTextCursor>
#include <QTextEdit>

void showCamDescription(QTextEdit &box, const QStringList &camFields, const QColor &colour, int size)
{
    const QString name = server_text::shown(CamRecord::field(camFields, CamRecord::CamName), server_text::LineLimit);
    QString description = CamRecord::field(camFields, CamRecord::Description);
    description.replace(QStringLiteral("<br>"), QStringLiteral("\n"));
    description = server_text::shown(description, server_text::BlockLimit);
    box.setPlainText(name + QLatin1Char('\n') + description);

    QTextCursor c(box.document());
    QTextCharFormat nameFormat;
    nameFormat.setFontPointSize(size + 2);
    c.setPosition(0);
    c.setPosition(int(name.size()), QTextCursor::KeepAnchor);
    c.mergeCharFormat(nameFormat);

    QTextCharFormat bodyFormat;
    bodyFormat.setFontPointSize(size);
    c.setPosition(int(name.size()) + 1);
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    c.mergeCharFormat(bodyFormat);

    QTextCharFormat colourFormat;
    colourFormat.setForeground(colour);
    c.select(QTextCursor::Document);
    c.mergeCharFormat(colourFormat);

    c.setPosition(0);
    box.setTextCursor(c);
}
