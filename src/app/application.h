#pragma once
// The application: owns the running state, the windows and the transfer, runs the start-up
// sequence and ends the program.
//
// start() shows the splash window, reads config.ini and starts the cam list download; it
// returns at once, and started() tells how start-up went once it is over. On success the
// cam list is parsed and the main window opened before started(true); on failure the user
// has seen the stop message, started(false) goes out and the program is ended through
// AppEnvironment::endProgram with code 1; when the cam list could not be downloaded, the
// stop message also offers to download it again. started() may come from within start() (a bad
// config.ini), so connect to it first. shutdown() deletes the working files,
// hides the main window, cancels any transfer and ends the process at once through
// AppEnvironment::endProgram; no event of any window runs after it. Closing the main
// window or the splash window shuts down.
#include "app/commandline.h"
#include "core/files/workingfolder.h"
#include "core/files/xdgdirs.h"
#include "core/rules/picturefreshness.h"
#include "core/state/runningstate.h"

#include <QDir>
#include <QObject>
#include <QRandomGenerator>

#include <functional>
#include <memory>

class CamImageFetch;
class CamSearch;
class CamSelection;
class CommentRotation;
class Favourites;
class FolderChooser;
class Heartbeat;
class KeyHandler;
class IntervalKeyFilter;
class MainWindow;
class PictureMenu;
class PictureSnapshot;
class SplashWindow;
class FullscreenWindow;
class InfoBarPanel;
class ScreenSaverInhibitor;
class Transfer;
class WallRefresh;
class WallWindow;
struct DownloadResult;

// When a cam's picture counts as unchanged: 60 s and 10 refreshes. A hidden switch for
// tests, the environment variable LUMORA_TEST_UNCHANGED_AFTER="seconds,refreshes" (for
// example "0,2"), shortens it so a test need not watch a frozen cam for a minute; an
// unreadable value leaves the usual threshold.
picture_freshness::UnchangedThreshold unchangedThresholdFromEnvironment();

struct AppEnvironment
{
    // Where the working files are written. A private folder made for this run alone
    // (WorkingFolder::makePrivate) goes when the program ends.
    WorkingFolder workFolder{QDir::currentPath()};
    // The config file: a full path, or a name in workFolder; empty: config.ini there.
    QString configFile;
    // Set when there is no config file to read (found nowhere, or no working folder for
    // it): the stop message's cause.
    QString configProblem;
    // Set when no config.ini was found anywhere and none was named: the user's own
    // config.ini, which the first start writes.
    QString firstRunConfigFile;
    // No progress for this long ends a download.
    int transferTimeoutMs = 30000;
    // A picture still decoding after this long is given up as a failed load.
    int decodeBudgetMs = 10000;
    picture_freshness::UnchangedThreshold unchangedThreshold = unchangedThresholdFromEnvironment();
    // Shows the stop message; detail names the cause, which also goes to standard error.
    // The default opens a message box over the splash window and ends the program once the
    // user has dismissed it; a function given here counts as dismissed when it returns.
    std::function<void(const QString &title, const QString &text, const QString &detail)> stopMessage;
    // Ends the process at once; the default exits without running any further event.
    std::function<void(int code)> endProgram;
    // The cam, intervals, scale mode and window to start with.
    StartOptions start;
    // The user's configuration folder: the own cams' cams.txt and the favourites live under it.
    QString configHome = xdg_dirs::configHome();
};

class Application : public QObject
{
    Q_OBJECT
public:
    explicit Application(AppEnvironment env = {});
    ~Application() override;

    void start();
    void shutdown();
    // The fullscreen window in place of the main window, and back.
    void openFullscreen();
    void closeFullscreen();
    void toggleFullscreen();
    // The wall in front, filled when it opens: the favourites, or the first cams of the list.
    void openWall();

    RunningState &state() { return m_state; }
    MainWindow &mainWindow() { return *m_mainWindow; }
    SplashWindow &splashWindow() { return *m_splashWindow; }
    FullscreenWindow &fullscreenWindow() { return *m_fullscreenWindow; }
    InfoBarPanel &infoBarPanel();
    Transfer &transfer() { return *m_transfer; }
    QRandomGenerator &random() { return m_random; }
    CamSelection &selection() { return *m_selection; }
    CamImageFetch &fetch() { return *m_fetch; }
    Heartbeat &heartbeat() { return *m_heartbeat; }
    IntervalKeyFilter &intervalKeys() { return *m_intervalKeys; }
    CommentRotation &comments() { return *m_comments; }
    KeyHandler &keys() { return *m_keys; }
    ScreenSaverInhibitor &screenSaver() { return *m_screenSaver; }
    CamSearch &search() { return *m_search; }
    Favourites &favourites() { return *m_favourites; }
    PictureSnapshot &snapshot() { return *m_snapshot; }
    PictureMenu &pictureMenu() { return *m_pictureMenu; }
    FolderChooser &folderChooser() { return *m_folderChooser; }
    WallWindow &wallWindow() { return *m_wallWindow; }
    WallRefresh &wallRefresh() { return *m_wallRefresh; }
    const AppEnvironment &environment() const { return m_env; }

signals:
    void started(bool ok);

private:
    void connectComponents();
    void connectRefresh();
    void connectSwitches();
    void connectKeys();
    void connectWindows();
    void connectSnapshot();
    void connectWall();
    void wallClosed();
    void keepScreenOn(bool fullscreenShown, bool wallFullscreen);
    void connectFavourites();
    void showStatusMessage(const QString &text);
    enum class Retry { NotOffered, Offered };
    void fail(const QString &text, const QString &cause, Retry retry = Retry::NotOffered);
    void downloadCatalogue();
    QString catalogueAddress() const;
    void endAfterFailure();
    void catalogueArrived(const DownloadResult &answer);
    // Appends the user's own cams to the table; their ids.
    QSet<QString> addOwnCams(QStringList &camTable, int &camCount);
    void openMainWindow();
    void applyStartOptions();
    void removeOwnWorkDir();

    AppEnvironment m_env;
    RunningState m_state;
    QRandomGenerator m_random;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<SplashWindow> m_splashWindow;
    std::unique_ptr<FullscreenWindow> m_fullscreenWindow;
    Transfer *m_transfer;
    CamSelection *m_selection;
    CamImageFetch *m_fetch;
    Heartbeat *m_heartbeat;
    IntervalKeyFilter *m_intervalKeys;
    CommentRotation *m_comments;
    KeyHandler *m_keys;
    ScreenSaverInhibitor *m_screenSaver;
    CamSearch *m_search;
    Favourites *m_favourites;
    PictureSnapshot *m_snapshot;
    std::unique_ptr<PictureMenu> m_pictureMenu;
    FolderChooser *m_folderChooser;
    std::unique_ptr<WallWindow> m_wallWindow;
    // The wall's own downloads: the selected cam's refresh cancels every transfer of its
    // own before it starts, and must not cancel the tiles'.
    Transfer *m_wallTransfer;
    WallRefresh *m_wallRefresh;
    // The cams on the wall's tiles, in order.
    QList<int> m_wallCams;
};

// Every refresh allocates and frees pictures of megabytes. glibc raises its threshold for
// giving a block a mapping of its own to the largest block freed so far; after the first
// picture, pictures would then come from the heap and the threads' arenas, which keep the
// memory after they are freed. This fixes the threshold, so each such block gets its own
// mapping, returned when it is freed. Called once, before anything is allocated in earnest.
// The threshold is a megabyte: blocks below it (a picture's download, a wall tile's picture)
// come back many times a second, and stay on the heap, where they are taken again without
// the kernel clearing fresh pages for each of them.
void giveLargeBlocksBackWhenFreed();
