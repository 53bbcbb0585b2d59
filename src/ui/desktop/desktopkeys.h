#pragma once
// The keys people press in any desktop program, answered in every window of this one
// wherever the focus is: F11 switches between the main and the fullscreen window, F5
// refreshes the picture now, Ctrl+Q quits. They are taken before the windows' own key
// commands, none of which uses them; a key held down does not repeat them.
#include <QObject>

class DesktopKeys : public QObject
{
    Q_OBJECT
public:
    // Watches every key the application receives; create it after any other application-wide
    // key filter, so it sees the keys first.
    explicit DesktopKeys(QObject *parent = nullptr);

signals:
    void fullscreenToggleRequested();
    void refreshRequested();
    void quitRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
