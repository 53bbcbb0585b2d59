#include "commentbar.h"

#include "resources/pictures.h"
#include "windows/fullscreentexts.h"
#include "windows/shapes.h"
#include "windows/twipgeometry.h"

#include <QLabel>

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
