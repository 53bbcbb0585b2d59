#include "app/application.h"
#include "app/commandline.h"
#include "app/firstrun.h"
#include "app/terminationsignals.h"
#include "core/files/configlocation.h"
#include "ui/pictures/appicon.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QFont>
#include <QImageReader>

#include <cstdio>
#include <memory>

namespace {

// config.ini and the working folder: see locateConfig(). A config found in the user's
// config folder gets a working folder of its own in the cache, readable by the user alone.
void placeConfig(const QString &explicitFile, AppEnvironment &env)
{
    const ConfigLocation where = locateConfig(
        explicitFile, QDir::currentPath(), QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    env.configFile = where.configFile;
    env.configProblem = notFoundCause(where);
    env.firstRunConfigFile = firstRunConfigFile(explicitFile, where);
    if (!where.workDir.isEmpty()) {
        env.workDir = QDir(where.workDir);
        return;
    }
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                        + QLatin1Char('/') + ProgramFolderName;
    const QString cannot = QStringLiteral("Cannot make a working folder in %1").arg(QDir::toNativeSeparators(cache));
    if (!QDir().mkpath(cache)) {
        env.configProblem = cannot;
        return;
    }
    QTemporaryDir own(cache + QStringLiteral("/run-XXXXXX"));
    if (!own.isValid()) {
        env.configProblem = cannot;
        return;
    }
    own.setAutoRemove(false);
    env.workDir = QDir(own.path());
    env.removeWorkDirAtEnd = true;
}

} // namespace

int main(int argc, char *argv[])
{
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
