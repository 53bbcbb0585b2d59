// The main window as the controllers see it: the transfer, cam-info, title and comment views.
#include "mainwindow.h"

#include "core/catalogue/camrecord.h"
#include "core/catalogue/servertext.h"
#include "core/rules/heartbeatrules.h"
#include "core/state/runningstate.h"
#include "ui/pictures/pictures.h"
#include "ui/widgets/camdescription.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/statusbar.h"

ViewScaleMode MainWindow::scaleMode() const
{
    return m_state.switches.scaleMode();
}

void MainWindow::drawPicture()
{
    (void)m_pictureArea->redrawPicture(scaleMode());
}

void MainWindow::clearPicture()
{
    m_pictureArea->clearPicture();
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
