#include "connectionend.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

void ConnectionEnd::watch(qintptr descriptor)
{
    release();
    if (descriptor >= 0)
        m_descriptor = ::fcntl(int(descriptor), F_DUPFD_CLOEXEC, 0);
}

bool ConnectionEnd::wasReset() const
{
    if (m_descriptor < 0)
        return false;
    tcp_info info {};
    socklen_t size = sizeof info;
    if (::getsockopt(m_descriptor, IPPROTO_TCP, TCP_INFO, &info, &size) != 0)
        return false;
    // An orderly end leaves the connection waiting for our side to close it.
    return info.tcpi_state == TCP_CLOSE;
}

void ConnectionEnd::release()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
}
