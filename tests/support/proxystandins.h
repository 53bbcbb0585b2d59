#pragma once
// In-process proxies on 127.0.0.1 port 0, for clients set to use one. Each records what it
// was asked for and takes the one name cams.invalid for 127.0.0.1: a tunnel to
// cams.invalid:PORT goes to 127.0.0.1:PORT, any other name is refused. So nothing is ever
// looked up and nothing leaves the machine. Both live on the caller's event loop.
#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace proxy_standins {

inline const QByteArray ReachableName = "cams.invalid";

// Bytes both ways between the two sockets until either end closes.
inline void relay(QTcpSocket *a, QTcpSocket *b)
{
    for (auto [from, to] : {std::pair{a, b}, std::pair{b, a}}) {
        QObject::connect(from, &QIODevice::readyRead, to, [from, to] { to->write(from->readAll()); });
        QObject::connect(from, &QAbstractSocket::disconnected, to, [to] { to->disconnectFromHost(); });
    }
}

// Connects to 127.0.0.1:port for `client`, then calls opened() and relays; closes the client
// when the far end cannot be reached.
template<typename Opened>
void openTunnel(QTcpSocket *client, quint16 port, Opened opened)
{
    auto *far = new QTcpSocket(client);
    QObject::connect(far, &QAbstractSocket::connected, client, [client, far, opened] {
        opened();
        relay(client, far);
    });
    QObject::connect(far, &QAbstractSocket::errorOccurred, client, [client] { client->disconnectFromHost(); });
    far->connectToHost(QHostAddress::LocalHost, port);
}

// A name other than localhost that the hosts file gives 127.0.0.1: this machine reached by a
// name that no name server is asked for and no built-in rule sends past the proxy. Empty when
// the file has none.
inline QByteArray loopbackNameInHostsFile()
{
    QFile hosts(QStringLiteral("/etc/hosts"));
    if (!hosts.open(QIODevice::ReadOnly))
        return {};
    while (!hosts.atEnd()) {
        QByteArray line = hosts.readLine();
        if (const qsizetype comment = line.indexOf('#'); comment >= 0)
            line.truncate(comment);
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() < 2 || words.first() != "127.0.0.1")
            continue;
        for (const QByteArray &name : words.mid(1)) {
            const QByteArray lower = name.toLower();
            if (lower != "localhost" && !lower.endsWith(".localhost") && !lower.endsWith('.'))
                return name;
        }
    }
    return {};
}

} // namespace proxy_standins

// An HTTP proxy, in the clear or behind TLS. A plain request it answers itself ("via proxy");
// a tunnel request gets tunnelAnswer, or with none the tunnel. An answer without a blank line
// goes on with header lines without end: as fast as the client takes them, or one short line
// every pauseMs.
class HttpProxyStandIn
{
public:
    QByteArray tunnelAnswer;
    int pauseMs = 0;

    // With a certificate and key (PEM files) the proxy speaks TLS.
    bool listen(const QString &certFile = {}, const QString &keyFile = {})
    {
        if (certFile.isEmpty()) {
            m_server = std::make_unique<QTcpServer>();
        } else {
            QFile cert(certFile);
            QFile key(keyFile);
            if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
                return false;
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.setLocalCertificate(QSslCertificate(&cert));
            tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
            auto server = std::make_unique<QSslServer>();
            server->setSslConfiguration(tls);
            m_server = std::move(server);
        }
        QObject::connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, m_server.get(), [this] {
            while (QTcpSocket *client = m_server->nextPendingConnection())
                serve(client);
        });
        return m_server->listen(QHostAddress::LocalHost);
    }
    quint16 port() const { return m_server->serverPort(); }
    // The first request's line; empty while none came.
    QByteArray asked() const { return m_head.left(m_head.indexOf("\r\n")); }
    QByteArray head() const { return m_head; }

private:
    void serve(QTcpSocket *client)
    {
        auto pending = std::make_shared<QByteArray>();
        auto reading = std::make_shared<QMetaObject::Connection>();
        *reading = QObject::connect(client, &QIODevice::readyRead, client, [=] {
            *pending += client->readAll();
            const qsizetype end = pending->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            QObject::disconnect(*reading);
            const QByteArray head = pending->left(end + 4);
            if (m_head.isEmpty())
                m_head = head;
            if (!head.startsWith("CONNECT ")) {
                client->write("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nvia proxy");
                client->disconnectFromHost();
            } else {
                answerTunnel(client, head);
            }
        });
    }

    void answerTunnel(QTcpSocket *client, const QByteArray &head)
    {
        const QByteArray target = head.split(' ').value(1);
        const qsizetype colon = target.lastIndexOf(':');
        if (tunnelAnswer.isEmpty() && target.left(colon) == proxy_standins::ReachableName) {
            proxy_standins::openTunnel(client, target.mid(colon + 1).toUShort(),
                                       [client] { client->write("HTTP/1.1 200 Connection established\r\n\r\n"); });
            return;
        }
        if (tunnelAnswer.isEmpty()) {
            client->write("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
            client->disconnectFromHost();
            return;
        }
        client->write(tunnelAnswer);
        if (tunnelAnswer.endsWith("\r\n\r\n")) {
            client->disconnectFromHost();
            return;
        }
        if (pauseMs > 0) {
            auto *pause = new QTimer(client);
            QObject::connect(pause, &QTimer::timeout, client, [client] { client->write("X-Filler: a\r\n"); });
            pause->start(pauseMs);
            return;
        }
        QObject::connect(client, &QIODevice::bytesWritten, client, [client] {
            static const QByteArray lines = QByteArray("X-Filler: ").append(1000, 'a').append("\r\n").repeated(64);
            while (client->state() == QAbstractSocket::ConnectedState && client->bytesToWrite() < 256 * 1024)
                client->write(lines);
        });
    }

    std::unique_ptr<QTcpServer> m_server;
    QByteArray m_head;
};

// A SOCKS5 proxy: no credentials, CONNECT to a host name only.
class SocksStandIn
{
public:
    bool listen()
    {
        QObject::connect(&m_server, &QTcpServer::pendingConnectionAvailable, &m_server, [this] {
            while (QTcpSocket *client = m_server.nextPendingConnection())
                serve(client);
        });
        return m_server.listen(QHostAddress::LocalHost);
    }
    quint16 port() const { return m_server.serverPort(); }
    // "NAME:PORT" of the first tunnel asked for; empty while none was.
    QByteArray asked() const { return m_asked; }

private:
    void serve(QTcpSocket *client)
    {
        auto pending = std::make_shared<QByteArray>();
        auto greeted = std::make_shared<bool>(false);
        auto reading = std::make_shared<QMetaObject::Connection>();
        *reading = QObject::connect(client, &QIODevice::readyRead, client, [=] {
            *pending += client->readAll();
            const QByteArray &in = *pending;
            if (!*greeted) {
                // Version 5, the methods offered; "no authentication" taken.
                if (in.size() < 2 || in.size() < 2 + quint8(in[1]))
                    return;
                const bool open = in[0] == 5 && in.mid(2, quint8(in[1])).contains('\0');
                client->write(open ? QByteArray("\x05\x00", 2) : QByteArray("\x05\xFF", 2));
                pending->remove(0, 2 + quint8(in[1]));
                *greeted = true;
                if (!open)
                    client->disconnectFromHost();
                return;
            }
            // Version 5, CONNECT, reserved, a name of LEN bytes, the port.
            if (in.size() < 5 || in.size() < 7 + quint8(in[4]))
                return;
            QObject::disconnect(*reading);
            const QByteArray name = in.mid(5, quint8(in[4]));
            const quint16 port = quint16(quint8(in[5 + name.size()]) << 8 | quint8(in[6 + name.size()]));
            if (m_asked.isEmpty())
                m_asked = name + ':' + QByteArray::number(port);
            static const QByteArray boundTo("\x00\x01\x00\x00\x00\x00\x00\x00", 8);
            if (in.left(4) != QByteArray("\x05\x01\x00\x03", 4) || name != proxy_standins::ReachableName) {
                client->write(QByteArray("\x05\x04", 2) + boundTo); // host unreachable
                client->disconnectFromHost();
                return;
            }
            proxy_standins::openTunnel(client, port, [client] { client->write(QByteArray("\x05\x00", 2) + boundTo); });
        });
    }

    QTcpServer m_server;
    QByteArray m_asked;
};
