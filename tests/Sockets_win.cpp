#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>
#include <stdexcept>

#include "Sockets.h"

namespace tvk::test {

namespace {

// Winsock must be started before its first call; it stays started for the
// life of the test program.
void StartWinsock() {
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data{};
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    });
}

SOCKET Native(Socket socket) { return static_cast<SOCKET>(socket); }

}  // namespace

Socket BindLoopback(uint16_t& port) {
    StartWinsock();
    // Winsock sockets are not inherited unless asked for.
    const SOCKET socket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                       WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(socket);
        throw std::runtime_error("cannot bind a loopback port");
    }
    port = ntohs(address.sin_port);
    return static_cast<Socket>(socket);
}

bool Listen(Socket listener, int backlog) { return ::listen(Native(listener), backlog) == 0; }

Socket Accept(Socket listener) {
    const SOCKET socket = ::accept(Native(listener), nullptr, nullptr);
    if (socket == INVALID_SOCKET) return kNoSocket;
    ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    return static_cast<Socket>(socket);
}

Readiness WaitFor(Socket socket, bool forWriting, int milliseconds) {
    const SHORT events = forWriting ? POLLWRNORM : POLLRDNORM;
    WSAPOLLFD p{Native(socket), events, 0};
    const int n = ::WSAPoll(&p, 1, milliseconds);
    if (n < 0) return Readiness::Failed;
    if (n == 0) return Readiness::TimedOut;
    return (p.revents & (events | POLLHUP | POLLERR)) != 0 ? Readiness::Ready : Readiness::Failed;
}

long Receive(Socket socket, char* buffer, size_t size) {
    return ::recv(Native(socket), buffer, static_cast<int>(size), 0);
}

// Winsock raises no signal on a closed peer; the send just fails.
long Send(Socket socket, const char* data, size_t size) {
    return ::send(Native(socket), data, static_cast<int>(size), 0);
}

void ShutdownSending(Socket socket) { ::shutdown(Native(socket), SD_SEND); }

void ShutdownBoth(Socket socket) { ::shutdown(Native(socket), SD_BOTH); }

void CloseSocket(Socket socket) {
    if (socket != kNoSocket) ::closesocket(Native(socket));
}

}  // namespace tvk::test
