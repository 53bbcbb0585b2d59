#pragma once
// Connections that open a request and then trickle its header a byte at a time, as a client
// on a bad line (or one holding connections on purpose) does. Plain non-blocking sockets,
// so hundreds cost the test little. Loopback only: from a chosen 127.x.y.z to 127.0.0.1.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

class SlowClients
{
public:
    ~SlowClients()
    {
        for (int fd : m_sockets)
            ::close(fd);
    }

    // Opens n connections to 127.0.0.1:port from the loopback address `from` and sends each
    // the start of a request; returns how many connected.
    int open(int n, quint16 port, const char *from = "127.0.0.1")
    {
        int connected = 0;
        for (int i = 0; i < n; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0)
                break;
            sockaddr_in local {};
            local.sin_family = AF_INET;
            inet_pton(AF_INET, from, &local.sin_addr);
            sockaddr_in server {};
            server.sin_family = AF_INET;
            server.sin_port = htons(port);
            server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0
                || ::connect(fd, reinterpret_cast<sockaddr *>(&server), sizeof server) != 0) {
                ::close(fd);
                continue;
            }
            static const char start[] = "GET /camlist.php HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
            ::send(fd, start, sizeof start - 1, MSG_NOSIGNAL);
            m_sockets.push_back(fd);
            ++connected;
        }
        return connected;
    }

    // One more header byte on every connection.
    void trickle()
    {
        for (int fd : m_sockets)
            ::send(fd, "a", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    }

    // How many of the connections the server still holds open.
    int stillOpen() const
    {
        int open = 0;
        for (int fd : m_sockets) {
            char byte;
            const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
            open += n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
        return open;
    }

private:
    std::vector<int> m_sockets;
};
