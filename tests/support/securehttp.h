// For tests against a server that asks for credentials or speaks TLS: the Authorization value
// a Digest challenge calls for, the schemes a server's log shows, a self-signed certificate
// for 127.0.0.1 made at run time with the openssl command, and an HTTPS GET that trusts that
// certificate alone. Blocking; loopback only as the caller's addresses are.
#pragma once

#include <QCryptographicHash>
#include <QEventLoop>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStringList>
#include <QTimer>
#include <QUrl>

// Answers `challenge` (a "Digest ..." WWW-Authenticate value, MD5 or SHA-256, qop=auth) for GET uri.
inline QByteArray digestAuthorization(const QByteArray &challenge, const QByteArray &user, const QByteArray &password,
                                      const QByteArray &uri)
{
    static const QRegularExpression param(QStringLiteral("(\\w+)=(?:\"([^\"]*)\"|([^,\\s]*))"));
    QMap<QByteArray, QByteArray> p;
    for (auto it = param.globalMatch(QString::fromLatin1(challenge)); it.hasNext();) {
        const auto m = it.next();
        p[m.captured(1).toLatin1().toLower()] = (m.captured(2) + m.captured(3)).toLatin1();
    }
    const auto algorithm = p.value("algorithm").toLower() == "sha-256" ? QCryptographicHash::Sha256 : QCryptographicHash::Md5;
    const auto h = [algorithm](const QByteArray &text) { return QCryptographicHash::hash(text, algorithm).toHex(); };
    const QByteArray nc = "00000001", cnonce = "0a4f113b";
    const QByteArray response = h(h(user + ':' + p.value("realm") + ':' + password) + ':' + p.value("nonce") + ':' + nc + ':'
                                  + cnonce + ":auth:" + h("GET:" + uri));
    return "Digest username=\"" + user + "\", realm=\"" + p.value("realm") + "\", nonce=\"" + p.value("nonce") + "\", uri=\""
        + uri + "\", algorithm=" + p.value("algorithm") + ", response=\"" + response + "\", opaque=\"" + p.value("opaque")
        + "\", qop=auth, nc=" + nc + ", cnonce=\"" + cnonce + '"';
}

// The Authorization schemes ("Digest", "Basic") a camserver's request log shows, each once, in
// the order they first came; empty when no request carried credentials.
inline QStringList loggedAuthorizationSchemes(const QStringList &log)
{
    static const QRegularExpression field(QStringLiteral(" Authorization: (\\S+)"));
    QStringList schemes;
    for (const QString &line : log) {
        const QString scheme = field.match(line).captured(1);
        if (!scheme.isEmpty() && !schemes.contains(scheme))
            schemes.append(scheme);
    }
    return schemes;
}

// Writes cert.pem and key.pem for 127.0.0.1 and cams.invalid (the name proxy stand-ins take
// for it) into dir; false, with openssl's complaint, when it cannot.
inline bool makeSelfSignedCertificate(const QString &dir, QString *error)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                   QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:cams.invalid"), QStringLiteral("-days"), QStringLiteral("1"),
                   QStringLiteral("-keyout"), dir + QStringLiteral("/key.pem"), QStringLiteral("-out"), dir + QStringLiteral("/cert.pem")});
    const bool made = openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
    if (!made)
        *error = QStringLiteral("openssl: ") + openssl.errorString() + QString::fromLocal8Bit(openssl.readAllStandardError());
    return made;
}

struct HttpsReply {
    int status = -1; // -1: no answer
    QByteArray body;
    QString error;
};

// GET url trusting only the certificate in caFile.
inline HttpsReply httpsGet(const QUrl &url, const QString &caFile)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(caFile));
    request.setSslConfiguration(ssl);
    QNetworkReply *reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    HttpsReply result;
    if (reply->isFinished()) {
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.body = reply->readAll();
    }
    if (result.status <= 0)
        result.status = -1;
    result.error = reply->errorString();
    delete reply;
    return result;
}
