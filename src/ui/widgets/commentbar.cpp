#include "commentbar.h"

#include "core/catalogue/servertext.h"
#include "core/geometry/twips.h"
#include "core/rules/commentrules.h"
#include "core/state/fullscreentexts.h"
#include "ui/pictures/pictures.h"
#include "ui/widgets/shapes.h"
#include "ui/widgets/twipgeometry.h"

#include <QFontMetrics>
#include <QLabel>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>

namespace {

void place(QWidget *w, const fullscreen_layout::TwipBox &b)
{
    setTwipGeometry(w, b.left, b.top, b.width, b.height);
}

QLabel *commentLabel(QWidget *parent, const QString &caption, double points, bool bold)
{
    auto *label = new QLabel(parent);
    // Comments come from the server: never markup, never a picture or file named in them.
    label->setTextFormat(Qt::PlainText);
    label->setText(caption);
    label->setObjectName(QStringLiteral("CamComment"));
    QFont font(QStringLiteral("Times New Roman"));
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(points);
    font.setBold(bold);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(pal);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

const QChar Ellipsis(0x2026);

// The text broken into the lines that fit `width` in `font`, at most `maxLines` of them;
// when the text needs more, the last one kept ends with "…". Lines are cut at blanks, a
// word longer than the width anywhere.
QStringList wholeLines(const QString &text, const QFont &font, int width, int maxLines)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    int lastStart = 0;
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (lines.size() == maxLines) {
            // More text than lines: the last line kept takes the rest, cut short with "…".
            const QFontMetrics metrics(font);
            const QString rest = text.mid(lastStart).trimmed();
            QString last = metrics.elidedText(rest, Qt::ElideRight, width);
            if (!last.endsWith(Ellipsis))
                last = metrics.elidedText(rest + Ellipsis, Qt::ElideRight, width);
            lines.last() = last;
            break;
        }
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
        lastStart = line.textStart();
    }
    layout.endLayout();
    return lines;
}

} // namespace

CommentBar buildCommentBar(QWidget *pictureArea, const CommentBarDesign &design)
{
    CommentBar bar;
    bar.tab = new QLabel(pictureArea);
    bar.tab->setObjectName(QStringLiteral("Shape2"));
    bar.tab->setPixmap(pictures::commentTab());
    place(bar.tab, design.commentTab);

    bar.background = new QLabel(pictureArea);
    bar.background->setObjectName(QStringLiteral("Shape1"));
    bar.background->setPixmap(pictures::commentBar());
    bar.background->setScaledContents(true);
    place(bar.background, design.commentBackground);

    bar.labels[0] = commentLabel(pictureArea, fullscreen_texts::Commenter, 20.25, true);
    bar.labels[1] = commentLabel(pictureArea, fullscreen_texts::Comment, 15.75, false);
    // Long comments are broken into whole lines by fillCommentBar, not by the label.
    bar.divider = new LineShape(pictureArea);
    bar.divider->setObjectName(QStringLiteral("Line1"));
    bar.divider->setLine(design.dividerX, design.dividerTop, design.dividerX, design.dividerBottom);
    bar.labels[2] = commentLabel(pictureArea, design.dateCaption, 9.75, false);
    for (int i = 0; i < 3; ++i) {
        bar.labels[i]->setProperty("Index", i);
        place(bar.labels[i], design.commentLabels[i]);
    }

    for (QWidget *w : {static_cast<QWidget *>(bar.background), static_cast<QWidget *>(bar.tab),
                       static_cast<QWidget *>(bar.divider), static_cast<QWidget *>(bar.labels[0]),
                       static_cast<QWidget *>(bar.labels[1]), static_cast<QWidget *>(bar.labels[2])})
        w->hide();
    return bar;
}

void setCommentBarVisible(const CommentBar &bar, bool visible)
{
    bar.background->setVisible(visible);
    bar.tab->setVisible(visible);
    for (QLabel *label : bar.labels)
        label->setVisible(visible);
    bar.divider->setVisible(visible);
}

void fillCommentBar(CommentBar &bar, const QStringList &fields)
{
    QLabel *name = bar.labels[0];
    QLabel *text = bar.labels[1];
    QLabel *date = bar.labels[2];
    name->setText(server_text::shown(fields.value(0), server_text::LineLimit));
    bar.fullText = server_text::shown(fields.value(1), server_text::BlockLimit);
    text->setText(bar.fullText);
    date->setText(server_text::shown(fields.value(2), server_text::LineLimit));
    // Name and date size themselves to their text first.
    name->adjustSize();
    date->adjustSize();

    const comment_rules::BoxPlacement p = comment_rules::placeCommentBox(
        twips::fromPixels(name->width()), twips::fromPixels(date->width()), comment_rules::TextLabelHeight,
        twips::fromPixels(bar.background->y()), twips::fromPixels(bar.background->height()),
        twips::fromPixels(bar.background->width()));
    const int left = twips::toPixels(comment_rules::ColumnLeft);
    const int column = twips::toPixels(p.columnWidth);
    name->setGeometry(left, name->y(), column, name->height());
    date->setGeometry(left, date->y(), column, date->height());
    text->setGeometry(twips::toPixels(p.textLeft), twips::toPixels(p.textTop), twips::toPixels(p.textWidth),
                      twips::toPixels(comment_rules::TextLabelHeight));
    fitCommentText(bar);
    bar.divider->setLine(p.dividerX, bar.divider->y1(), p.dividerX, bar.divider->y2());
}

void fitCommentText(const CommentBar &bar)
{
    // A long text goes onto further whole lines, as many as the bar's height holds, and
    // stays centred in the bar; a text that needs more ends its last line with "…". The
    // label is cut to exactly those lines, so no row of glyphs is cut through at its foot.
    QLabel *text = bar.labels[1];
    const int textWidth = text->width();
    const int lineHeight = std::max(1, text->fontMetrics().lineSpacing());
    const int maxLines = std::max(1, (bar.background->height() - 8) / lineHeight);
    const QStringList lines = wholeLines(bar.fullText, text->font(), std::max(1, textWidth), maxLines);
    if (lines.size() <= 1) {
        text->setText(lines.value(0) == bar.fullText.trimmed() ? bar.fullText : lines.value(0));
        text->resize(textWidth, twips::toPixels(comment_rules::TextLabelHeight));
    } else {
        text->setText(lines.join(QLatin1Char('\n')));
        const int textHeight = int(lines.size()) * lineHeight;
        const int textTop = bar.background->y() + (bar.background->height() - textHeight) / 2;
        text->setGeometry(text->x(), textTop, textWidth, textHeight);
    }
}
