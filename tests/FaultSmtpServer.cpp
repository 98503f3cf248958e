#include "FaultSmtpServer.h"

#include <stdexcept>

namespace tvk::test {

namespace {

constexpr int kWaitMs = 10000;  // a silent client is given up after this

bool SendText(Socket fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        long n = Send(fd, text.data() + sent, text.size() - sent);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads one CRLF-terminated line into `line` (without the CRLF), keeping what
// follows in `buffer`. False when the client went away or stayed silent.
bool ReadLine(Socket fd, std::string& buffer, std::string& line) {
    for (;;) {
        size_t end = buffer.find("\r\n");
        if (end != std::string::npos) {
            line = buffer.substr(0, end);
            buffer.erase(0, end + 2);
            return true;
        }
        if (WaitFor(fd, false, kWaitMs) != Readiness::Ready) return false;
        char chunk[4096];
        long n = Receive(fd, chunk, sizeof chunk);
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
    listener_ = BindLoopback(port_);
    if (!Listen(listener_, 8)) {
        CloseSocket(listener_);
        throw std::runtime_error("cannot listen on loopback");
    }
    thread_ = std::thread([this] { Serve(); });
}

FaultSmtpServer::~FaultSmtpServer() {
    stopping_ = true;
    ShutdownBoth(listener_);
    thread_.join();
    CloseSocket(listener_);
}

std::vector<std::string> FaultSmtpServer::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

void FaultSmtpServer::Serve() {
    while (!stopping_) {
        if (WaitFor(listener_, false, 100) != Readiness::Ready) continue;
        Socket fd = Accept(listener_);
        if (fd == kNoSocket) continue;
        Session(fd);  // one client at a time is all the tests need
        CloseSocket(fd);
    }
}

void FaultSmtpServer::Session(Socket fd) {
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
