#pragma once
// One start of the application in a fresh working folder, with the stop messages and the
// end of the program recorded instead of shown and carried out.
#include "app/application.h"
#include "control/camimagefetch.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

struct AppRun
{
    QTemporaryDir dir;
    QStringList titles;
    QStringList messages;
    QStringList details;
    QList<int> exits;
    std::unique_ptr<Application> app;

    explicit AppRun(int timeoutMs = 1500, int decodeBudgetMs = 10000, const StartOptions &start = {})
    {
        AppEnvironment env;
        env.start = start;
        env.workFolder = WorkingFolder(dir.path());
        env.transferTimeoutMs = timeoutMs;
        env.decodeBudgetMs = decodeBudgetMs;
        env.stopMessage = [this](const QString &title, const QString &text, const QString &detail) {
            titles.append(title);
            messages.append(text);
            details.append(detail);
        };
        env.endProgram = [this](int code) { exits.append(code); };
        app = std::make_unique<Application>(env);
    }

    explicit AppRun(const StartOptions &start) : AppRun(1500, 10000, start) {}

    // Start-up on this cam rather than a random one, which may be the demo's live stream.
    static StartOptions onCam(const QString &camId)
    {
        StartOptions start;
        start.camId = camId;
        return start;
    }

    bool writeFile(const QString &name, const QByteArray &content) const
    {
        QFile f(QDir(dir.path()).filePath(name));
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
    }

    bool writeConfig(const QString &url) const
    {
        return writeFile(QStringLiteral("config.ini"), "url=" + url.toUtf8() + "\r\n");
    }

    // start(), then the event loop until start-up is over: whether it went well, or false if
    // it still runs after timeoutMs.
    bool startAndWait(int timeoutMs = 60000) const
    {
        std::optional<bool> outcome;
        QObject context;
        QObject::connect(app.get(), &Application::started, &context, [&](bool ok) { outcome = ok; });
        app->start();
        const QDeadlineTimer deadline(timeoutMs);
        while (!outcome && !deadline.hasExpired())
            QTest::qWait(2);
        return outcome.value_or(false);
    }

    // Lets the event loop run until the refresh under way, its picture's decode included, is
    // over; false if it still runs after timeoutMs.
    bool waitForRefresh(int timeoutMs = 20000) const
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (app->fetch().isRunning()) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(2);
        }
        return true;
    }

    // One whole refresh: fetchCamImage, then the decoded picture drawn.
    bool refresh(int timeoutMs = 20000) const
    {
        app->fetch().fetchCamImage();
        return waitForRefresh(timeoutMs);
    }

    bool exists(const QString &name) const { return QDir(dir.path()).exists(name); }

    // Files and links left in the working folder besides config.ini, hidden ones included.
    QStringList leftovers() const
    {
        QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        names.removeAll(QStringLiteral("config.ini"));
        return names;
    }
};
