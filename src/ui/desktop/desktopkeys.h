#pragma once
// The keys people press in any desktop program, answered in every window of this one
// wherever the focus is: F11 switches between the main and the fullscreen window, F5
// refreshes the picture now, Ctrl+Q quits, Ctrl+D stars or unstars the selected cam,
// Ctrl+F (and "/", outside a text field that takes it) finds a cam, Ctrl+S saves the
// picture and Ctrl+C copies it, unless the focus is in a text field with selected text,
// whose text Ctrl+C copies as ever (and no command sees the key). They are taken before
// the windows' own key commands, none of which uses them; a key held down does not
// repeat them.
//
// In any other window (a dialog, a file chooser, a message box) keys are that window's:
// only F11, F5 and Ctrl+Q are taken there, and not while the focus is in a text field.
#include <QList>
#include <QObject>

class QWidget;

class DesktopKeys : public QObject
{
    Q_OBJECT
public:
    // Watches every key the application receives; create it after any other application-wide
    // key filter, so it sees the keys first.
    explicit DesktopKeys(QObject *parent = nullptr);

    // A field where "/" is text to type, not the find key.
    void addTextField(const QObject *field) { m_textFields.append(field); }
    // A window of the program's own, where every one of these keys counts.
    void addWindow(const QWidget *window) { m_windows.append(window); }
    // A window of the program's own that switches itself to full screen with F11; the other
    // keys count there as in any other window.
    void addFullscreenWindow(const QWidget *window) { m_fullscreenWindows.append(window); }

signals:
    void fullscreenToggleRequested();
    void refreshRequested();
    void quitRequested();
    void findRequested();
    void saveRequested();
    void copyRequested();
    void favouriteToggleRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    const QWidget *windowOf(QObject *watched) const;
    bool inOwnWindow(QObject *watched) const;

    QList<const QObject *> m_textFields;
    QList<const QWidget *> m_windows;
    QList<const QWidget *> m_fullscreenWindows;
};
