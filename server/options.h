// The command line of lumora-camserver. parseOptions() prints --help and exits, and reports
// a bad command line on stderr and answers none, so the caller can exit with status 2.
#pragma once

#include "credentials.h"

#include <QString>
#include <QTime>
#include <QStringList>

#include <string>
#include <vector>

struct Options {
    QString bind = QStringLiteral("127.0.0.1");
    int port = 0;
    QString catalogueFile;
    QString commentsDir;
    QString picturesDir;
    bool log = false;
    bool conditional = true;
    bool control = false;         // the /_control/ endpoints answer (loopback peers only)
    int stallMaxSeconds = 300;
    int liveFps = 10;             // frames per second of the live streams
    QTime sceneTime;              // valid: pictures show this time of day instead of the clock's
    int maxPerAddress = 32;       // connections open at once from one client address
    std::string base;             // "{base}" in every answer, when set; else from Host or the bound address
    QString exportDir;
    QString exportBase;
    std::vector<std::string> faultRules;
    Credentials credentials;      // what pictures ask for; Scheme::None: nothing
    std::string tlsCertificate;   // PEM contents of --tls-cert and --tls-key; set: HTTPS only
    std::string tlsKey;

    bool tls() const { return !tlsCertificate.empty(); }
    // The time of day a picture painted now shows: its scene's light and its caption.
    QTime timeOfDay() const { return sceneTime.isValid() ? sceneTime : QTime::currentTime(); }
};

// Requests and renders are bounded so that no client can take the server's memory or time.
namespace limits {
constexpr int kHeaderDeadlineSeconds = 10;  // the whole request header must arrive within this
constexpr int kIdleSeconds = 30;            // an answer the client takes nothing of for this long is dropped
constexpr int kMaxConnections = 10000;
constexpr int kLargestWidth = 1920;         // ?size= is cut to fit within this
constexpr int kLargestHeight = 1080;
constexpr int kLiveFpsMax = 60;
constexpr size_t kLogLines = 10000;         // the request log keeps the latest lines only
constexpr size_t kLogLineBytes = 512;       // each cut to this
} // namespace limits

bool parseOptions(const QStringList &arguments, Options &options);
