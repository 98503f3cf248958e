#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "Sockets.h"

namespace tvk::test {

Socket BindLoopback(uint16_t& port) {
    const Socket socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(socket);
        throw std::runtime_error("cannot bind a loopback port");
    }
    port = ntohs(address.sin_port);
    return socket;
}

bool Listen(Socket listener, int backlog) { return ::listen(listener, backlog) == 0; }

Socket Accept(Socket listener) {
    const Socket socket = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    return socket < 0 ? kNoSocket : socket;
}

Readiness WaitFor(Socket socket, bool forWriting, int milliseconds) {
    const short events = forWriting ? POLLOUT : POLLIN;
    pollfd p{socket, events, 0};
    const int n = ::poll(&p, 1, milliseconds);
    if (n < 0) return errno == EINTR ? Readiness::TimedOut : Readiness::Failed;
    if (n == 0) return Readiness::TimedOut;
    return (p.revents & (events | POLLHUP | POLLERR)) != 0 ? Readiness::Ready : Readiness::Failed;
}

long Receive(Socket socket, char* buffer, size_t size) {
    for (;;) {
        const ssize_t n = ::recv(socket, buffer, size, 0);
        if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
}

long Send(Socket socket, const char* data, size_t size) {
    for (;;) {
        const ssize_t n = ::send(socket, data, size, MSG_NOSIGNAL);
        if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
}

void ShutdownSending(Socket socket) { ::shutdown(socket, SHUT_WR); }

void ShutdownBoth(Socket socket) { ::shutdown(socket, SHUT_RDWR); }

void CloseSocket(Socket socket) {
    if (socket != kNoSocket) ::close(socket);
}

}  // namespace tvk::test
