#pragma once
// The picture areas' right-click menu (`pictureMenu`): "Save picture", "Copy picture" and
// "Copy picture address". It pops up without waiting for the choice; each entry announces
// its request and does nothing itself. Which entries are enabled is set from outside,
// on aboutToShow().
#include <QMenu>

class QAction;
class QWidget;

class PictureMenu : public QMenu
{
    Q_OBJECT
public:
    explicit PictureMenu(QWidget *parent = nullptr);

    // A right-click on the area (or on a part of it that leaves the click to it) opens the
    // menu at the pointer.
    void watch(QWidget *area);

    // Greys the entries that have nothing to act on.
    void setEntriesEnabled(bool save, bool copy, bool copyAddress);

    QAction *saveAction() const { return m_save; } // `savePictureAction`
    QAction *copyAction() const { return m_copy; } // `copyPictureAction`
    QAction *copyAddressAction() const { return m_copyAddress; } // `copyPictureAddressAction`

signals:
    void saveRequested();
    void copyRequested();
    void copyAddressRequested();

private:
    QAction *m_save;
    QAction *m_copy;
    QAction *m_copyAddress;
};
