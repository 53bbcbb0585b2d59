#include "windowplacement.h"

#include "core/geometry/mainlayout.h"
#include "core/geometry/twips.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/commentbar.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/shapes.h"
#include "ui/widgets/statusbar.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>

namespace {

int tw(int pixels) { return twips::fromPixels(pixels); }
int px(double twipValue) { return twips::toPixels(twipValue); }

} // namespace

namespace {

// The main window's present measures the layout rules start from.
main_layout::Input measure(const MainWindow &mainWindow, int camCount)
{
    const QWidget *client = mainWindow.centralWidget();
    main_layout::Input in;
    in.W = tw(client->width());
    in.H = tw(client->height());
    in.toolbarLeft = tw(mainWindow.toolbar()->x());
    // The buttons stand side by side from the toolbar's left: their widths together reach
    // the right edge of the last one.
    if (mainWindow.toolbar()->layout())
        mainWindow.toolbar()->layout()->activate();
    in.toolbarButtonsWidth = tw(mainWindow.wallButton()->geometry().right() + 1);
    in.refreshLabelLeft = tw(mainWindow.refreshLabel()->x());
    in.refreshLabelWidth = tw(mainWindow.refreshLabel()->width());
    in.refreshEditWidth = tw(mainWindow.refreshIntervalEdit()->width());
    in.showCommentsWidth = tw(mainWindow.showCommentsCheck()->width());
    in.autoShuffleWidth = tw(mainWindow.autoShuffleCheck()->width());
    in.shuffleEditWidth = tw(mainWindow.shuffleIntervalEdit()->width());
    in.secondsLabelWidth = tw(mainWindow.secondsLabel()->width());
    in.camListLeft = tw(mainWindow.camList()->x());
    in.camListTop = tw(mainWindow.camList()->y());
    in.camListWidth = tw(mainWindow.camList()->width());
    in.vscrollWidth = tw(mainWindow.camListScrollBar()->width());
    in.pictureAreaLeft = tw(mainWindow.pictureArea()->x());
    in.pictureAreaTop = tw(mainWindow.pictureArea()->y());
    in.infoBarHeight = tw(mainWindow.infoStrip()->height());
    in.menuBarHeight = tw(mainWindow.menuStrip()->height());
    in.commentBarHeight = tw(mainWindow.commentBackground()->height());
    in.commentTabHeight = tw(mainWindow.commentTab()->height());
    in.commentNameHeight = tw(mainWindow.commentLabels()[0]->height());
    in.commentNameWidth = tw(mainWindow.commentLabels()[0]->width());
    in.commentTextLeft = tw(mainWindow.commentLabels()[1]->x());
    in.descriptionLeft = tw(mainWindow.descriptionBox()->x());
    in.itemHeight = CamListWidget::ItemHeight;
    in.camCount = camCount;
    return in;
}

} // namespace

void layOutMainWindow(MainWindow &mainWindow, FullscreenWindow &fullscreen, int camCount)
{
    if (mainWindow.windowState() & Qt::WindowMinimized)
        return;

    const main_layout::Output o = main_layout::layout(measure(mainWindow, camCount));

    mainWindow.intervalStrip()->setGeometry(px(o.intervalStripLeft), mainWindow.intervalStrip()->y(), px(o.intervalStripWidth),
                                            mainWindow.intervalStrip()->height());
    mainWindow.refreshIntervalEdit()->move(px(o.refreshEditLeft), mainWindow.refreshIntervalEdit()->y());
    mainWindow.showCommentsCheck()->move(px(o.showCommentsLeft), mainWindow.showCommentsCheck()->y());
    mainWindow.autoShuffleCheck()->move(px(o.autoShuffleLeft), mainWindow.autoShuffleCheck()->y());
    mainWindow.shuffleIntervalEdit()->move(px(o.shuffleEditLeft), mainWindow.shuffleIntervalEdit()->y());
    mainWindow.secondsLabel()->move(px(o.secondsLabelLeft), mainWindow.secondsLabel()->y());
    mainWindow.camList()->resize(mainWindow.camList()->width(), px(o.camListHeight));
    mainWindow.camListScrollBar()->setGeometry(px(o.vscrollLeft), px(o.vscrollTop), mainWindow.camListScrollBar()->width(), px(o.vscrollHeight));
    mainWindow.pictureArea()->resize(px(o.pictureAreaWidth), px(o.pictureAreaHeight));

    mainWindow.commentBackground()->setGeometry(mainWindow.commentBackground()->x(), px(o.commentBarTop), px(o.commentBarWidth), mainWindow.commentBackground()->height());
    mainWindow.commentTab()->move(mainWindow.commentTab()->x(), px(o.commentTabTop));
    mainWindow.commentDivider()->setLine(mainWindow.commentDivider()->x1(), o.dividerTop, mainWindow.commentDivider()->x2(), o.dividerBottom);
    QLabel *const *c = mainWindow.commentLabels().data();
    c[0]->move(c[0]->x(), px(o.commentNameTop));
    c[1]->setGeometry(c[1]->x(), px(o.commentTextTop), px(o.commentTextWidth), c[1]->height());
    c[2]->move(c[2]->x(), px(o.commentDateTop));
    if (!mainWindow.commentBackground()->isHidden())
        fitCommentText(mainWindow.commentBar());

    mainWindow.infoStrip()->setGeometry(mainWindow.infoStrip()->x(), px(o.infoBarTop), px(o.infoBarWidth),
                                  mainWindow.infoStrip()->height());
    mainWindow.descriptionBox()->resize(px(o.descriptionWidth), mainWindow.descriptionBox()->height());
    mainWindow.camStatusBar()->resize(px(o.statusBarWidth), mainWindow.camStatusBar()->height());
    mainWindow.menuStrip()->resize(px(o.menuBarWidth), mainWindow.menuStrip()->height());
    mainWindow.toolbar()->resize(px(o.toolbarWidth), mainWindow.toolbar()->height());

    mainWindow.camListScrollBar()->setMaximum(o.scrollMax);
    mainWindow.camListScrollBar()->setPageStep(o.largeChange);
    // The filter line takes the top of the list, and the rows shown are the filter's.
    if (mainWindow.camList()->isFilterOpen())
        mainWindow.camList()->setUpScrollBar(mainWindow.camList()->shownCount());

    mainWindow.drawPicture();
    fullscreen.drawPicture();
    fullscreen.countdownBar()[1]->resize(0, fullscreen.countdownBar()[1]->height());
    mainWindow.camList()->positionListItems();
}

void setMainWindowMinimumSize(MainWindow &mainWindow)
{
    const main_layout::Size s = main_layout::minimumClientSize(measure(mainWindow, 0));
    mainWindow.centralWidget()->setMinimumSize(px(s.width), px(s.height));
}
