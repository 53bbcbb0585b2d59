#include "application.h"

#include "control/camimagefetch.h"
#include "control/cammarks.h"
#include "control/camsearch.h"
#include "control/camselection.h"
#include "control/commentrotation.h"
#include "control/favourites.h"
#include "control/heartbeat.h"
#include "control/keyhandler.h"
#include "control/picturesnapshot.h"
#include "control/wallrefresh.h"
#include "core/files/walllayout.h"
#include "core/state/snapshottexts.h"
#include "platform/screensaverinhibitor.h"
#include "platform/transfer.h"
#include "ui/desktop/desktopkeys.h"
#include "ui/desktop/folderchooser.h"
#include "ui/desktop/picturemenu.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/demandtimer.h"
#include "ui/widgets/intervalkeyfilter.h"
#include "ui/widgets/keypreview.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/widgets/infobarpanel.h"
#include "ui/windows/mainwindow.h"
#include "ui/windows/splashwindow.h"
#include "ui/windows/wallwindow.h"
#include "ui/windows/windowplacement.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

picture_freshness::UnchangedThreshold unchangedThresholdFromEnvironment()
{
    return picture_freshness::parseThreshold(qEnvironmentVariable("LUMORA_TEST_UNCHANGED_AFTER"))
        .value_or(picture_freshness::UnchangedThreshold());
}

Application::Application(AppEnvironment env)
    : m_env(std::move(env))
    , m_mainWindow(std::make_unique<MainWindow>(m_state))
    , m_splashWindow(std::make_unique<SplashWindow>())
    , m_fullscreenWindow(std::make_unique<FullscreenWindow>(m_state))
    , m_transfer(new Transfer(this))
    , m_selection(new CamSelection(m_state, *m_mainWindow->camList(), m_random, this))
    , m_fetch(new CamImageFetch(m_state, *m_mainWindow, *m_transfer, m_env.workFolder, m_env.transferTimeoutMs, this))
    , m_heartbeat(new Heartbeat(m_state, *m_selection, *m_fetch, *m_fullscreenWindow, this))
    , m_intervalKeys(new IntervalKeyFilter(this))
    , m_comments(new CommentRotation(m_state, m_random, this))
    , m_keys(new KeyHandler(m_state, *m_selection, this))
    , m_screenSaver(new ScreenSaverInhibitor(this))
    , m_search(new CamSearch(m_state, *m_selection, *m_mainWindow->camList(), this))
    , m_favourites(new Favourites(m_state, *m_mainWindow->camList(), this))
    , m_snapshot(new PictureSnapshot(m_state, *m_fetch, this))
    , m_pictureMenu(std::make_unique<PictureMenu>())
    , m_folderChooser(new FolderChooser(snapshot_texts::ChooseFolderTitle, this))
    , m_wallWindow(std::make_unique<WallWindow>())
    , m_wallTransfer(new Transfer(this))
    , m_wallRefresh(new WallRefresh(m_state, *m_wallTransfer, this))
{
    m_transfer->setObjectName(QStringLiteral("camTransfer"));
    m_fetch->setDecodeBudget(m_env.decodeBudgetMs);
    m_fetch->setUnchangedThreshold(m_env.unchangedThreshold);
    m_wallRefresh->setTimeoutMs(m_env.transferTimeoutMs);
    m_wallRefresh->setDecodeBudget(m_env.decodeBudgetMs);
    m_wallRefresh->setUnchangedThreshold(m_env.unchangedThreshold);
    if (!m_env.endProgram) {
        m_env.endProgram = [](int code) {
            std::fflush(nullptr);
            std::_Exit(code);
        };
    }
    connectComponents();
}

Application::~Application() = default;

// Every connection between the components, in one place.
void Application::connectComponents()
{
    connectRefresh();
    connectSwitches();
    connectKeys();
    connectWindows();
    connectSnapshot();
    connectWall();
    connectFavourites();
}

// The selection, the refresh, the heartbeat and the comment rotation, and the views they
// show on.
void Application::connectRefresh()
{
    connect(m_mainWindow->camList(), &CamListWidget::rowClicked, m_selection, &CamSelection::rowClicked);
    connect(m_mainWindow.get(), &MainWindow::randomCamRequested, m_selection, &CamSelection::pickRandomCam);
    connect(m_selection, &CamSelection::eraseRequested, this, [this] {
        m_mainWindow->clearPicture();
        m_fullscreenWindow->clearPicture();
    });
    // A new cam wins over a refresh still running for the old one, and takes its comment down.
    connect(m_selection, &CamSelection::camChanged, m_fetch, &CamImageFetch::abandon);
    connect(m_selection, &CamSelection::camChanged, m_comments, &CommentRotation::takeDownIfUp);
    connect(m_selection, &CamSelection::camChanged, m_fetch, &CamImageFetch::takeDownNotes);

    m_fetch->addPictureView(m_mainWindow->pictureArea());
    m_fetch->addPictureView(m_fullscreenWindow->pictureArea());
    // A picture decoded smaller than its full size is decoded again when an area needs more.
    connect(m_mainWindow->pictureArea(), &PictureArea::areaChanged, m_fetch, &CamImageFetch::pictureAreasChanged);
    connect(m_fullscreenWindow->pictureArea(), &PictureArea::areaChanged, m_fetch, &CamImageFetch::pictureAreasChanged);
    connect(m_fullscreenWindow.get(), &FullscreenWindow::visibilityChanged, m_fetch, &CamImageFetch::pictureAreasChanged);
    connect(&m_state.switches, &ViewerSwitches::scaleModeChanged, m_fetch, &CamImageFetch::pictureAreasChanged);
    // A frozen cam's note: a badge on both pictures and a line under the Info-Bar's figures.
    m_fetch->addUnchangedNoteView(m_fullscreenWindow->infoBar());
    m_fetch->addStreamFormatView(m_fullscreenWindow->infoBar());
    // Each refresh's end starts the heartbeat's second afresh.
    connect(m_fetch, &CamImageFetch::refreshEnded, m_heartbeat->timer(), qOverload<>(&QTimer::start));

    // The list's marks of failing and frozen cams follow their health on every tick, whoever
    // refreshed them.
    auto *marks = new CamMarks(m_state, *m_mainWindow->camList(), this);
    connect(m_heartbeat->timer(), &QTimer::timeout, marks, &CamMarks::update);

    m_heartbeat->addCamInfoView(m_mainWindow.get());
    m_heartbeat->addCamInfoView(m_fullscreenWindow->infoBar());
    m_heartbeat->addTitleView(m_mainWindow.get());
    m_heartbeat->addTitleView(m_fullscreenWindow.get());
    connect(m_heartbeat, &Heartbeat::camInfoShown, m_fullscreenWindow.get(), &FullscreenWindow::switchInfoBarSide);

    m_comments->addCommentView(m_mainWindow.get());
    m_comments->addCommentView(m_fullscreenWindow.get());
}

// The user's edits of the switches, the interval boxes, the scale mode and the Info-Bar
// switch are requests that change the running state; the windows follow the state, and
// whatever a switch starts follows it too, whether a window or a key command changed it.
void Application::connectSwitches()
{
    m_intervalKeys->watch(m_mainWindow->refreshIntervalEdit());
    m_intervalKeys->watch(m_mainWindow->shuffleIntervalEdit());
    connect(m_intervalKeys, &IntervalKeyFilter::rejected, this, [] { QApplication::beep(); });
    ViewerSwitches &switches = m_state.switches;
    connect(m_fullscreenWindow->infoBar()->layoutTimer(), &DemandTimer::enabledChanged, &switches, &ViewerSwitches::setInfoBarOn);
    connect(m_mainWindow.get(), &MainWindow::scaleModeChosen, &switches, &ViewerSwitches::setScaleMode);
    connect(m_mainWindow.get(), &MainWindow::refreshIntervalEdited, &switches, &ViewerSwitches::setRefreshIntervalText);
    connect(m_mainWindow.get(), &MainWindow::shuffleIntervalEdited, &switches, &ViewerSwitches::setShuffleIntervalText);
    connect(m_mainWindow.get(), &MainWindow::showCommentsSwitched, &switches, &ViewerSwitches::setShowComments);
    connect(m_mainWindow.get(), &MainWindow::autoShuffleSwitched, &switches, &ViewerSwitches::setAutoShuffle);
    connect(&switches, &ViewerSwitches::showCommentsChanged, m_comments, &CommentRotation::onShowCommentsToggled);
    connect(&switches, &ViewerSwitches::autoShuffleChanged, m_heartbeat, &Heartbeat::onAutoShuffleToggled);
}

// Keys: the main window's own, and those the fullscreen and overlay windows leave to the
// commands.
void Application::connectKeys()
{
    auto *mainKeys = new MainKeyPreview(*m_mainWindow, this);
    mainKeys->exclude(m_mainWindow->camList()->filterEdit());
    connect(mainKeys, &MainKeyPreview::keyPressed, m_keys, &KeyHandler::onKeyDown);
    // Made after the main window's key preview, so these keys never reach the commands.
    auto *desktopKeys = new DesktopKeys(this);
    connect(desktopKeys, &DesktopKeys::fullscreenToggleRequested, this, [this] {
        if (m_state.catalogue.camCount() > 0)
            toggleFullscreen();
    });
    connect(desktopKeys, &DesktopKeys::refreshRequested, m_heartbeat, &Heartbeat::refreshNow);
    connect(desktopKeys, &DesktopKeys::quitRequested, this, &Application::shutdown);
    connect(desktopKeys, &DesktopKeys::saveRequested, m_snapshot, &PictureSnapshot::savePicture);
    connect(desktopKeys, &DesktopKeys::copyRequested, m_snapshot, &PictureSnapshot::copyPicture);
    connect(desktopKeys, &DesktopKeys::favouriteToggleRequested, this, [this] {
        if (m_state.catalogue.camCount() > 0)
            m_favourites->toggleCurrent();
    });
    desktopKeys->addTextField(m_mainWindow->camList()->filterEdit());
    desktopKeys->addFullscreenWindow(m_wallWindow.get());
    for (const QWidget *window : {static_cast<QWidget *>(m_mainWindow.get()), static_cast<QWidget *>(m_fullscreenWindow.get())})
        desktopKeys->addWindow(window);
    connect(desktopKeys, &DesktopKeys::findRequested, this, [this] {
        if (m_state.catalogue.camCount() > 0 && m_mainWindow->isVisible())
            m_mainWindow->camList()->openFilter();
    });
    CamListWidget *list = m_mainWindow->camList();
    connect(list, &CamListWidget::filterOpened, m_search, &CamSearch::opened);
    connect(list, &CamListWidget::filterTextChanged, m_search, &CamSearch::setQuery);
    connect(list, &CamListWidget::filterAccepted, m_search, &CamSearch::chooseFirst);
    connect(list, &CamListWidget::filterStepped, m_search, &CamSearch::step);
    connect(list, &CamListWidget::filterClosed, m_search, &CamSearch::closed);
    connect(m_fullscreenWindow.get(), &FullscreenWindow::keyRelayed, m_keys, &KeyHandler::onKeyDown);
    connect(m_keys, &KeyHandler::scaleModeStepRequested, m_mainWindow.get(), &MainWindow::cycleScaleMode);
    connect(m_keys, &KeyHandler::statusMessage, m_fullscreenWindow.get(), &FullscreenWindow::showStatusMessage);
}

// The windows among themselves: layout, the fullscreen window and its overlay.
void Application::connectWindows()
{
    connect(m_mainWindow.get(), &MainWindow::closeRequested, this, &Application::shutdown);
    connect(m_splashWindow.get(), &SplashWindow::closeRequested, this, &Application::shutdown);
    connect(m_mainWindow.get(), &MainWindow::resized, this, [this] { layOutMainWindow(*m_mainWindow, *m_fullscreenWindow, m_state.catalogue.camCount()); });
    setMainWindowMinimumSize(*m_mainWindow);
    // A mode chosen in the main window redraws the fullscreen picture too.

    // Nobody touches a key while watching in the fullscreen window: the screen stays on.
    connect(m_fullscreenWindow.get(), &FullscreenWindow::visibilityChanged, m_screenSaver, [this](bool visible) {
        keepScreenOn(visible, m_wallWindow->isVisible() && m_wallWindow->isFullScreen());
    });

    // Fullscreen: opened from the main picture, closed from the fullscreen picture or by
    // Escape.
    connect(m_mainWindow->pictureArea(), &PictureArea::doubleClicked, this, &Application::openFullscreen);
    connect(m_fullscreenWindow->pictureArea(), &PictureArea::doubleClicked, this, &Application::closeFullscreen);
    connect(m_fullscreenWindow.get(), &FullscreenWindow::closeRequested, this, &Application::closeFullscreen);
}

// Saving and copying the picture: from the keys (connectKeys) and the picture menu; the
// answer shows in the window in front.
void Application::connectSnapshot()
{
    m_pictureMenu->watch(m_mainWindow->pictureArea());
    m_pictureMenu->watch(m_fullscreenWindow->pictureArea());
    connect(m_pictureMenu.get(), &QMenu::aboutToShow, this, [this] {
        m_pictureMenu->setEntriesEnabled(m_snapshot->canSave(), m_snapshot->canCopy(), m_snapshot->canCopyAddress());
    });
    connect(m_pictureMenu.get(), &PictureMenu::saveRequested, m_snapshot, &PictureSnapshot::savePicture);
    connect(m_pictureMenu.get(), &PictureMenu::copyRequested, m_snapshot, &PictureSnapshot::copyPicture);
    connect(m_pictureMenu.get(), &PictureMenu::copyAddressRequested, m_snapshot, &PictureSnapshot::copyPictureAddress);
    connect(m_snapshot, &PictureSnapshot::folderRequested, m_folderChooser, &FolderChooser::open);
    connect(m_folderChooser, &FolderChooser::folderChosen, m_snapshot, &PictureSnapshot::folderChosen);
    connect(m_snapshot, &PictureSnapshot::statusMessage, this, &Application::showStatusMessage);
}

// The wall: opened from the main window's button (Ctrl+G), its tiles refreshed on their own,
// a tile's cam shown in the main window through the selection, as a row click shows it.
void Application::connectWall()
{
    connect(m_mainWindow.get(), &MainWindow::wallRequested, this, &Application::openWall);
    connect(m_wallWindow.get(), &WallWindow::tilesMayBeShown, m_wallRefresh, &WallRefresh::tilesShown);
    connect(m_wallWindow.get(), &WallWindow::closed, this, &Application::wallClosed);
    // As in the fullscreen window, nobody touches a key while watching the wall fill the screen.
    connect(m_wallWindow.get(), &WallWindow::fullscreenChanged, m_screenSaver, [this](bool on) {
        keepScreenOn(m_fullscreenWindow->isVisible(), on);
    });
    connect(m_wallWindow.get(), &WallWindow::tileActivated, this, [this](int tile) {
        if (tile < 0 || tile >= m_wallCams.size() || m_wallCams[tile] >= m_state.catalogue.camCount())
            return;
        m_selection->goToCam(m_wallCams[tile]);
        // A wall that covers the screen steps back, so the cam's window can be seen without
        // a request to raise it, which not every desktop grants (Wayland's need not).
        if (m_wallWindow->isFullScreen())
            m_wallWindow->showNormal();
        QWidget *front = m_fullscreenWindow->isVisible() ? static_cast<QWidget *>(m_fullscreenWindow.get()) : m_mainWindow.get();
        front->raise();
        front->activateWindow();
    });
}

// The screen stays on while either fills the screen; the compositor is asked for the window
// watched, the wall where it fills the screen.
void Application::keepScreenOn(bool fullscreenShown, bool wallFullscreen)
{
    QWidget *watched = wallFullscreen ? static_cast<QWidget *>(m_wallWindow.get()) : m_fullscreenWindow.get();
    m_screenSaver->setInhibited(fullscreenShown || wallFullscreen, watched->windowHandle());
}

void Application::openWall()
{
    if (m_state.catalogue.camCount() <= 0)
        return;
    if (m_wallWindow->isVisible()) {
        m_wallWindow->raise();
        m_wallWindow->activateWindow();
        return;
    }
    CamListWidget *list = m_mainWindow->camList();
    const QList<WallCam> cams = wallCams(m_state, list->isFilterOpen() ? &m_search->matches() : nullptr);
    QStringList names;
    m_wallCams.clear();
    for (const WallCam &cam : cams) {
        names.append(cam.name);
        m_wallCams.append(cam.camIndex);
    }
    // A size read from a file is held to the largest screen's room.
    QSize largest;
    for (const QScreen *screen : QGuiApplication::screens())
        largest = largest.expandedTo(screen->availableGeometry().size());
    if (const auto layout = wall_layout::read(m_env.configHome, m_state.catalogue.serverUrl(), largest))
        m_wallWindow->resize(layout->size);
    m_wallWindow->setCams(names);
    m_wallWindow->show();
    m_wallWindow->raise();
    m_wallWindow->activateWindow();
    m_wallRefresh->start(cams, m_wallWindow->tileViews());
}

void Application::wallClosed()
{
    m_wallRefresh->stop();
    m_wallTransfer->cancel();
    wall_layout::write(m_env.configHome, m_state.catalogue.serverUrl(), {m_wallWindow->size(), m_wallWindow->grid()});
    // The tiles' pictures go with them.
    m_wallWindow->setCams({});
    m_wallCams.clear();
}

// The stars in the list and Ctrl+D (connectKeys), the "favourites only" switch.
void Application::connectFavourites()
{
    connect(m_mainWindow->camList(), &CamListWidget::starClicked, m_favourites, &Favourites::toggle);
    connect(m_mainWindow->camList(), &CamListWidget::favouritesOnlyToggled, m_search, &CamSearch::setFavouritesOnly);
    connect(m_favourites, &Favourites::statusMessage, this, &Application::showStatusMessage);
    connect(m_favourites, &Favourites::warning, this, [](const QString &text) {
        std::fprintf(stderr, "lumora-viewer: %s\n", qUtf8Printable(text));
        std::fflush(stderr);
    });
}

void Application::showStatusMessage(const QString &text)
{
    if (m_fullscreenWindow->isVisible())
        m_fullscreenWindow->showStatusMessage(text);
    else
        m_mainWindow->showStatusMessage(text);
}

void Application::openFullscreen()
{
    m_fullscreenWindow->show();
    m_mainWindow->hide();
}

void Application::closeFullscreen()
{
    m_fullscreenWindow->hide();
    m_mainWindow->show();
}

void Application::toggleFullscreen()
{
    if (m_fullscreenWindow->isVisible())
        closeFullscreen();
    else
        openFullscreen();
}

void Application::shutdown()
{
    m_env.workFolder.removeAll();
    m_mainWindow->hide();
    m_fetch->abandon();
    m_wallRefresh->stop();
    m_wallTransfer->cancel();
    m_transfer->cancel();
    // The program ends without running destructors: the screen saver is given back now.
    m_screenSaver->releaseNow();
    removeOwnWorkDir();
    m_env.endProgram(0);
}

void Application::removeOwnWorkDir()
{
    m_env.workFolder.removeIfPrivate();
}

InfoBarPanel &Application::infoBarPanel()
{
    return *m_fullscreenWindow->infoBar();
}
