#pragma once

#include <cstddef>
#include <cstdint>

// The few calls the loopback test servers need, on BSD sockets or on
// Winsock: IPv4 on 127.0.0.1 only, every wait bounded by the caller.
namespace tvk::test {

#ifdef _WIN32
using Socket = std::uintptr_t;  // SOCKET
constexpr Socket kNoSocket = ~Socket{0};
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
#endif

// A TCP socket bound to 127.0.0.1 on a port the system picks, not inherited
// by child processes; `port` is set to that port. Listening on it is the
// caller's choice. Throws std::runtime_error when it cannot be made.
Socket BindLoopback(uint16_t& port);
// Starts accepting connections; false when the socket refuses.
bool Listen(Socket listener, int backlog);
// The next connection, not inherited by child processes; kNoSocket on failure.
Socket Accept(Socket listener);

enum class Readiness { Ready, TimedOut, Failed };
// Waits up to `milliseconds` until the socket can be read (or, with
// `forWriting`, written), or has been closed or broken (a read or a write
// then tells). An interrupted wait counts as timed out.
Readiness WaitFor(Socket socket, bool forWriting, int milliseconds);

// One recv or send: the bytes moved, 0 when the peer closed (recv), < 0 on
// failure. Interrupted calls are repeated; a send to a closed peer raises
// no signal.
long Receive(Socket socket, char* buffer, size_t size);
long Send(Socket socket, const char* data, size_t size);
// No more data from this side: the peer reads the end once all sent bytes
// have arrived.
void ShutdownSending(Socket socket);
// Both directions, so that a thread waiting on the socket wakes up.
void ShutdownBoth(Socket socket);
void CloseSocket(Socket socket);

// A loopback port that is bound but does not listen: connections to it are
// refused.
class RefusingPort {
  public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    uint16_t Port() const { return port_; }

  private:
    Socket socket_ = kNoSocket;
    uint16_t port_ = 0;
};

// A loopback port on which nothing listens (at the moment of the call).
uint16_t UnusedLoopbackPort();

}  // namespace tvk::test
