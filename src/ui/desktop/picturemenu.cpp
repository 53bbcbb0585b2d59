#include "picturemenu.h"

#include "core/state/snapshottexts.h"

#include <QAction>
#include <QKeySequence>
#include <QWidget>

PictureMenu::PictureMenu(QWidget *parent)
    : QMenu(parent)
    , m_save(addAction(snapshot_texts::SavePicture))
    , m_copy(addAction(snapshot_texts::CopyPicture))
    , m_copyAddress(addAction(snapshot_texts::CopyPictureAddress))
{
    setObjectName(QStringLiteral("pictureMenu"));
    m_save->setObjectName(QStringLiteral("savePictureAction"));
    m_copy->setObjectName(QStringLiteral("copyPictureAction"));
    m_copyAddress->setObjectName(QStringLiteral("copyPictureAddressAction"));
    // Shown for the reader only: the desktop keys answer these wherever the focus is.
    m_save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    m_save->setShortcutContext(Qt::WidgetShortcut);
    m_copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    m_copy->setShortcutContext(Qt::WidgetShortcut);
    connect(m_save, &QAction::triggered, this, &PictureMenu::saveRequested);
    connect(m_copy, &QAction::triggered, this, &PictureMenu::copyRequested);
    connect(m_copyAddress, &QAction::triggered, this, &PictureMenu::copyAddressRequested);
}

void PictureMenu::watch(QWidget *area)
{
    area->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(area, &QWidget::customContextMenuRequested, this,
            [this, area](const QPoint &pos) { popup(area->mapToGlobal(pos)); });
}

void PictureMenu::setEntriesEnabled(bool save, bool copy, bool copyAddress)
{
    m_save->setEnabled(save);
    m_copy->setEnabled(copy);
    m_copyAddress->setEnabled(copyAddress);
}
