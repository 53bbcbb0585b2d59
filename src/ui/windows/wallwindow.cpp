#include "wallwindow.h"

#include "ui/widgets/picturearea.h"

#include "core/state/walltexts.h"
#include "ui/widgets/walltile.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

WallWindow::WallWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("wallWindow"));
    setWindowTitle(wall_texts::WindowTitle);
    setAutoFillBackground(true);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Qt::black);
    setPalette(dark);
    resize(960, 540);
}

void WallWindow::setCams(const QStringList &names)
{
    qDeleteAll(m_tiles);
    m_tiles.clear();
    for (const QString &name : names) {
        auto *tile = new WallTile(name, this);
        const int index = int(m_tiles.size());
        connect(tile, &WallTile::activated, this, [this, index] { emit tileActivated(index); });
        m_tiles.append(tile);
        tile->show();
    }
    layOutTiles();
}

QList<PictureView *> WallWindow::tileViews() const
{
    QList<PictureView *> views;
    for (WallTile *tile : m_tiles)
        views.append(tile->pictureArea());
    return views;
}

void WallWindow::layOutTiles()
{
    m_grid = wall_grid::bestGrid(int(m_tiles.size()), size());
    for (int i = 0; i < m_tiles.size(); ++i) {
        const QRect place = wall_grid::tileRect(m_grid, size(), i);
        m_tiles[i]->setGeometry(place);
        m_tiles[i]->setVisible(!place.isEmpty());
    }
}

void WallWindow::toggleFullscreen()
{
    if (isFullScreen())
        showNormal();
    else
        showFullScreen();
}

void WallWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_F11) {
        if (!event->isAutoRepeat())
            toggleFullscreen();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        if (isFullScreen())
            showNormal();
        else
            close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void WallWindow::closeEvent(QCloseEvent *event)
{
    // Opened again, the wall starts at its normal size.
    if (isFullScreen())
        setWindowState(windowState() & ~Qt::WindowFullScreen);
    event->accept();
    emit fullscreenChanged(false);
    emit closed();
}

void WallWindow::resizeEvent(QResizeEvent *)
{
    layOutTiles();
    emit tilesMayBeShown();
}

void WallWindow::showEvent(QShowEvent *)
{
    // The window manager maps the window after show(): the tiles can be seen from the
    // next turn of the event loop.
    QTimer::singleShot(0, this, &WallWindow::tilesMayBeShown);
}

void WallWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    emit fullscreenChanged(isFullScreen());
    if (!isMinimized())
        emit tilesMayBeShown();
}
