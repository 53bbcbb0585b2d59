#include "form1.h"

#include "app/texts.h"
#include "camlist/camlistwidget.h"
#include "twipgeometry.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>

namespace {

template<typename W>
W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace

Form1::Form1(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(texts::DesignTitle);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("Form1Client"));
    setCentralWidget(client);
    // Design client size: 15495 x 10560 twips.
    resize(twips::toPixels(15495), twips::toPixels(10560));

    pctMenuBar = named(new QWidget(client), "pctMenuBar");
    setTwipGeometry(pctMenuBar, 3600, 120, 11415, 375);
    Picture1 = named(new QWidget(pctMenuBar), "Picture1");
    setTwipGeometry(Picture1, 3120, 0, 8055, 375);
    Label1 = named(new QLabel(QStringLiteral("Re&fresh (sec):"), Picture1), "Label1");
    setTwipGeometry(Label1, 0, 60, 1035, 195);
    Text2 = named(new QLineEdit(QStringLiteral("5"), Picture1), "Text2");
    setTwipGeometry(Text2, 1080, 30, 375, 285);
    Label1->setBuddy(Text2);
    Check1 = named(new QCheckBox(QStringLiteral("Show user &comments"), Picture1), "Check1");
    Check1->setChecked(true);
    setTwipGeometry(Check1, 1680, 60, 1815, 255);
    Check2 = named(new QCheckBox(QStringLiteral("Auto shuffle"), Picture1), "Check2");
    setTwipGeometry(Check2, 3720, 60, 1335, 255);
    Text3 = named(new QLineEdit(QStringLiteral("60"), Picture1), "Text3");
    setTwipGeometry(Text3, 4920, 30, 375, 285);
    Label2 = named(new QLabel(QStringLiteral("sec."), Picture1), "Label2");
    setTwipGeometry(Label2, 5340, 60, 300, 195);

    VScroll1 = named(new QScrollBar(Qt::Vertical, client), "VScroll1");
    setTwipGeometry(VScroll1, 3240, 120, 255, 10455);
    VScroll1->setRange(0, 0);
    CamList = new CamListWidget(VScroll1, client);
    setTwipGeometry(CamList, 120, 120, 3375, 10455);
    // The scroll bar stands over the list's right edge; dragging its thumb moves the rows.
    VScroll1->raise();
    connect(VScroll1, &QScrollBar::valueChanged, CamList, &CamListWidget::PositionListItems);

    picDraw = named(new QWidget(client), "picDraw");
    picDraw->setAutoFillBackground(true);
    QPalette black = picDraw->palette();
    black.setColor(QPalette::Window, Qt::black);
    picDraw->setPalette(black);
    setTwipGeometry(picDraw, 3600, 600, 11400, 8040);

    Text1 = named(new QLineEdit(client), "Text1");
    Text1->hide();
    KeyCodeText = named(new QLineEdit(client), "KeyCodeText");
    KeyCodeText->hide();

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->ignore();
    emit closeRequested();
}
