#include "ChildProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace tvk::test {

ChildProcess::ChildProcess(const std::function<long()>& work) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(fds[0]);
        long value = 0;
        try {
            value = work();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(::write(fds[1], &value, sizeof value) == sizeof value ? 0 : 1);
    }
    ::close(fds[1]);
    result_ = fds[0];
    if (pid_ < 0) ::close(result_);
}

ChildProcess::~ChildProcess() { Wait(); }

std::optional<long> ChildProcess::Wait() {
    if (pid_ <= 0) return std::nullopt;
    long value = 0;
    const bool answered = ::read(result_, &value, sizeof value) == sizeof value;
    ::close(result_);
    int status = 0;
    const bool ended = ::waitpid(pid_, &status, 0) == pid_;
    pid_ = -1;
    if (!answered || !ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return value;
}

bool EnterOwnNetworkNamespace() { return ::unshare(CLONE_NEWNET) == 0; }

RefusingPort::RefusingPort() {
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket_ < 0 ||
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (socket_ >= 0) ::close(socket_);
        throw std::runtime_error("cannot bind a loopback port");
    }
    port_ = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort() {
    if (socket_ >= 0) ::close(socket_);
}

}  // namespace tvk::test
