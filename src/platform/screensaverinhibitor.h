#pragma once
// Keeps the screen on while someone watches without touching a key: while inhibited, the
// session's screen saver service is asked over D-Bus not to blank the screen (the desktop
// portal's Inhibit where that service is missing), and on X11 the X server's own screen
// saver is suspended as well. On Wayland the compositor is asked too, through an idle
// inhibitor on the surface of the window given, taken once that window is shown (its
// surface exists only then) and dropped when it hides. Every request is released when
// inhibiting stops and when the object goes. A program that dies without either is
// released by the bus, the X server and the compositor themselves, which drop what a
// vanished client asked for. Where nothing at all keeps the screen on, one line says so on
// standard error, once per run.
//
// All bus calls are asynchronous, except the release at the program's end (releaseNow(),
// the destructor), which waits a short moment so it leaves before the connection closes.
#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QDBusPendingCallWatcher;
class QWindow;
struct zwp_idle_inhibitor_v1;

class ScreenSaverInhibitor : public QObject
{
    Q_OBJECT
public:
    // Which service holds the request.
    enum class Route { None, ScreenSaver, Portal };

    // Reaches the session bus when it first asks.
    explicit ScreenSaverInhibitor(QObject *parent = nullptr);
    // Talks to `bus` instead.
    ScreenSaverInhibitor(const QDBusConnection &bus, QObject *parent = nullptr);
    ~ScreenSaverInhibitor() override;

    // `window` is the one the user watches, which the Wayland compositor is asked to keep
    // on; another window while inhibited moves that request to it. Null: no such request.
    void setInhibited(bool inhibited, QWindow *window = nullptr);
    bool isInhibited() const { return m_wanted; }

    // Gives everything back at once, for the program's end: the bus release waits a short
    // moment (without an event loop) so it has left the process before the program ends.
    void releaseNow();

    // The service that granted the running request; None while nothing is held.
    Route route() const;

    // The reason the services may show to the user.
    static const QString Reason;
    // The line on standard error where nothing keeps the screen on.
    static const char NothingKeepsTheScreenOn[];

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // A request was granted or released, or no service could be reached.
    void routeChanged();

private:
    void askScreenSaver();
    void askPortal();
    void screenSaverAnswered(QDBusPendingCallWatcher *call);
    void portalAnswered(QDBusPendingCallWatcher *call);
    void release(bool waitForTheBus);
    void suspendXScreenSaver(bool suspend);
    void watchWindow(QWindow *window);
    void holdOnWayland();
    void releaseOnWayland();
    void sayIfNothingHolds();
    QDBusConnection &bus();

    std::optional<QDBusConnection> m_bus;
    bool m_wanted = false;
    bool m_asking = false;        // a request is on its way
    bool m_busDeclined = false;   // neither bus service granted the running request
    bool m_xSuspended = false;
    quint32 m_cookie = 0;         // the screen saver service's, valid while m_route says so
    QString m_portalRequest;      // the portal's request object, valid likewise
    QPointer<QWindow> m_window;   // the window watched, while inhibited
    zwp_idle_inhibitor_v1 *m_waylandInhibitor = nullptr;
    Route m_route = Route::None;
};
