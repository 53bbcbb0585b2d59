#pragma once
// The environment of an application a benchmark runs in-process: stop messages and the
// end of the program are reported on stderr instead of shown and carried out.
#include "app/application.h"
#include "control/camimagefetch.h"
#include "platform/transfer.h"
#include "wholefiles.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <memory>
#include <optional>

namespace bench {

// Before the application object: unless a platform is set, the offscreen one with one
// 1920 x 1080 screen at 96 dpi, described in folder; the user's settings in folder too.
inline void useOffscreen1080(const QDir &folder)
{
    const QString screenFile = folder.filePath(QStringLiteral("screen.json"));
    writeFile(screenFile, R"({ "windowFrameMargins": false, "screens": [ { "name": "Screen1080", "x": 0, "y": 0,
        "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] })");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screenFile.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")).toLocal8Bit());
}

inline AppEnvironment environment(const QDir &workDir, int *stopMessages = nullptr)
{
    AppEnvironment env;
    env.workFolder = WorkingFolder(workDir.path());
    env.transferTimeoutMs = 10000;
    env.stopMessage = [stopMessages](const QString &title, const QString &text, const QString &) {
        if (stopMessages)
            ++*stopMessages;
        std::fprintf(stderr, "stop message: %s: %s\n", qPrintable(title), qPrintable(text));
    };
    env.endProgram = [](int code) { std::fprintf(stderr, "program end asked for (%d)\n", code); };
    return env;
}

// start(), then the event loop until start-up is over; whether it went well.
inline bool start(Application &app)
{
    std::optional<bool> outcome;
    QObject context;
    QObject::connect(&app, &Application::started, &context, [&](bool ok) { outcome = ok; });
    app.start();
    while (!outcome)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return *outcome;
}

// An application whose config.ini in workDir names the server, started; null, with the
// reason on stderr, when start-up failed.
inline std::unique_ptr<Application> startAgainst(const QDir &workDir, const QString &serverUrl,
                                                 int *stopMessages = nullptr)
{
    if (!writeFile(workDir.filePath(QStringLiteral("config.ini")), "url=" + serverUrl.toUtf8() + "\r\n")) {
        std::fprintf(stderr, "cannot write config.ini in %s\n", qPrintable(workDir.path()));
        return nullptr;
    }
    auto app = std::make_unique<Application>(environment(workDir, stopMessages));
    if (!start(*app)) {
        std::fprintf(stderr, "the application did not start\n");
        return nullptr;
    }
    return app;
}

// One download through the transfer, the event loop running until it has finished.
inline DownloadResult download(Transfer &transfer, const DownloadRequest &request)
{
    std::optional<DownloadResult> result;
    QObject context;
    QObject::connect(transfer.start(request), &DownloadHandler::finished, &context,
                     [&](const DownloadResult &r) { result = r; });
    while (!result)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return *result;
}

// Lets the event loop run until the refresh under way, its picture's decode included, is
// over; the decode budget bounds the wait.
inline void finishRefresh(Application &app)
{
    while (app.fetch().isRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// One whole refresh: fetchCamImage, then the decoded picture drawn.
inline void refresh(Application &app)
{
    app.fetch().fetchCamImage();
    finishRefresh(app);
}

} // namespace bench
