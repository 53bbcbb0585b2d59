#include "windowplacement.h"

#include "ui/widgets/camlistwidget.h"
#include "core/geometry/twips.h"
#include "ui/widgets/statusbar.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/mainwindow.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/infobarwindow.h"
#include "core/rules/heartbeatrules.h"
#include "core/geometry/mainlayout.h"
#include "ui/widgets/shapes.h"

#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>

namespace {

int tw(int pixels) { return twips::fromPixels(pixels); }
int px(double twipValue) { return twips::toPixels(twipValue); }

} // namespace

void layOutMainWindow(Form1 &form1, Form3 &form3, int camCount)
{
    if (form1.windowState() & Qt::WindowMinimized)
        return;

    const QWidget *client = form1.centralWidget();
    main_layout::Input in;
    in.W = tw(client->width());
    in.H = tw(client->height());
    in.toolbarLeft = tw(form1.Toolbar1->x());
    // The buttons stand side by side from the toolbar's left: their widths together reach
    // the right edge of the last one.
    if (form1.Toolbar1->layout())
        form1.Toolbar1->layout()->activate();
    in.toolbarButtonsWidth = tw(form1.randomCamButton->geometry().right() + 1);
    in.label1Left = tw(form1.Label1->x());
    in.label1Width = tw(form1.Label1->width());
    in.text2Width = tw(form1.Text2->width());
    in.camListLeft = tw(form1.CamList->x());
    in.camListTop = tw(form1.CamList->y());
    in.camListWidth = tw(form1.CamList->width());
    in.vscrollWidth = tw(form1.VScroll1->width());
    in.picDrawLeft = tw(form1.picDraw->x());
    in.picDrawTop = tw(form1.picDraw->y());
    in.infoBarHeight = tw(form1.pctInfoBar->height());
    in.menuBarHeight = tw(form1.pctMenuBar->height());
    in.shape1Height = tw(form1.Shape1->height());
    in.shape2Height = tw(form1.Shape2->height());
    in.comment0Height = tw(form1.CamComment[0]->height());
    in.comment0Width = tw(form1.CamComment[0]->width());
    in.comment1Left = tw(form1.CamComment[1]->x());
    in.richTextLeft = tw(form1.RichTextBox1->x());
    in.itemHeight = CamListWidget::ItemHeight;
    in.camCount = camCount;
    const main_layout::Output o = main_layout::layout(in);

    form1.Picture1->move(px(o.picture1Left), form1.Picture1->y());
    form1.Text2->move(px(o.text2Left), form1.Text2->y());
    form1.Check1->move(px(o.check1Left), form1.Check1->y());
    form1.CamList->resize(form1.CamList->width(), px(o.camListHeight));
    form1.VScroll1->setGeometry(px(o.vscrollLeft), px(o.vscrollTop), form1.VScroll1->width(), px(o.vscrollHeight));
    form1.picDraw->resize(px(o.picDrawWidth), px(o.picDrawHeight));

    form1.Shape1->setGeometry(form1.Shape1->x(), px(o.shape1Top), px(o.shape1Width), form1.Shape1->height());
    form1.Shape2->move(form1.Shape2->x(), px(o.shape2Top));
    form1.Line1->setLine(form1.Line1->X1(), o.line1Y1, form1.Line1->X2(), o.line1Y2);
    QLabel *const *c = form1.CamComment.data();
    c[0]->move(c[0]->x(), px(o.comment0Top));
    c[1]->setGeometry(c[1]->x(), px(o.comment1Top), px(o.comment1Width), c[1]->height());
    c[2]->move(c[2]->x(), px(o.comment2Top));

    form1.pctInfoBar->setGeometry(form1.pctInfoBar->x(), px(o.infoBarTop), px(o.infoBarWidth),
                                  form1.pctInfoBar->height());
    form1.RichTextBox1->resize(px(o.richTextWidth), form1.RichTextBox1->height());
    form1.StatusBar1->resize(px(o.statusBarWidth), form1.StatusBar1->height());
    form1.pctMenuBar->resize(px(o.menuBarWidth), form1.pctMenuBar->height());

    form1.VScroll1->setMaximum(o.scrollMax);
    form1.VScroll1->setPageStep(o.largeChange);

    form1.drawPicture();
    form3.drawPicture();
    form3.AutoRandom[1]->resize(0, form3.AutoRandom[1]->height());
    form1.CamList->PositionListItems();
}

void switchInfoBarSide(Form3 &form3, Form4 &form4)
{
    const QScreen *screen = form3.screen();
    const int screenWidth = twips::fromPixels(screen ? screen->geometry().width() : form3.width());
    const heartbeat::Sides sides =
        heartbeat::switchSides(screenWidth, twips::fromPixels(form4.x()), twips::fromPixels(form4.width()),
                               twips::fromPixels(form3.Shape3->width()), twips::fromPixels(form3.Label1->width()));
    form4.move(twips::toPixels(sides.overlayLeft), form4.y());
    form3.Shape3->move(twips::toPixels(sides.shape3Left), form3.Shape3->y());
    form3.Label1->move(twips::toPixels(sides.label1Left), form3.Label1->y());
}
