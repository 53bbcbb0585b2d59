#include "app/application.h"
#include "app/commandline.h"
#include "app/firstrun.h"
#include "app/terminationsignals.h"
#include "core/files/configlocation.h"
#include "core/files/xdgdirs.h"
#include "ui/pictures/appicon.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QImageReader>

#include <cstdio>
#include <memory>

namespace {

// A folder of its own for this run's working files, readable by the user alone: in the
// cache, or where that is refused, in the runtime folder.
WorkingFolder privateWorkFolder(QString *why)
{
    const QString cache = xdg_dirs::cacheHome();
    QDir().mkpath(cache);
    QStringList homes{cache};
    if (!xdg_dirs::runtimeFolder().isEmpty())
        homes.append(xdg_dirs::runtimeFolder());
    WorkingFolder folder = WorkingFolder::makePrivate(homes);
    if (!folder.isOpen()) {
        *why = QStringLiteral("Cannot make a working folder: %1").arg(folder.error());
        if (homes.size() == 1)
            *why += QStringLiteral("; no runtime folder (XDG_RUNTIME_DIR) to use instead");
    }
    return folder;
}

// config.ini and the working folder: see locateConfig(). A config found in the user's
// config folder gets a private working folder.
void placeConfig(const QString &explicitFile, AppEnvironment &env)
{
    const ConfigLocation where = locateConfig(explicitFile, QDir::currentPath(), xdg_dirs::configHome());
    env.configProblem = notFoundCause(where);
    env.firstRunConfigFile = firstRunConfigFile(explicitFile, where);
    if (!where.workDir.isEmpty()) {
        // Read through the folder's descriptor, as the working files are written.
        env.workFolder = WorkingFolder(where.workDir);
        env.configFile = QFileInfo(where.configFile).fileName();
        return;
    }
    env.configFile = where.configFile;
    QString why;
    env.workFolder = privateWorkFolder(&why);
    if (!env.workFolder.isOpen())
        env.configProblem = why;
}

} // namespace

int main(int argc, char *argv[])
{
    giveLargeBlocksBackWhenFreed();

    // Read before QApplication, which would need a display to exist at all.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine commandLine = parseCommandLine(arguments);
    switch (commandLine.action) {
    case CommandLine::Action::ShowHelp:
        std::fputs(qPrintable(commandLine.usage), stdout);
        return 0;
    case CommandLine::Action::ShowVersion:
        std::fputs(qPrintable(versionLine() + QLatin1Char('\n')), stdout);
        return 0;
    case CommandLine::Action::UsageError:
        std::fprintf(stderr, "lumora-viewer: %s\n%s", qPrintable(commandLine.error), qPrintable(commandLine.usage));
        return 2;
    case CommandLine::Action::Run:
        break;
    }
    const QString platform = commandLine.platform.isEmpty() ? qEnvironmentVariable("QT_QPA_PLATFORM")
                                                            : commandLine.platform;
    const QString display = commandLine.display.isEmpty() ? qEnvironmentVariable("DISPLAY") : commandLine.display;
    if (!canReachDisplay(platform, display, qEnvironmentVariable("WAYLAND_DISPLAY"))) {
        std::fputs("no display: set DISPLAY or use a graphical session\n", stderr);
        return 1;
    }

    QApplication qapp(argc, argv);
    // The application name is also the windows' X11 class, which the desktop entry's
    // StartupWMClass names; the desktop file name ties Wayland windows to that entry.
    QApplication::setApplicationName(QStringLiteral("lumora-viewer"));
    QGuiApplication::setDesktopFileName(appicon::ThemeName);
    QApplication::setWindowIcon(appicon::icon());
    // The windows are measured for a narrow sans-serif; where that face is missing, a
    // condensed one keeps captions inside their boxes.
    QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"));
    // A picture that would need more than this many megabytes of pixels is refused.
    QImageReader::setAllocationLimit(256);

    AppEnvironment env;
    env.start = commandLine.start;
    placeConfig(commandLine.configFile, env);
    bool ok = false;
    const int timeoutSeconds = qEnvironmentVariableIntValue("LUMORA_TRANSFER_TIMEOUT", &ok);
    if (ok && timeoutSeconds > 0)
        env.transferTimeoutMs = timeoutSeconds * 1000;

    std::unique_ptr<Application> app;
    TerminationSignals termination;
    const auto startApplication = [&] {
        // A failed start-up has shown its stop message and ends the program itself.
        app = std::make_unique<Application>(env);
        QObject::connect(&termination, &TerminationSignals::received, app.get(), &Application::shutdown);
        app->start();
    };
    if (env.firstRunConfigFile.isEmpty()) {
        startApplication();
    } else {
        askForServerAddress(env.firstRunConfigFile, termination, [&](const QString &problem) {
            placeConfig(commandLine.configFile, env);
            if (!problem.isEmpty())
                env.configProblem = problem;
            startApplication();
        });
    }
    return qapp.exec();
}
