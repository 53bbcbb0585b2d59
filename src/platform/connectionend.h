#pragma once
// How the far end of a TCP connection ended it: in order, or with a reset.
//
// Qt's sockets read a reset as an orderly end and close their descriptor on it, so watch()
// keeps a second descriptor on the connection from the moment it is up; it holds the
// connection open until release() or destruction. wasReset() is true only once the peer
// has reset the connection (Linux: its TCP state is closed, not waiting for our close).
#include <QtGlobal>

class ConnectionEnd
{
public:
    ConnectionEnd() = default;
    ~ConnectionEnd() { release(); }
    ConnectionEnd(const ConnectionEnd &) = delete;
    ConnectionEnd &operator=(const ConnectionEnd &) = delete;

    void watch(qintptr descriptor);
    bool wasReset() const;
    void release();

private:
    int m_descriptor = -1;
};
