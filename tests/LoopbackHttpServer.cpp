#include "LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace tvk::test {

namespace {

constexpr int kPollMilliseconds = 50;
constexpr size_t kMaxHeadBytes = 64 * 1024;

// Waits for `events` in slices, so that a stopping server is noticed soon.
// False when the server stops or the socket fails.
bool WaitFor(int fd, short events, const std::atomic<bool>& stopping) {
    while (!stopping) {
        pollfd p{fd, events, 0};
        int n = ::poll(&p, 1, kPollMilliseconds);
        if (n < 0 && errno != EINTR) return false;
        if (n > 0) return (p.revents & (events | POLLHUP | POLLERR)) != 0;
    }
    return false;
}

bool ReadHead(int fd, std::string& head, const std::atomic<bool>& stopping) {
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > kMaxHeadBytes || !WaitFor(fd, POLLIN, stopping)) return false;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        head.append(buffer, static_cast<size_t>(n));
    }
    head.resize(head.find("\r\n\r\n") + 2);
    return true;
}

bool SendAll(int fd, const std::string& data, const std::atomic<bool>& stopping) {
    size_t sent = 0;
    while (sent < data.size()) {
        if (!WaitFor(fd, POLLOUT, stopping)) return false;
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Holds the connection open without answering until the client gives up or
// the server stops.
void WaitUntilClosed(int fd, const std::atomic<bool>& stopping) {
    char buffer[1024];
    while (WaitFor(fd, POLLIN, stopping)) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EINTR)) return;
    }
}

// "GET /a/b?x HTTP/1.1" -> "GET", "/a/b"; a proxy request names the whole
// URL ("GET http://host/a/b HTTP/1.1") and is filed under its path too.
void ParseRequestLine(const std::string& head, std::string& method, std::string& path) {
    std::string line = head.substr(0, head.find("\r\n"));
    size_t first = line.find(' ');
    size_t second = line.find(' ', first == std::string::npos ? first : first + 1);
    method = line.substr(0, first);
    std::string target =
        first == std::string::npos ? "" : line.substr(first + 1, second - first - 1);
    size_t scheme = target.find("://");
    if (scheme != std::string::npos) {
        size_t slash = target.find('/', scheme + 3);
        target = slash == std::string::npos ? "/" : target.substr(slash);
    }
    path = target.substr(0, target.find('?'));
}

std::string ResponseHead(const LoopbackHttpServer::Response& response) {
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason +
                       "\r\nContent-Length: " + std::to_string(response.body.size()) +
                       "\r\nConnection: close\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    return head + "\r\n";
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener_);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    stopping_ = true;
    acceptor_.join();
    // The acceptor has ended, so no connection thread can be added any more.
    for (std::thread& connection : connections_) connection.join();
    ::close(listener_);
}

std::string LoopbackHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackHttpServer::Serve(const std::string& path, Response response) {
    std::lock_guard lock(mutex_);
    responses_[path] = std::move(response);
}

void LoopbackHttpServer::ServeBody(const std::string& path, const std::string& body) {
    Response response;
    response.body = body;
    Serve(path, std::move(response));
}

void LoopbackHttpServer::ServeStatus(const std::string& path, int status, const std::string& reason,
                                     const std::string& body) {
    Serve(path, Response{status, reason, body, {}, Behaviour::Answer});
}

void LoopbackHttpServer::Redirect(const std::string& path, const std::string& location,
                                  int status) {
    const char* reason = status == 301   ? "Moved Permanently"
                         : status == 303 ? "See Other"
                         : status == 307 ? "Temporary Redirect"
                         : status == 308 ? "Permanent Redirect"
                                         : "Found";
    Serve(path, Response{status, reason, "", {{"Location", location}}, Behaviour::Answer});
}

void LoopbackHttpServer::Hang(const std::string& path) {
    Serve(path, Response{200, "OK", "", {}, Behaviour::Hang});
}

void LoopbackHttpServer::CloseHalfway(const std::string& path, const std::string& body) {
    Serve(path, Response{200, "OK", body, {}, Behaviour::CloseHalfway});
}

int LoopbackHttpServer::Requests(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto found = requests_.find(path);
    return found == requests_.end() ? 0 : found->second;
}

std::string LoopbackHttpServer::LastRequestHead(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto found = lastHeads_.find(path);
    return found == lastHeads_.end() ? "" : found->second;
}

void LoopbackHttpServer::AcceptLoop() {
    while (WaitFor(listener_, POLLIN, stopping_)) {
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, fd] { HandleConnection(fd); });
    }
}

LoopbackHttpServer::Response LoopbackHttpServer::ResponseFor(const std::string& path) {
    std::lock_guard lock(mutex_);
    auto found = responses_.find(path);
    if (found != responses_.end()) return found->second;
    return Response{404, "Not Found", "<html><body>Not Found</body></html>", {}, Behaviour::Answer};
}

void LoopbackHttpServer::HandleConnection(int fd) {
    std::string head;
    if (ReadHead(fd, head, stopping_)) {
        std::string method, path;
        ParseRequestLine(head, method, path);
        {
            std::lock_guard lock(mutex_);
            ++requests_[path];
            lastHeads_[path] = head;
        }
        Response response = ResponseFor(path);
        std::string body = method == "HEAD" ? "" : response.body;
        switch (response.behaviour) {
            case Behaviour::Answer:
                SendAll(fd, ResponseHead(response) + body, stopping_);
                ::shutdown(fd, SHUT_WR);
                break;
            case Behaviour::Hang:
                WaitUntilClosed(fd, stopping_);
                break;
            case Behaviour::CloseHalfway:
                SendAll(fd, ResponseHead(response) + body.substr(0, body.size() / 2), stopping_);
                break;
        }
    }
    ::close(fd);
}

}  // namespace tvk::test
