// The real lumora-viewer binary on an X server of its own (Xvfb, 1280 x 1024, no window
// manager) against a local lumora-camserver, watched only from outside the process: the X
// server tells the window title and shows the screen, the camserver's log tells what was
// asked for, and the window is closed the way a window manager closes it (WM_DELETE_WINDOW).
//
// The catalogue holds one cam, so the random first pick is known, and its picture is a
// 640 x 320 picture made here: left half pure red, right half pure blue. In the restored
// main window (800 x 600, or wider where its captions need it) "Scale Inline" fits it to
// the picture area's width with black bars above and below, which makes every misplaced
// pixel visible.
//
// A second viewer then shows a cam whose picture takes a minute to decode (a progressive
// JPEG whose luma scan repeats 20000 times): while it decodes, the window answers the
// window manager's pings at once, and a close request ends the program at once.
// Last, on a second X server with a window manager (openbox), viewers that cannot start
// (a refused connection, a cam list without cams) must show their stop message on top of
// the splash window, whole, and name the cause on standard error; Retry on a refused
// connection, once the server is up, opens the main window. A viewer without any
// config.ini asks for the server's address on top, writes the user's config.ini and goes
// on; closing the splash window while the cam list is on its way ends the program at once.
// LUMORA_E2E_VIEWER runs another viewer binary instead of the one built here.
#include "camserverprocess.h"
#include "craftedpictures.h"
#include "wholefiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

const QString CamTitle = QStringLiteral("E2E Cam - lumora viewer 5");
const QString ProgramTitle = QStringLiteral("lumora viewer 5");
const QSize PictureSize(640, 320);
constexpr QRgb Red = 0xFF0000;
constexpr QRgb Blue = 0x0000FF;
constexpr QRgb Black = 0x000000;

template<typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

template<typename T>
XcbReply<T> reply(T *r)
{
    return XcbReply<T>(r, &std::free);
}

// A connection to the test's X server, with the few requests a window manager or a
// screenshot tool would make.
class XDisplay
{
public:
    ~XDisplay()
    {
        if (m_c)
            xcb_disconnect(m_c);
    }

    bool connect(const QByteArray &display)
    {
        int screenNumber = 0;
        m_c = xcb_connect(display.constData(), &screenNumber);
        if (xcb_connection_has_error(m_c))
            return false;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; i < screenNumber; ++i)
            xcb_screen_next(&it);
        m_screen = it.data;
        m_netWmName = atom("_NET_WM_NAME");
        m_utf8 = atom("UTF8_STRING");
        m_wmProtocols = atom("WM_PROTOCOLS");
        m_wmDelete = atom("WM_DELETE_WINDOW");
        m_netWmPing = atom("_NET_WM_PING");
        m_netWmPid = atom("_NET_WM_PID");
        m_wmCheck = atom("_NET_SUPPORTING_WM_CHECK");
        // A client answers a ping by sending it back to the root window for whoever watches
        // the root's children, as a window manager does.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_screen->root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_c);
        return m_screen && m_netWmName && m_utf8 && m_wmProtocols && m_wmDelete && m_netWmPing && m_netWmPid
            && m_wmCheck;
    }

    QSize screenSize() const { return QSize(m_screen->width_in_pixels, m_screen->height_in_pixels); }

    // Without a window manager the program's windows are the root's own children; with one,
    // the root's children are its frames, each holding a program's window. Bottom first,
    // as the X server stacks them.
    QList<xcb_window_t> topLevels() const { return children(m_screen->root); }

    QList<xcb_window_t> children(xcb_window_t parent) const
    {
        QList<xcb_window_t> windows;
        const auto tree = reply(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, parent), nullptr));
        if (!tree)
            return windows;
        const xcb_window_t *children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i)
            windows.append(children[i]);
        return windows;
    }

    // The process that says it owns the window (_NET_WM_PID), or 0.
    qint64 ownerPid(xcb_window_t w) const
    {
        const auto r = reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, m_netWmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr));
        if (!r || r->type != XCB_ATOM_CARDINAL || xcb_get_property_value_length(r.get()) != 4)
            return 0;
        return *static_cast<const uint32_t *>(xcb_get_property_value(r.get()));
    }

    // The window of process pid that a top-level window is, or holds as a window manager's
    // frame does; 0 if it holds none.
    xcb_window_t windowOf(xcb_window_t topLevel, qint64 pid) const
    {
        if (ownerPid(topLevel) == pid)
            return topLevel;
        for (xcb_window_t child : children(topLevel))
            if (ownerPid(child) == pid)
                return child;
        return 0;
    }

    // Whether a window manager has announced itself on the root window.
    bool windowManagerRunning() const
    {
        const auto r = reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, m_screen->root, m_wmCheck, XCB_ATOM_WINDOW, 0, 1), nullptr));
        return r && r->type == XCB_ATOM_WINDOW && xcb_get_property_value_length(r.get()) == 4;
    }

    // A key pressed and released as the keyboard would send it to the window; false if no
    // key of the keyboard gives this key symbol.
    bool pressKey(xcb_window_t w, uint32_t keysym) const
    {
        const xcb_setup_t *setup = xcb_get_setup(m_c);
        const uint8_t count = uint8_t(setup->max_keycode - setup->min_keycode + 1);
        const auto map = reply(xcb_get_keyboard_mapping_reply(
            m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, count), nullptr));
        if (!map)
            return false;
        const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(map.get());
        const int perCode = map->keysyms_per_keycode;
        xcb_keycode_t code = 0;
        uint16_t state = 0;
        for (int i = 0; i < count * perCode && !code; ++i) {
            if (syms[i] == keysym) {
                code = xcb_keycode_t(setup->min_keycode + i / perCode);
                // A key's second symbol is the one typed with Shift.
                state = i % perCode == 1 ? XCB_MOD_MASK_SHIFT : 0;
            }
        }
        if (!code)
            return false;
        for (uint8_t type : {uint8_t(XCB_KEY_PRESS), uint8_t(XCB_KEY_RELEASE)}) {
            xcb_key_press_event_t event{};
            event.response_type = type;
            event.detail = code;
            event.time = XCB_CURRENT_TIME;
            event.root = m_screen->root;
            event.event = w;
            event.child = XCB_WINDOW_NONE;
            event.state = state;
            event.same_screen = 1;
            const uint32_t mask = type == XCB_KEY_PRESS ? XCB_EVENT_MASK_KEY_PRESS : XCB_EVENT_MASK_KEY_RELEASE;
            xcb_send_event(m_c, 0, w, mask, reinterpret_cast<const char *>(&event));
        }
        xcb_flush(m_c);
        return true;
    }

    // Types text key by key; "\r", "\t" and "\x1b" are Return, Tab and Escape.
    bool typeText(xcb_window_t w, const QString &text) const
    {
        for (const QChar c : text) {
            const uint32_t keysym = c == u'\r' ? 0xff0d : c == u'\t' ? 0xff09 : c == u'\x1b' ? 0xff1b : c.unicode();
            if (!pressKey(w, keysym))
                return false;
        }
        return true;
    }

    QString name(xcb_window_t w) const
    {
        const auto r = reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, m_netWmName, m_utf8, 0, 1024), nullptr));
        if (r && r->type == m_utf8)
            return QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(r.get())),
                                     xcb_get_property_value_length(r.get()));
        const auto legacy = reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 1024), nullptr));
        if (legacy && legacy->type == XCB_ATOM_STRING)
            return QString::fromLatin1(static_cast<const char *>(xcb_get_property_value(legacy.get())),
                                       xcb_get_property_value_length(legacy.get()));
        return {};
    }

    bool isViewable(xcb_window_t w) const
    {
        const auto r = reply(xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, w), nullptr));
        return r && r->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    // The shown top-level window with exactly this title, or 0.
    xcb_window_t shownWindowNamed(const QString &title) const
    {
        for (xcb_window_t w : topLevels())
            if (isViewable(w) && name(w) == title)
                return w;
        return 0;
    }

    // The shown window of process pid with exactly this title, framed or not, or 0.
    xcb_window_t shownWindowOf(qint64 pid, const QString &title) const
    {
        for (xcb_window_t top : topLevels()) {
            const xcb_window_t w = windowOf(top, pid);
            if (w && isViewable(top) && isViewable(w) && name(w) == title)
                return w;
        }
        return 0;
    }

    // All titles of shown windows, for failure messages.
    QStringList shownTitles() const
    {
        QStringList titles;
        for (xcb_window_t w : topLevels())
            if (isViewable(w))
                titles << QLatin1Char('"') + name(w) + QLatin1Char('"');
        return titles;
    }

    // The window's inside in root coordinates; without a window manager there is no frame.
    QRect geometry(xcb_window_t w) const
    {
        const auto g = reply(xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, w), nullptr));
        const auto t = reply(xcb_translate_coordinates_reply(
            m_c, xcb_translate_coordinates(m_c, w, m_screen->root, 0, 0), nullptr));
        if (!g || !t)
            return {};
        return QRect(t->dst_x, t->dst_y, g->width, g->height);
    }

    // What the screen shows, as a 32-bit RGB image; a null image if the server's pixel
    // format is not the usual 24-bit depth in 32-bit little-endian pixels.
    QImage grabScreen(QString *why) const
    {
        const xcb_setup_t *setup = xcb_get_setup(m_c);
        int bitsPerPixel = 0;
        for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
            if (it.data->depth == m_screen->root_depth)
                bitsPerPixel = it.data->bits_per_pixel;
        if (m_screen->root_depth != 24 || bitsPerPixel != 32 || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
            *why = QStringLiteral("unexpected pixel format: depth %1, %2 bits per pixel, byte order %3")
                       .arg(m_screen->root_depth).arg(bitsPerPixel).arg(setup->image_byte_order);
            return {};
        }
        const QSize size = screenSize();
        const auto image = reply(xcb_get_image_reply(
            m_c,
            xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_screen->root, 0, 0, uint16_t(size.width()),
                          uint16_t(size.height()), ~0u),
            nullptr));
        if (!image || xcb_get_image_data_length(image.get()) < size.width() * size.height() * 4) {
            *why = QStringLiteral("GetImage of the root window failed");
            return {};
        }
        return QImage(xcb_get_image_data(image.get()), size.width(), size.height(), size.width() * 4,
                      QImage::Format_RGB32)
            .copy();
    }

    // The close request a window manager sends when the user closes a window.
    void requestClose(xcb_window_t w) const { sendProtocolMessage(w, m_wmDelete, XCB_CURRENT_TIME); }

    bool exists(xcb_window_t w) const { return topLevels().contains(w); }

    // Sends the window manager's ping to the window and waits for its answer, which only
    // the program's window thread gives. The round trip in milliseconds, or -1 when no
    // answer came within timeoutMs.
    qint64 ping(xcb_window_t w, int timeoutMs)
    {
        const uint32_t stamp = ++m_pingStamp;
        QElapsedTimer clock;
        clock.start();
        sendProtocolMessage(w, m_netWmPing, stamp, w);
        for (;;) {
            while (xcb_generic_event_t *e = xcb_poll_for_event(m_c)) {
                bool answer = false;
                if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                    const auto *m = reinterpret_cast<const xcb_client_message_event_t *>(e);
                    answer = m->type == m_wmProtocols && m->data.data32[0] == m_netWmPing
                        && m->data.data32[1] == stamp;
                }
                std::free(e);
                if (answer)
                    return clock.elapsed();
            }
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0 || xcb_connection_has_error(m_c))
                return -1;
            pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
            poll(&fd, 1, int(std::min<qint64>(left, 50)));
        }
    }

private:
    // A WM_PROTOCOLS message to the window, as a window manager sends it.
    void sendProtocolMessage(xcb_window_t w, xcb_atom_t protocol, uint32_t time, uint32_t extra = 0) const
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = w;
        event.type = m_wmProtocols;
        event.data.data32[0] = protocol;
        event.data.data32[1] = time;
        event.data.data32[2] = extra;
        xcb_send_event(m_c, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event));
        xcb_flush(m_c);
    }

    xcb_atom_t atom(const char *atomName) const
    {
        const auto r = reply(xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, uint16_t(qstrlen(atomName)), atomName), nullptr));
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    xcb_connection_t *m_c = nullptr;
    xcb_screen_t *m_screen = nullptr;
    xcb_atom_t m_netWmName = XCB_ATOM_NONE;
    xcb_atom_t m_utf8 = XCB_ATOM_NONE;
    xcb_atom_t m_wmProtocols = XCB_ATOM_NONE;
    xcb_atom_t m_wmDelete = XCB_ATOM_NONE;
    xcb_atom_t m_netWmPing = XCB_ATOM_NONE;
    xcb_atom_t m_netWmPid = XCB_ATOM_NONE;
    xcb_atom_t m_wmCheck = XCB_ATOM_NONE;
    uint32_t m_pingStamp = 0;
};

// The working folder after the viewer ended: config.ini and nothing else.
bool holdsOnlyConfig(const QString &folder, QString *why)
{
    const QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    *why = QStringLiteral("the working folder holds: ") + left.join(QStringLiteral(", "));
    return left == QStringList{QStringLiteral("config.ini")};
}

QString colourName(QRgb c)
{
    return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

// Processor time a process has used so far, in milliseconds; -1 if it cannot be read.
qint64 cpuMs(qint64 pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    // utime and stime, the 14th and 15th fields of the whole line.
    return (fields[11].toLongLong() + fields[12].toLongLong()) * 1000 / sysconf(_SC_CLK_TCK);
}

QString viewerBinary()
{
    return qEnvironmentVariable("LUMORA_E2E_VIEWER", QStringLiteral(LUMORA_VIEWER_PATH));
}

// Where "Scale Inline" must put a picture of this size: the largest size with its
// proportions inside the area, centred.
QRect inlinePlacement(const QRect &area, QSize picture)
{
    const double scale = std::min(double(area.width()) / picture.width(), double(area.height()) / picture.height());
    const QSize size(qRound(picture.width() * scale), qRound(picture.height() * scale));
    return QRect(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2,
                 size.width(), size.height());
}

// Compares the picture area on the screen with the expected placement. Rounding may move
// each edge by one pixel, so the pixels next to an edge are not judged. Returns the first
// few mismatches; empty when the screen is right.
QStringList comparePictureArea(const QImage &shot, const QRect &area, const QRect &picture)
{
    QStringList problems;
    const QRect inside = picture.adjusted(1, 1, -1, -1);
    const QRect outside = picture.adjusted(-1, -1, 1, 1);
    const int middle = picture.left() + picture.width() / 2;
    int mismatches = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb seen = shot.pixel(x, y) & 0xFFFFFF;
            QRgb expected;
            if (!outside.contains(x, y))
                expected = Black;
            else if (inside.contains(x, y) && x < middle - 1)
                expected = Red;
            else if (inside.contains(x, y) && x > middle)
                expected = Blue;
            else
                continue;
            if (seen != expected && ++mismatches <= 5)
                problems << QStringLiteral("(%1, %2) is %3, expected %4")
                                .arg(x).arg(y).arg(colourName(seen), colourName(expected));
        }
    }
    if (mismatches > 5)
        problems << QStringLiteral("... %1 wrong pixels in all").arg(mismatches);
    return problems;
}

} // namespace

class TestViewer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void titleNamesTheCam();
    void serverSawTheRequests();
    void pictureWhereScaleInlinePutsIt();
    void unchangedPictureStaysOnScreen();
    void closeRequestEndsTheProgram();
    void windowAnswersWhileAPictureDecodes();
    void closeRequestMidDecode();
    void terminationSignalMidDecode();
    void configFromTheUsersConfigFolder_data();
    void configFromTheUsersConfigFolder();
    void stopMessageOnTop_data();
    void stopMessageOnTop();
    void closingTheSplashEndsTheProgram();
    void cleanupTestCase();

private:
    bool startXServer(QProcess &xvfbProcess, QByteArray &display, XDisplay &x, QString *why);
    // The second X server, with a window manager, for the stop messages.
    bool startManagedXServer(QString *why);
    // home: the user's home, config and cache folders.
    bool startManagedViewer(QProcess &viewer, const QString &workDir, const QString &home, const QString &errorLog) const;
    bool messageBoxOnTop(qint64 pid, xcb_window_t box, bool overTheSplash, QString *stacking) const;
    QString viewerLog() const;
    // Polls until check() holds, while the viewer still runs; fails with the reason.
    bool waitFor(const std::function<bool()> &check, int timeoutMs, QString *why) const;
    bool waitFor(const QProcess &viewer, const std::function<bool()> &check, int timeoutMs, QString *why) const;
    // The second viewer, on the decoder bomb's cam, once its decode has begun.
    bool bombViewerDecoding(QString *why);

    QTemporaryDir m_files;   // the served picture, catalogue, comments and the logs
    QTemporaryDir m_workDir; // the viewer's working folder: config.ini and nothing else
    QProcess m_xvfb;
    QByteArray m_display;
    XDisplay m_x;
    std::unique_ptr<CamServerProcess> m_server;
    QProcess m_viewer;
    xcb_window_t m_window = 0;
    QTemporaryDir m_bombWorkDir;
    QProcess m_bombViewer;
    xcb_window_t m_bombWindow = 0;
    QByteArray m_bomb;
    QProcess m_managedXvfb;
    QByteArray m_managedDisplay;
    XDisplay m_managedX;
    QProcess m_windowManager;
};

bool TestViewer::startXServer(QProcess &xvfbProcess, QByteArray &display, XDisplay &x, QString *why)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        *why = QStringLiteral("Xvfb is not installed (Debian package xvfb)");
        return false;
    }
    // -displayfd lets the server take a free display number itself, so parallel tests
    // cannot race for one.
    xvfbProcess.setStandardErrorFile(m_files.filePath(QStringLiteral("xvfb.log")), QIODevice::Append);
    xvfbProcess.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                        QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp")});
    if (!xvfbProcess.waitForStarted(5000)) {
        *why = QStringLiteral("cannot run Xvfb: %1").arg(xvfbProcess.errorString());
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray out;
    while (!out.contains('\n') && clock.elapsed() < 15000 && xvfbProcess.state() == QProcess::Running) {
        xvfbProcess.waitForReadyRead(100);
        out += xvfbProcess.readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok) {
        *why = QStringLiteral("Xvfb gave no display number; its log: %1")
                   .arg(QString::fromLocal8Bit(readFile(m_files.filePath(QStringLiteral("xvfb.log")))));
        return false;
    }
    display = ':' + QByteArray::number(number);
    if (!x.connect(display)) {
        *why = QStringLiteral("cannot connect to the X server %1").arg(QString::fromLatin1(display));
        return false;
    }
    return true;
}

QString TestViewer::viewerLog() const
{
    return QString::fromLocal8Bit(readFile(m_files.filePath(QStringLiteral("viewer.log"))));
}

bool TestViewer::waitFor(const std::function<bool()> &check, int timeoutMs, QString *why) const
{
    return waitFor(m_viewer, check, timeoutMs, why);
}

bool TestViewer::waitFor(const QProcess &viewer, const std::function<bool()> &check, int timeoutMs,
                         QString *why) const
{
    QElapsedTimer clock;
    clock.start();
    while (!check()) {
        if (viewer.state() != QProcess::Running) {
            *why = QStringLiteral("the viewer ended early (exit code %1); its output: %2")
                       .arg(viewer.exitCode()).arg(viewerLog());
            return false;
        }
        if (clock.elapsed() > timeoutMs) {
            *why = QStringLiteral("not within %1 ms").arg(timeoutMs);
            return false;
        }
        QTest::qWait(100);
    }
    return true;
}

void TestViewer::initTestCase()
{
    QVERIFY(m_files.isValid() && m_workDir.isValid());
    QString why;
    QVERIFY2(startXServer(m_xvfb, m_display, m_x, &why), qPrintable(why));
    QCOMPARE(m_x.screenSize(), QSize(1280, 1024));

    QImage picture(PictureSize, QImage::Format_RGB32);
    picture.fill(Blue);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width() / 2; ++x)
            picture.setPixel(x, y, Red);
    const QString pictures = m_files.filePath(QStringLiteral("pictures"));
    const QString comments = m_files.filePath(QStringLiteral("comments"));
    QVERIFY(QDir().mkpath(pictures) && QDir().mkpath(comments));
    QVERIFY(picture.save(pictures + QStringLiteral("/pic.png"), "PNG"));
    // No comments, so the comment bar never covers part of the picture.
    QVERIFY(writeFile(comments + QStringLiteral("/1.txt"), QByteArray()));
    const QString catalogue = m_files.filePath(QStringLiteral("camlist.txt"));
    QVERIFY(writeFile(catalogue, "1;E2E Cam;{base}/pic.png;A test cam;;4;0;7;tester\r\n"));

    m_server = std::make_unique<CamServerProcess>(QStringList{
        QStringLiteral("--catalogue"), catalogue, QStringLiteral("--pictures"), pictures,
        QStringLiteral("--comments"), comments});
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));

    QVERIFY(writeFile(m_workDir.filePath(QStringLiteral("config.ini")),
                      "url=" + m_server->baseUrl().toLatin1() + "\r\n"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // The X server runs without authorisation; a cookie file of another display is no use.
    env.remove(QStringLiteral("XAUTHORITY"));
    // Nothing of the user's own config or cache folders may take part.
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_files.filePath(QStringLiteral("no-config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_files.filePath(QStringLiteral("no-cache")));
    m_viewer.setProcessEnvironment(env);
    m_viewer.setWorkingDirectory(m_workDir.path());
    m_viewer.setProcessChannelMode(QProcess::MergedChannels);
    m_viewer.setStandardOutputFile(m_files.filePath(QStringLiteral("viewer.log")));
    m_viewer.start(viewerBinary(), {});
    QVERIFY2(m_viewer.waitForStarted(5000), qPrintable(m_viewer.errorString()));

    m_bomb = crafted::jpegScanBomb(4096, 20000);
    QVERIFY(!m_bomb.isEmpty());
    QVERIFY(m_bombWorkDir.isValid());
}

void TestViewer::titleNamesTheCam()
{
    QString why;
    const bool shown = waitFor([this] { return (m_window = m_x.shownWindowNamed(CamTitle)) != 0; }, 20000, &why);
    QVERIFY2(shown, qPrintable(QStringLiteral("no shown window titled \"%1\": %2; shown windows: %3")
                                   .arg(CamTitle, why, m_x.shownTitles().join(QStringLiteral(", ")))));
}

void TestViewer::serverSawTheRequests()
{
    const QStringList wanted{QStringLiteral("GET /camlist.php 200"), QStringLiteral("GET /pic.png 200"),
                             QStringLiteral("GET /comments.php?camid=1 200")};
    QStringList seen;
    QString why;
    const bool all = waitFor(
        [&] {
            seen = m_server->requests();
            for (const QString &line : wanted)
                if (!seen.contains(line))
                    return false;
            return true;
        },
        15000, &why);
    QVERIFY2(all, qPrintable(QStringLiteral("%1; the server saw: %2").arg(why, seen.join(QStringLiteral(" | ")))));
    // The catalogue comes before anything of the cam, and only once.
    QCOMPARE(seen.first(), wanted.first());
    QCOMPARE(seen.count(wanted.first()), 1);
}

void TestViewer::pictureWhereScaleInlinePutsIt()
{
    QVERIFY2(m_window, "no main window found");
    const QRect client = m_x.geometry(m_window);
    // Shown maximised, but with no window manager to obey that the window keeps the size it
    // was given before: 800 x 600, widened to the minimum width its captions need.
    QCOMPARE(client.topLeft(), QPoint(0, 0));
    QCOMPARE(client.height(), 600);
    QVERIFY2(client.width() >= 800 && client.width() <= 1024, qPrintable(QString::number(client.width())));
    // The picture area sits 240 x 40 pixels into the window, leaves 8 pixels on the right
    // and 130 below for the information bar.
    const QRect area(client.left() + 240, client.top() + 40, client.width() - 248, client.height() - 170);
    const QRect picture = inlinePlacement(area, PictureSize);
    QVERIFY(area.contains(picture));
    QVERIFY2(picture.top() - area.top() > 20, "the layout leaves no bars to check");

    // A refresh in progress draws its state over the picture for a moment, so look again
    // until the screen settles.
    QStringList problems;
    QString why;
    const bool right = waitFor(
        [&] {
            QString grabError;
            const QImage shot = m_x.grabScreen(&grabError);
            problems = shot.isNull() ? QStringList{grabError} : comparePictureArea(shot, area, picture);
            return problems.isEmpty();
        },
        10000, &why);
    QVERIFY2(right, qPrintable(QStringLiteral("picture area %1,%2 %3x%4, picture expected at %5,%6 %7x%8 (%9): %10")
                                   .arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height())
                                   .arg(picture.x()).arg(picture.y()).arg(picture.width()).arg(picture.height())
                                   .arg(why, problems.join(QStringLiteral("; ")))));
}

// The served file never changes, so every refresh after the first asks conditionally and
// gets a 304: the picture stays on the screen as drawn, without the transfer's bullets, and
// no picture file appears in the working folder (its comments file still does).
void TestViewer::unchangedPictureStaysOnScreen()
{
    QVERIFY2(m_window, "no main window found");
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    const auto closeWatch = qScopeGuard([watch] { ::close(watch); });
    QVERIFY(inotify_add_watch(watch, QFile::encodeName(m_workDir.path()).constData(),
                              IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE) >= 0);
    QStringList written;
    const auto readEvents = [&] {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(watch, buffer, sizeof buffer);
            if (n <= 0)
                return;
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->len > 0)
                    written.append(QFile::decodeName(event->name));
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
    };

    QVERIFY(m_server->resetLog());
    QStringList seen;
    QString why;
    // A 304 for the picture, then that refresh's comments.
    const bool refreshed = waitFor(
        [&] {
            readEvents();
            seen = m_server->requests();
            const int at = int(seen.indexOf(QRegularExpression(QStringLiteral("GET /pic\\.png 304 If-None-Match: \".+"))));
            return at >= 0 && seen.indexOf(QStringLiteral("GET /comments.php?camid=1 200"), at) > at;
        },
        20000, &why);
    QVERIFY2(refreshed, qPrintable(QStringLiteral("%1; the server saw: %2").arg(why, seen.join(QStringLiteral(" | ")))));
    QVERIFY2(!seen.filter(QStringLiteral("GET /pic.png 200")).size(), qPrintable(seen.join(QStringLiteral(" | "))));
    QTest::qWait(300);
    readEvents();
    QVERIFY2(written.contains(QStringLiteral("temp.tmp")), qPrintable(written.join(QLatin1Char(' '))));
    QVERIFY2(!written.contains(QStringLiteral("temp.png")), qPrintable(written.join(QLatin1Char(' '))));

    const QRect client = m_x.geometry(m_window);
    const QRect area(client.left() + 240, client.top() + 40, client.width() - 248, client.height() - 170);
    QString grabError;
    const QImage shot = m_x.grabScreen(&grabError);
    QVERIFY2(!shot.isNull(), qPrintable(grabError));
    const QStringList problems = comparePictureArea(shot, area, inlinePlacement(area, PictureSize));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
}

void TestViewer::closeRequestEndsTheProgram()
{
    QVERIFY2(m_window, "no main window found");
    QCOMPARE(m_viewer.state(), QProcess::Running);
    m_x.requestClose(m_window);
    QVERIFY2(m_viewer.waitForFinished(10000), "the viewer still runs 10 s after the close request");
    QCOMPARE(m_viewer.exitStatus(), QProcess::NormalExit);
    QVERIFY2(m_viewer.exitCode() == 0, qPrintable(QStringLiteral("exit code %1; output: %2")
                                                      .arg(m_viewer.exitCode()).arg(viewerLog())));
    QVERIFY(!m_x.exists(m_window));
    QString why;
    QVERIFY2(holdsOnlyConfig(m_workDir.path(), &why), qPrintable(why));
}

bool TestViewer::bombViewerDecoding(QString *why)
{
    if (m_bombViewer.state() == QProcess::NotRunning) {
        const QString pictures = m_files.filePath(QStringLiteral("pictures"));
        if (!writeFile(pictures + QStringLiteral("/bomb.jpg"), m_bomb)
            || !writeFile(m_files.filePath(QStringLiteral("camlist.txt")),
                          "1;Bomb Cam;{base}/bomb.jpg;A decoder bomb;;4;0;7;tester\r\n")
            || !writeFile(m_bombWorkDir.filePath(QStringLiteral("config.ini")),
                          "url=" + m_server->baseUrl().toLatin1() + "\r\n")
            || !m_server->resetLog()) {
            *why = QStringLiteral("cannot set up the bomb's cam");
            return false;
        }
        m_bombViewer.setProcessEnvironment(m_viewer.processEnvironment());
        m_bombViewer.setWorkingDirectory(m_bombWorkDir.path());
        m_bombViewer.setProcessChannelMode(QProcess::MergedChannels);
        m_bombViewer.setStandardOutputFile(m_files.filePath(QStringLiteral("viewer.log")), QIODevice::Append);
        m_bombViewer.start(viewerBinary(), {});
        if (!m_bombViewer.waitForStarted(5000)) {
            *why = m_bombViewer.errorString();
            return false;
        }
    }
    const QString title = QStringLiteral("Bomb Cam - lumora viewer 5");
    if (!waitFor(m_bombViewer, [&] { return (m_bombWindow = m_x.shownWindowNamed(title)) != 0; }, 20000, why))
        return false;
    // The picture is decoded once its comments are in.
    return waitFor(
        m_bombViewer,
        [&] {
            const QStringList seen = m_server->requests();
            return seen.contains(QStringLiteral("GET /bomb.jpg 200"))
                && seen.contains(QStringLiteral("GET /comments.php?camid=1 200"));
        },
        15000, why);
}

void TestViewer::windowAnswersWhileAPictureDecodes()
{
    QString why;
    QVERIFY2(bombViewerDecoding(&why), qPrintable(why));
    QTest::qWait(300);
    const qint64 pid = m_bombViewer.processId();
    const qint64 cpuBefore = cpuMs(pid);
    QElapsedTimer clock;
    clock.start();
    qint64 longest = 0;
    int pings = 0;
    while (clock.elapsed() < 1000) {
        // A frozen window is waited for, so that its whole block is measured.
        const qint64 roundTrip = m_x.ping(m_bombWindow, 80000);
        QVERIFY2(roundTrip >= 0, "the window never answered");
        longest = std::max(longest, roundTrip);
        ++pings;
        QTest::qWait(20);
    }
    const qint64 busyMs = cpuMs(pid) - cpuBefore;
    qInfo("%d pings, longest round trip %lld ms; the viewer used %lld ms of processor time in %lld ms", pings,
          longest, busyMs, clock.elapsed());
    // The decode was running meanwhile, on its own thread.
    QVERIFY2(busyMs > clock.elapsed() / 3, qPrintable(QStringLiteral("%1 ms").arg(busyMs)));
    QVERIFY2(longest < 1000, qPrintable(QStringLiteral("the window took %1 ms to answer").arg(longest)));
}

void TestViewer::closeRequestMidDecode()
{
    QString why;
    QVERIFY2(bombViewerDecoding(&why), qPrintable(why));
    QCOMPARE(m_bombViewer.state(), QProcess::Running);
    QElapsedTimer clock;
    clock.start();
    m_x.requestClose(m_bombWindow);
    const bool ended = m_bombViewer.waitForFinished(90000);
    const qint64 closeMs = clock.elapsed();
    qInfo("the viewer ended %lld ms after the close request", closeMs);
    QVERIFY2(ended, "the viewer still runs after the close request");
    QVERIFY2(closeMs < 3000, qPrintable(QStringLiteral("%1 ms").arg(closeMs)));
    QCOMPARE(m_bombViewer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_bombViewer.exitCode(), 0);
    QVERIFY2(holdsOnlyConfig(m_bombWorkDir.path(), &why), qPrintable(why));
}

// `kill` or a session logging out: the same orderly end as the close request.
void TestViewer::terminationSignalMidDecode()
{
    QString why;
    QVERIFY2(bombViewerDecoding(&why), qPrintable(why));
    QElapsedTimer clock;
    clock.start();
    m_bombViewer.terminate();
    QVERIFY2(m_bombViewer.waitForFinished(30000), "the viewer still runs after SIGTERM");
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
    QCOMPARE(m_bombViewer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_bombViewer.exitCode(), 0);
    QVERIFY2(holdsOnlyConfig(m_bombWorkDir.path(), &why), qPrintable(why));
}

// Started from a menu the working folder is the home folder: config.ini comes from the
// user's config folder, and the working files go to a folder of the run's own in the
// cache, never into the home folder; the run's folder goes with the program.
void TestViewer::configFromTheUsersConfigFolder_data()
{
    QTest::addColumn<bool>("cacheShared"); // its lumora-viewer folder writable by everyone
    QTest::addColumn<QString>("runHome");  // where the run's own folder is made
    QTest::newRow("private cache") << false << QStringLiteral("cache");
    QTest::newRow("cache writable by others") << true << QStringLiteral("runtime");
}

void TestViewer::configFromTheUsersConfigFolder()
{
    QFETCH(bool, cacheShared);
    QFETCH(QString, runHome);
    QTemporaryDir root;
    const QDir r(root.path());
    QVERIFY(r.mkpath(QStringLiteral("home")) && r.mkpath(QStringLiteral("config/lumora-viewer"))
            && r.mkpath(QStringLiteral("runtime")));
    if (cacheShared) {
        QVERIFY(r.mkpath(QStringLiteral("cache/lumora-viewer")));
        QVERIFY(QFile::setPermissions(r.filePath(QStringLiteral("cache/lumora-viewer")), QFile::Permissions(0x7777)));
    }
    QVERIFY(writeFile(m_files.filePath(QStringLiteral("camlist.txt")),
                      "1;E2E Cam;{base}/pic.png;A test cam;;4;0;7;tester\r\n"));
    QVERIFY(writeFile(r.filePath(QStringLiteral("config/lumora-viewer/config.ini")),
                      "url=" + m_server->baseUrl().toLatin1() + "\r\n"));
    QVERIFY(m_server->resetLog());

    QProcess viewer;
    QProcessEnvironment env = m_viewer.processEnvironment();
    env.insert(QStringLiteral("HOME"), r.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), r.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), r.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), r.filePath(QStringLiteral("runtime")));
    viewer.setProcessEnvironment(env);
    viewer.setWorkingDirectory(r.filePath(QStringLiteral("home")));
    viewer.start(viewerBinary(), {});
    QVERIFY2(viewer.waitForStarted(5000), qPrintable(viewer.errorString()));
    QString why;
    QVERIFY2(waitFor(viewer, [&] { return m_server->requests().contains(QStringLiteral("GET /comments.php?camid=1 200")); },
                     20000, &why),
             qPrintable(why));

    const QDir cache(r.filePath(runHome + QStringLiteral("/lumora-viewer")));
    const QStringList runs = cache.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(runs.size(), 1);
    QVERIFY(runs.first().startsWith(QStringLiteral("run-")));
    if (cacheShared)
        QCOMPARE(QDir(r.filePath(QStringLiteral("cache/lumora-viewer"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(QFileInfo(cache.filePath(runs.first())).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
             QFile::Permissions());
    viewer.terminate();
    QVERIFY(viewer.waitForFinished(10000));
    QCOMPARE(viewer.exitCode(), 0);
    QCOMPARE(QDir(r.filePath(QStringLiteral("home"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
    QCOMPARE(cache.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

bool TestViewer::startManagedXServer(QString *why)
{
    if (m_windowManager.state() == QProcess::Running)
        return true;
    if (!startXServer(m_managedXvfb, m_managedDisplay, m_managedX, why))
        return false;
    const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    if (openbox.isEmpty()) {
        *why = QStringLiteral("openbox is not installed (Debian package openbox)");
        return false;
    }
    QProcessEnvironment env = m_viewer.processEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_managedDisplay));
    // The window manager's defaults, not a configuration of whoever runs the tests.
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_files.filePath(QStringLiteral("wm-config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_files.filePath(QStringLiteral("wm-cache")));
    m_windowManager.setProcessEnvironment(env);
    m_windowManager.setProcessChannelMode(QProcess::MergedChannels);
    m_windowManager.setStandardOutputFile(m_files.filePath(QStringLiteral("openbox.log")));
    m_windowManager.start(openbox, {QStringLiteral("--sm-disable")});
    if (!m_windowManager.waitForStarted(5000)) {
        *why = QStringLiteral("cannot run openbox: %1").arg(m_windowManager.errorString());
        return false;
    }
    if (!waitFor(m_windowManager, [this] { return m_managedX.windowManagerRunning(); }, 15000, why)) {
        *why = QStringLiteral("openbox did not take over the screen: %1; its log: %2")
                   .arg(*why, QString::fromLocal8Bit(readFile(m_files.filePath(QStringLiteral("openbox.log")))));
        return false;
    }
    return true;
}

bool TestViewer::startManagedViewer(QProcess &viewer, const QString &workDir, const QString &home,
                                    const QString &errorLog) const
{
    QProcessEnvironment env = m_viewer.processEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_managedDisplay));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    viewer.setProcessEnvironment(env);
    viewer.setWorkingDirectory(workDir);
    viewer.setStandardOutputFile(m_files.filePath(QStringLiteral("viewer.log")), QIODevice::Append);
    viewer.setStandardErrorFile(errorLog);
    viewer.start(viewerBinary(), {});
    return viewer.waitForStarted(5000);
}

// With a window manager the root's children are its frames, bottom first. The box is on
// top when no shown window above its frame lies over any part of it, and, overTheSplash, the
// splash window (a window of the program) stays shown below it. stacking lists the shown
// windows.
bool TestViewer::messageBoxOnTop(qint64 pid, xcb_window_t box, bool overTheSplash, QString *stacking) const
{
    const QList<xcb_window_t> tops = m_managedX.topLevels();
    const QRect boxRect = m_managedX.geometry(box);
    bool boxSeen = false;
    bool covered = false;
    int programWindowsBelow = 0;
    QStringList order;
    for (xcb_window_t top : tops) {
        if (!m_managedX.isViewable(top))
            continue;
        const xcb_window_t own = m_managedX.windowOf(top, pid);
        const QRect frame = m_managedX.geometry(top);
        const QString kind = own == box ? QStringLiteral("box") : own ? QStringLiteral("program") : QStringLiteral("other");
        order << QStringLiteral("%1 %2x%3%4%5%6%7")
                     .arg(kind, QString::number(frame.width()), QString::number(frame.height()),
                          frame.x() < 0 ? QString() : QStringLiteral("+"), QString::number(frame.x()),
                          frame.y() < 0 ? QString() : QStringLiteral("+"), QString::number(frame.y()));
        if (own == box)
            boxSeen = true;
        else if (!boxSeen && own)
            ++programWindowsBelow;
        else if (boxSeen && frame.intersects(boxRect))
            covered = true;
    }
    *stacking = order.join(QStringLiteral(" < "));
    return boxSeen && !covered && (programWindowsBelow > 0 || !overTheSplash);
}

void TestViewer::stopMessageOnTop_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QByteArray>("catalogue");
    QTest::addColumn<QString>("cause"); // empty: the first start's question, before the splash
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("exitCode");  // 0: the main window shows the cam, then a SIGTERM ends it
    QTest::addColumn<QByteArray>("userConfig"); // what the user's own config.ini holds at the end
    const QByteArray cams("1;E2E Cam;{base}/pic.png;A test cam;;4;0;7;tester\r\n");
    const QString refused = QStringLiteral("Could not download http://127.0.0.1:%1/camlist.php: Connection refused");
    // No config.ini anywhere: the first start asks for the address; trailing slashes go.
    QTest::newRow("first start, cancelled") << QByteArray() << QByteArray() << QString() << "{base}\x1b" << 1 << QByteArray();
    QTest::newRow("first start") << QByteArray() << cams << QString() << "{base}//\r" << 0 << QByteArray("url={base}\r\n");
    // Nobody listens on port 1 of the loopback address.
    QTest::newRow("config.ini a FIFO") << QByteArray("<fifo>") << QByteArray()
                                       << QStringLiteral("Cannot read {dir}/config.ini: it is a FIFO, not a file") << "\r"
                                       << 1 << QByteArray();
    QTest::newRow("connection refused")
        << QByteArray("url=http://127.0.0.1:1\r\n") << QByteArray() << refused.arg(1) << "\r" << 1 << QByteArray();
    // {late}: a port whose server starts only once the box is up; Tab leads to Retry.
    QTest::newRow("connection refused, then Retry")
        << QByteArray("url=http://127.0.0.1:{late}\r\n") << cams << refused.arg(QStringLiteral("{late}")) << "\t\r" << 0
        << QByteArray();
    QTest::newRow("no cam in the cam list")
        << QByteArray("url={base}\r\n") << QByteArray("Service unavailable\r\n")
        << QStringLiteral("The cam list from {base}/camlist.php holds no cam line (21 bytes, HTTP status 200)") << "\r"
        << 1 << QByteArray();
}

// A failed start-up on a screen with a window manager: the message box is the topmost
// window with nothing of the program over it, the cause is on standard error, and
// Return on the box ends the program with code 1.
void TestViewer::stopMessageOnTop()
{
    QFETCH(QByteArray, config);
    QFETCH(QByteArray, catalogue);
    QFETCH(QString, cause);
    QFETCH(QString, typed);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, userConfig);
    QString why;
    QVERIFY2(startManagedXServer(&why), qPrintable(why));

    QTemporaryDir workDir;
    QTemporaryDir home;
    QVERIFY(workDir.isValid() && home.isValid());
    const QByteArray base = m_server->baseUrl().toLatin1();
    QByteArray latePort;
    if (config.contains("{late}")) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        latePort = QByteArray::number(probe.serverPort());
    }
    config.replace("{late}", latePort);
    cause.replace(QLatin1String("{late}"), QString::fromLatin1(latePort));
    typed.replace(QLatin1String("{base}"), m_server->baseUrl());
    userConfig.replace("{base}", base);
    if (config == "<fifo>")
        QVERIFY(::mkfifo(QFile::encodeName(workDir.filePath(QStringLiteral("config.ini"))).constData(), 0600) == 0);
    else if (!config.isEmpty())
        QVERIFY(writeFile(workDir.filePath(QStringLiteral("config.ini")), config.replace("{base}", base)));
    if (!catalogue.isEmpty())
        QVERIFY(writeFile(m_files.filePath(QStringLiteral("camlist.txt")), catalogue));
    cause.replace(QLatin1String("{dir}"), QDir(workDir.path()).canonicalPath());
    cause.replace(QLatin1String("{base}"), m_server->baseUrl());

    QProcess viewer;
    const QString errorLog = m_files.filePath(QStringLiteral("stop-message-stderr.log"));
    QVERIFY2(startManagedViewer(viewer, workDir.path(), home.path(), errorLog), qPrintable(viewer.errorString()));
    const qint64 pid = viewer.processId();
    const auto stopViewer = qScopeGuard([&viewer] {
        if (viewer.state() != QProcess::NotRunning) {
            viewer.kill();
            viewer.waitForFinished(3000);
        }
    });

    xcb_window_t box = 0;
    QVERIFY2(waitFor(viewer, [&] { return (box = m_managedX.shownWindowOf(pid, ProgramTitle)) != 0; }, 20000, &why),
             qPrintable(QStringLiteral("no message box titled \"%1\": %2").arg(ProgramTitle, why)));

    // The window manager may restack for a moment after mapping, so the stacking must
    // settle with the box on top and stay so.
    QString stacking;
    const auto onTop = [&] { return messageBoxOnTop(pid, box, !cause.isEmpty(), &stacking); };
    QVERIFY2(waitFor(viewer, onTop, 5000, &why),
             qPrintable(QStringLiteral("the message box is not on top (%1); shown windows bottom first: %2")
                            .arg(why, stacking)));
    QTest::qWait(500);
    QVERIFY2(onTop(), qPrintable(QStringLiteral("the message box went under; shown windows bottom first: %1")
                                     .arg(stacking)));
    const QRect boxRect = m_managedX.geometry(box);
    QVERIFY2(QRect(QPoint(), m_managedX.screenSize()).contains(boxRect), "the message box lies partly off the screen");

    QVERIFY2(waitFor(viewer, [&] { return readFile(errorLog).contains(cause.toUtf8()); }, 5000, &why),
             qPrintable(QStringLiteral("standard error does not name the cause \"%1\": %2")
                            .arg(cause, QString::fromUtf8(readFile(errorLog)))));
    // The first start's question is no fault: nothing names a missing config.ini.
    QVERIFY(!cause.isEmpty() || !readFile(errorLog).contains("config.ini"));

    CamServerProcess late({QStringLiteral("--port"), QString::fromLatin1(latePort), QStringLiteral("--catalogue"),
                           m_files.filePath(QStringLiteral("camlist.txt")), QStringLiteral("--pictures"),
                           m_files.filePath(QStringLiteral("pictures")), QStringLiteral("--comments"),
                           m_files.filePath(QStringLiteral("comments"))});
    if (!latePort.isEmpty())
        QVERIFY2(late.start(), qPrintable(late.errorString()));
    // Keys, as a user presses them, reach the box's line and buttons.
    QVERIFY(m_managedX.typeText(box, typed));
    if (exitCode == 0) {
        QVERIFY2(waitFor(viewer, [&] { return m_managedX.shownWindowOf(pid, CamTitle) != 0; }, 20000, &why),
                 qPrintable(QStringLiteral("no window titled \"%1\": %2").arg(CamTitle, why)));
        viewer.terminate();
    }
    QVERIFY2(viewer.waitForFinished(10000), "the viewer still runs 10 s after the keys on the box");
    QCOMPARE(viewer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(viewer.exitCode(), exitCode);

    QCOMPARE(readFile(home.filePath(QStringLiteral(".config/lumora-viewer/config.ini"))), userConfig);
}

// Closing the splash window while the cam list is on its way ends the program at once, as
// closing the main window does.
void TestViewer::closingTheSplashEndsTheProgram()
{
    QString why;
    QVERIFY2(startManagedXServer(&why), qPrintable(why));
    QTcpServer silent; // takes the request, never answers
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QTemporaryDir workDir;
    QVERIFY(writeFile(workDir.filePath(QStringLiteral("config.ini")),
                      "url=http://127.0.0.1:" + QByteArray::number(silent.serverPort()) + "\r\n"));
    QProcess viewer;
    QVERIFY2(startManagedViewer(viewer, workDir.path(), m_files.filePath(QStringLiteral("splash-home")),
                                m_files.filePath(QStringLiteral("splash-stderr.log"))),
             qPrintable(viewer.errorString()));
    const auto stopViewer = qScopeGuard([&viewer] { viewer.kill(); viewer.waitForFinished(3000); });
    xcb_window_t splash = 0;
    const auto asking = [&] {
        for (xcb_window_t top : m_managedX.topLevels())
            if (m_managedX.isViewable(top) && (splash = m_managedX.windowOf(top, viewer.processId())))
                return silent.hasPendingConnections();
        return false;
    };
    QVERIFY2(waitFor(viewer, asking, 20000, &why), qPrintable(why));

    QElapsedTimer clock;
    clock.start();
    m_managedX.requestClose(splash);
    QVERIFY2(viewer.waitForFinished(5000), "the viewer still runs 5 s after the splash window's close request");
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
    QCOMPARE(viewer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(viewer.exitCode(), 0);
    QVERIFY2(holdsOnlyConfig(workDir.path(), &why), qPrintable(why));
}

void TestViewer::cleanupTestCase()
{
    for (QProcess *viewer : {&m_viewer, &m_bombViewer, &m_windowManager}) {
        if (viewer->state() != QProcess::NotRunning) {
            viewer->kill();
            viewer->waitForFinished(3000);
        }
    }
    if (m_server)
        m_server->stop();
    for (QProcess *xvfb : {&m_xvfb, &m_managedXvfb}) {
        if (xvfb->state() != QProcess::NotRunning) {
            xvfb->terminate();
            if (!xvfb->waitForFinished(3000)) {
                xvfb->kill();
                xvfb->waitForFinished(3000);
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestViewer)
#include "tst_viewer.moc"
