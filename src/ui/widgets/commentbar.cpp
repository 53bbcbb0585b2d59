#include "commentbar.h"

#include "core/catalogue/servertext.h"
#include "core/geometry/twips.h"
#include "core/rules/commentrules.h"
#include "ui/pictures/pictures.h"
#include "core/state/fullscreentexts.h"
#include "ui/widgets/shapes.h"
#include "ui/widgets/twipgeometry.h"

#include <QLabel>

#include <algorithm>

namespace {

void place(QWidget *w, const fullscreen_layout::TwipBox &b)
{
    setTwipGeometry(w, b.Left, b.Top, b.Width, b.Height);
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

} // namespace

CommentBar buildCommentBar(QWidget *pictureArea, const CommentBarDesign &design)
{
    CommentBar bar;
    bar.Shape2 = new QLabel(pictureArea);
    bar.Shape2->setObjectName(QStringLiteral("Shape2"));
    bar.Shape2->setPixmap(pictures::commentTab());
    place(bar.Shape2, design.Shape2);

    bar.Shape1 = new QLabel(pictureArea);
    bar.Shape1->setObjectName(QStringLiteral("Shape1"));
    bar.Shape1->setPixmap(pictures::commentBar());
    bar.Shape1->setScaledContents(true);
    place(bar.Shape1, design.Shape1);

    bar.CamComment[0] = commentLabel(pictureArea, fullscreen_texts::Commenter, 20.25, true);
    bar.CamComment[1] = commentLabel(pictureArea, fullscreen_texts::Comment, 15.75, false);
    // Long comments wrap inside the label's width instead of running off the bar.
    bar.CamComment[1]->setWordWrap(true);
    bar.Line1 = new LineShape(pictureArea);
    bar.Line1->setObjectName(QStringLiteral("Line1"));
    bar.Line1->setLine(design.Line1X, design.Line1Y1, design.Line1X, design.Line1Y2);
    bar.CamComment[2] = commentLabel(pictureArea, design.dateCaption, 9.75, false);
    for (int i = 0; i < 3; ++i) {
        bar.CamComment[i]->setProperty("Index", i);
        place(bar.CamComment[i], design.CamComment[i]);
    }

    for (QWidget *w : {static_cast<QWidget *>(bar.Shape1), static_cast<QWidget *>(bar.Shape2),
                       static_cast<QWidget *>(bar.Line1), static_cast<QWidget *>(bar.CamComment[0]),
                       static_cast<QWidget *>(bar.CamComment[1]), static_cast<QWidget *>(bar.CamComment[2])})
        w->hide();
    return bar;
}

void setCommentBarVisible(const CommentBar &bar, bool visible)
{
    bar.Shape1->setVisible(visible);
    bar.Shape2->setVisible(visible);
    for (QLabel *label : bar.CamComment)
        label->setVisible(visible);
    bar.Line1->setVisible(visible);
}

void fillCommentBar(const CommentBar &bar, const QStringList &fields)
{
    QLabel *name = bar.CamComment[0];
    QLabel *text = bar.CamComment[1];
    QLabel *date = bar.CamComment[2];
    name->setText(server_text::shown(fields.value(0), server_text::LineLimit));
    text->setText(server_text::shown(fields.value(1), server_text::BlockLimit));
    date->setText(server_text::shown(fields.value(2), server_text::LineLimit));
    // Name and date size themselves to their text first.
    name->adjustSize();
    date->adjustSize();

    const comment_rules::BoxPlacement p = comment_rules::placeCommentBox(
        twips::fromPixels(name->width()), twips::fromPixels(date->width()), comment_rules::TextLabelHeight,
        twips::fromPixels(bar.Shape1->y()), twips::fromPixels(bar.Shape1->height()),
        twips::fromPixels(bar.Shape1->width()));
    const int left = twips::toPixels(comment_rules::ColumnLeft);
    const int column = twips::toPixels(p.columnWidth);
    name->setGeometry(left, name->y(), column, name->height());
    date->setGeometry(left, date->y(), column, date->height());
    // A long text wraps onto further lines as far as the bar's height allows, and stays
    // centred in the bar.
    const int textWidth = twips::toPixels(p.label1Width);
    const int oneLine = twips::toPixels(comment_rules::TextLabelHeight);
    const int textHeight = std::clamp(text->heightForWidth(textWidth), oneLine, std::max(oneLine, bar.Shape1->height() - 8));
    const int textTop = textHeight == oneLine ? twips::toPixels(p.label1Top) : bar.Shape1->y() + (bar.Shape1->height() - textHeight) / 2;
    text->setGeometry(twips::toPixels(p.label1Left), textTop, textWidth, textHeight);
    bar.Line1->setLine(p.lineX, bar.Line1->Y1(), p.lineX, bar.Line1->Y2());
}
