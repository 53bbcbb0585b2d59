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

void layOutMainWindow(MainWindow &form1, FullscreenWindow &form3, int camCount)
{
    if (form1.windowState() & Qt::WindowMinimized)
        return;

    const QWidget *client = form1.centralWidget();
    main_layout::Input in;
    in.W = tw(client->width());
    in.H = tw(client->height());
    in.toolbarLeft = tw(form1.toolbar()->x());
    // The buttons stand side by side from the toolbar's left: their widths together reach
    // the right edge of the last one.
    if (form1.toolbar()->layout())
        form1.toolbar()->layout()->activate();
    in.toolbarButtonsWidth = tw(form1.randomCamButton()->geometry().right() + 1);
    in.label1Left = tw(form1.refreshLabel()->x());
    in.label1Width = tw(form1.refreshLabel()->width());
    in.text2Width = tw(form1.refreshIntervalEdit()->width());
    in.camListLeft = tw(form1.camList()->x());
    in.camListTop = tw(form1.camList()->y());
    in.camListWidth = tw(form1.camList()->width());
    in.vscrollWidth = tw(form1.camListScrollBar()->width());
    in.picDrawLeft = tw(form1.pictureArea()->x());
    in.picDrawTop = tw(form1.pictureArea()->y());
    in.infoBarHeight = tw(form1.infoStrip()->height());
    in.menuBarHeight = tw(form1.menuStrip()->height());
    in.shape1Height = tw(form1.commentBackground()->height());
    in.shape2Height = tw(form1.commentTab()->height());
    in.comment0Height = tw(form1.commentLabels()[0]->height());
    in.comment0Width = tw(form1.commentLabels()[0]->width());
    in.comment1Left = tw(form1.commentLabels()[1]->x());
    in.richTextLeft = tw(form1.descriptionBox()->x());
    in.itemHeight = CamListWidget::ItemHeight;
    in.camCount = camCount;
    const main_layout::Output o = main_layout::layout(in);

    form1.intervalStrip()->move(px(o.picture1Left), form1.intervalStrip()->y());
    form1.refreshIntervalEdit()->move(px(o.text2Left), form1.refreshIntervalEdit()->y());
    form1.showCommentsCheck()->move(px(o.check1Left), form1.showCommentsCheck()->y());
    form1.camList()->resize(form1.camList()->width(), px(o.camListHeight));
    form1.camListScrollBar()->setGeometry(px(o.vscrollLeft), px(o.vscrollTop), form1.camListScrollBar()->width(), px(o.vscrollHeight));
    form1.pictureArea()->resize(px(o.picDrawWidth), px(o.picDrawHeight));

    form1.commentBackground()->setGeometry(form1.commentBackground()->x(), px(o.shape1Top), px(o.shape1Width), form1.commentBackground()->height());
    form1.commentTab()->move(form1.commentTab()->x(), px(o.shape2Top));
    form1.commentDivider()->setLine(form1.commentDivider()->x1(), o.line1Y1, form1.commentDivider()->x2(), o.line1Y2);
    QLabel *const *c = form1.commentLabels().data();
    c[0]->move(c[0]->x(), px(o.comment0Top));
    c[1]->setGeometry(c[1]->x(), px(o.comment1Top), px(o.comment1Width), c[1]->height());
    c[2]->move(c[2]->x(), px(o.comment2Top));

    form1.infoStrip()->setGeometry(form1.infoStrip()->x(), px(o.infoBarTop), px(o.infoBarWidth),
                                  form1.infoStrip()->height());
    form1.descriptionBox()->resize(px(o.richTextWidth), form1.descriptionBox()->height());
    form1.camStatusBar()->resize(px(o.statusBarWidth), form1.camStatusBar()->height());
    form1.menuStrip()->resize(px(o.menuBarWidth), form1.menuStrip()->height());

    form1.camListScrollBar()->setMaximum(o.scrollMax);
    form1.camListScrollBar()->setPageStep(o.largeChange);

    form1.drawPicture();
    form3.drawPicture();
    form3.countdownBar()[1]->resize(0, form3.countdownBar()[1]->height());
    form1.camList()->positionListItems();
}

void switchInfoBarSide(FullscreenWindow &form3, InfoBarWindow &form4)
{
    const QScreen *screen = form3.screen();
    const int screenWidth = twips::fromPixels(screen ? screen->geometry().width() : form3.width());
    const heartbeat::Sides sides =
        heartbeat::switchSides(screenWidth, twips::fromPixels(form4.x()), twips::fromPixels(form4.width()),
                               twips::fromPixels(form3.statusBox()->width()), twips::fromPixels(form3.statusMessage()->width()));
    form4.move(twips::toPixels(sides.overlayLeft), form4.y());
    form3.statusBox()->move(twips::toPixels(sides.shape3Left), form3.statusBox()->y());
    form3.statusMessage()->move(twips::toPixels(sides.label1Left), form3.statusMessage()->y());
}
