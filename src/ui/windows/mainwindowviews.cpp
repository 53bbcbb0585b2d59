// The main window as the controllers see it: the picture, transfer, cam-info, title and
// comment views.
#include "mainwindow.h"

#include "core/catalogue/camrecord.h"
#include "core/catalogue/servertext.h"
#include "core/rules/heartbeatrules.h"
#include "core/state/runningstate.h"
#include "platform/scaleddrawing.h"
#include "ui/pictures/pictures.h"
#include "ui/widgets/camdescription.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/statusbar.h"

ViewScaleMode MainWindow::scaleMode() const
{
    return m_state.scaleMode;
}

ScaleError MainWindow::drawScaled()
{
    return drawScaledPicture(*m_pictureArea, m_pictureHolder->picture(), scaleMode());
}

QSize MainWindow::pictureAreaSize() const
{
    return m_pictureArea->size();
}

qreal MainWindow::pictureAreaPixelRatio() const
{
    return m_pictureArea->pixelRatio();
}

void MainWindow::setPicture(const QImage &picture)
{
    m_pictureHolder->setPicture(picture);
}

void MainWindow::drawPicture()
{
    // A failed placement (an area without height, an origin beyond the 16-bit range)
    // leaves the area cleared; the program goes on and the next redraw tries again.
    (void)drawScaled();
}

void MainWindow::showPreparedPicture(const QImage &surface)
{
    if (!m_pictureArea->showSurface(surface))
        (void)drawScaled();
}

void MainWindow::clearPicture()
{
    m_pictureArea->clear();
}

void MainWindow::showFailureReason(const QString &reason)
{
    m_pictureArea->setFailureReason(reason);
}

void MainWindow::showUnchangedNote(const QString &note)
{
    m_pictureArea->setUnchangedBadge(note);
}

void MainWindow::showTransferState(const QString &bullets)
{
    m_pictureArea->drawShadowText(bullets);
}

void MainWindow::clearTransferState()
{
    m_pictureArea->wipeShadowText();
}

void MainWindow::showTransferStatistics(const QString &text)
{
    m_camStatusBar->setPanelText(5, text);
}

void MainWindow::showStatusMessage(const QString &text)
{
    m_camStatusBar->setPanelText(5, text);
}

void MainWindow::showCamInfo(const QStringList &f)
{
    showCamDescription(*m_descriptionBox, f, palette().color(QPalette::Text), 10);
    StatusBar &bar = *m_camStatusBar;
    bar.setPanelText(1, heartbeat::addedByText(f));
    bar.setPanelText(2, server_text::shown(CamRecord::field(f, CamRecord::ViewCount), server_text::LineLimit));
    bar.setPanelText(3, server_text::shown(CamRecord::field(f, CamRecord::CommentCount), server_text::LineLimit));
    bar.setPanelPicture(2, pictures::imageListPicture(8));
    bar.setPanelPicture(3, pictures::imageListPicture(7));
    bar.setPanelPicture(4, pictures::ratingPicture(CamRecord::field(f, CamRecord::Rating)));
}

void MainWindow::showTitle(const QString &title)
{
    setWindowTitle(title);
}

void MainWindow::showComment(const QStringList &fields)
{
    fillCommentBar(m_commentBar, fields);
    setCommentBarVisible(m_commentBar, true);
}

void MainWindow::hideComment()
{
    setCommentBarVisible(m_commentBar, false);
}
