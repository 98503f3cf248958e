#include "FaultSmtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tvk::test {

namespace {

constexpr int kWaitMs = 10000;  // a silent client is given up after this

bool SendText(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads one CRLF-terminated line into `line` (without the CRLF), keeping what
// follows in `buffer`. False when the client went away or stayed silent.
bool ReadLine(int fd, std::string& buffer, std::string& line) {
    for (;;) {
        size_t end = buffer.find("\r\n");
        if (end != std::string::npos) {
            line = buffer.substr(0, end);
            buffer.erase(0, end + 2);
            return true;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kWaitMs) <= 0) return false;
        char chunk[4096];
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<size_t>(n));
    }
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

FaultSmtpServer::FaultSmtpServer(RefuseAt refuseAt) : refuseAt_(refuseAt) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(listener_);
        throw std::runtime_error("cannot listen on loopback");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

FaultSmtpServer::~FaultSmtpServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
}

std::vector<std::string> FaultSmtpServer::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

void FaultSmtpServer::Serve() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        Session(fd);  // one client at a time is all the tests need
        ::close(fd);
    }
}

void FaultSmtpServer::Session(int fd) {
    std::string buffer, line;
    if (!SendText(fd, "220 127.0.0.1 ESMTP fault server\r\n")) return;
    while (!stopping_ && ReadLine(fd, buffer, line)) {
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(line);
        }
        const std::string verb = Upper(line.substr(0, 4));
        std::string reply = "250 OK\r\n";
        if (verb == "EHLO") {
            reply = "250-127.0.0.1\r\n250 8BITMIME\r\n";
        } else if (verb == "QUIT") {
            SendText(fd, "221 Bye\r\n");
            return;
        } else if (verb == "DATA") {
            if (refuseAt_ == RefuseAt::DataCommand) {
                reply = std::string(kRefusal) + "\r\n";
            } else {
                if (!SendText(fd, "354 End data with <CR><LF>.<CR><LF>\r\n")) return;
                std::string body;
                do {
                    if (!ReadLine(fd, buffer, body)) return;
                } while (body != ".");
                reply = std::string(kRefusal) + "\r\n";
            }
        } else if (verb != "HELO" && verb != "MAIL" && verb != "RCPT" && verb != "RSET" &&
                   verb != "NOOP") {
            reply = "502 5.5.2 Command not implemented\r\n";
        }
        if (!SendText(fd, reply)) return;
    }
}

}  // namespace tvk::test
