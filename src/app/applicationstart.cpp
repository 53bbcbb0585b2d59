// The application's start: config.ini, the cam list, the main window opened as the start
// options ask; and the stop message when any of it fails.
#include "application.h"

#include "control/camselection.h"
#include "control/favourites.h"
#include "control/heartbeat.h"
#include "core/catalogue/catalogue.h"
#include "core/catalogue/owncams.h"
#include "core/files/config.h"
#include "core/files/configlocation.h"
#include "core/files/favouritesfile.h"
#include "core/files/workingfiles.h"
#include "core/geometry/twips.h"
#include "core/state/texts.h"
#include "platform/transfer.h"
#include "ui/desktop/messagebox.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/picturearea.h"
#include "ui/windows/mainwindow.h"
#include "ui/windows/splashwindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTime>
#include <QTimer>

#include <malloc.h>

#include <cstdio>

void Application::fail(const QString &text, const QString &cause, Retry retry)
{
    // The box's text says what to do; the cause tells the user, and whoever reads the
    // output, why.
    std::fprintf(stderr, "%s\n", qUtf8Printable(cause));
    std::fflush(stderr);
    if (m_env.stopMessage) {
        m_env.stopMessage(texts::AppTitle, text, cause);
        return endAfterFailure();
    }
    // The box waits for the user without a loop of its own; the program ends once it is
    // dismissed, unless the user asked for the cam list again.
    QMessageBox *box = openStopMessage(m_splashWindow.get(), texts::AppTitle, text, cause,
                                       retry == Retry::Offered ? texts::RetryButton : QString());
    connect(box, &QDialog::finished, this, [this, box] {
        if (box->clickedButton() && box->clickedButton() == box->button(QMessageBox::Retry))
            downloadCatalogue();
        else
            endAfterFailure();
    });
}

void Application::endAfterFailure()
{
    removeOwnWorkDir();
    emit started(false);
    m_env.endProgram(1);
}

void Application::start()
{
    m_splashWindow->show();
    QCoreApplication::processEvents();
    m_random.seed(quint32(QTime::currentTime().msecsSinceStartOfDay() / 1000));

    if (!m_env.configProblem.isEmpty())
        return fail(texts::ConfigMessage, m_env.configProblem);
    const QString configFile = m_env.configFile.isEmpty() ? ConfigFileName : m_env.configFile;
    const ConfigResult config = QDir::isAbsolutePath(configFile) ? readConfigFile(configFile)
                                                                 : readConfigFile(m_env.workFolder, configFile);
    if (!config.ok)
        return fail(texts::ConfigMessage, config.error);
    m_state.catalogue.setServerUrl(config.serverUrl);
    downloadCatalogue();
}

void Application::downloadCatalogue()
{
    DownloadRequest request;
    request.address = catalogueAddress();
    request.maxBytes = CatalogueMaxBytes;
    request.compressed = true;
    request.timeoutMs = m_env.transferTimeoutMs;
    connect(m_transfer->start(request), &DownloadHandler::finished, this, &Application::catalogueArrived);
}

QString Application::catalogueAddress() const
{
    return m_state.catalogue.serverUrl() + QStringLiteral("/camlist.php");
}

void Application::catalogueArrived(const DownloadResult &answer)
{
    const QString address = catalogueAddress();
    const QString status = QString::number(answer.httpStatus);
    // A download that failed may well work a moment later: the user may ask again.
    if (!answer.ok())
        return fail(texts::ConfigMessage, texts::DownloadFailedCause.arg(address, answer.errorText), Retry::Offered);
    if (answer.body.isEmpty())
        return fail(texts::ConnectionMessage, texts::EmptyAnswerCause.arg(address, status), Retry::Offered);

    // The answer is kept as a working file while it is read, as the comments are later.
    if (!m_env.workFolder.write(working_files::TextFile, answer.body)) {
        const QString path = QDir::toNativeSeparators(m_env.workFolder.filePath(working_files::TextFile));
        return fail(texts::ConfigMessage, texts::WorkingFileCause.arg(path));
    }

    Catalogue catalogue = parseCatalogue(answer.body);
    m_env.workFolder.remove(working_files::TextFile);
    if (catalogue.camCount == 0)
        return fail(texts::EmptyCatalogueMessage, texts::NoCamCause.arg(address, QString::number(answer.body.size()), status));
    QSet<QString> ownCams = addOwnCams(catalogue.camTable, catalogue.camCount);
    m_state.catalogue.setCams(std::move(catalogue.camTable), catalogue.camCount, std::move(ownCams));
    m_selection->buildRows();
    m_favourites->load(favourites_file::path(m_env.configHome, m_state.catalogue.serverUrl()));
    openMainWindow();
    emit started(true);
}

// The user's own cams follow the server's; what cannot be used of them is only warned about.
QSet<QString> Application::addOwnCams(QStringList &camTable, int &camCount)
{
    const QString path = own_cams::filePath(m_env.configHome);
    QString problem;
    const std::optional<QByteArray> document = own_cams::read(path, &problem);
    own_cams::Added added;
    if (document)
        added = own_cams::append(camTable, camCount, *document, path);
    else if (!problem.isEmpty())
        added.warnings.append(problem);
    for (const QString &warning : std::as_const(added.warnings))
        std::fprintf(stderr, "lumora-viewer: %s\n", qUtf8Printable(warning));
    std::fflush(stderr);
    return added.ids;
}

void Application::openMainWindow()
{
    // Row 0 is highlighted first and a random pick, or the cam asked for, moves the
    // highlight on.
    m_mainWindow->camList()->setSelectionShown(0, true);
    m_state.selection.setCurrentCam(0);
    const std::optional<int> asked =
        m_env.start.camId.isEmpty() ? std::nullopt : camIndexById(m_state.catalogue.camTable(), m_state.catalogue.camCount(), m_env.start.camId);
    if (!m_env.start.camId.isEmpty() && !asked)
        std::fprintf(stderr, "lumora-viewer: no cam with the id '%s' in the cam list; starting on a random cam\n",
                     qUtf8Printable(m_env.start.camId));
    if (asked) {
        m_state.reloadShuffleCountdown();
        m_selection->goToCam(*asked);
    } else {
        m_selection->pickRandomCam();
    }
    m_mainWindow->camList()->setUpScrollBar(m_state.catalogue.camCount());
    m_mainWindow->camList()->scrollToCam(m_state.selection.currentCam());

    m_state.countdowns.setRefresh(0);
    m_state.reloadShuffleCountdown();
    m_mainWindow->pictureArea()->resize(twips::toPixels(7200), twips::toPixels(5400));
    m_heartbeat->timer()->start();

    applyStartOptions();
    m_splashWindow->hide();
    m_mainWindow->resize(twips::toPixels(12000), twips::toPixels(9000));
    m_mainWindow->showMaximized();
    if (m_env.start.fullscreen)
        openFullscreen();
}

// Set as the user would set them in the toolbar; the boxes show what runs.
void Application::applyStartOptions()
{
    const StartOptions &start = m_env.start;
    ViewerSwitches &switches = m_state.switches;
    if (start.refreshSeconds)
        switches.setRefreshIntervalText(*start.refreshSeconds);
    if (start.shuffleSeconds) {
        switches.setShuffleIntervalText(*start.shuffleSeconds);
        m_state.reloadShuffleCountdown();
        switches.setAutoShuffle(true);
    }
    if (start.maxFramesPerSecond)
        switches.setMaxFramesPerSecond(*start.maxFramesPerSecond);
    if (start.scaleMode)
        switches.setScaleMode(*start.scaleMode);
}

void giveLargeBlocksBackWhenFreed()
{
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
}
