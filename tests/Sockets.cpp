#include "Sockets.h"

namespace tvk::test {

RefusingPort::RefusingPort() { socket_ = BindLoopback(port_); }

RefusingPort::~RefusingPort() { CloseSocket(socket_); }

uint16_t UnusedLoopbackPort() {
    uint16_t port = 0;
    CloseSocket(BindLoopback(port));
    return port;
}

}  // namespace tvk::test
