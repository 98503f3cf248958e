#include "LoopbackHttpServer.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "TestSupport.h"

namespace tvk::test {

namespace {

constexpr int kPollMilliseconds = 50;
constexpr size_t kMaxHeadBytes = 64 * 1024;

// Waits in slices, so that a stopping server is noticed soon. False when
// the server stops or the socket fails.
bool WaitFor(Socket fd, bool forWriting, const std::atomic<bool>& stopping) {
    while (!stopping) {
        switch (test::WaitFor(fd, forWriting, kPollMilliseconds)) {
            case Readiness::Ready:
                return true;
            case Readiness::Failed:
                return false;
            case Readiness::TimedOut:
                break;
        }
    }
    return false;
}

bool ReadHead(Socket fd, std::string& head, const std::atomic<bool>& stopping) {
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > kMaxHeadBytes || !WaitFor(fd, false, stopping)) return false;
        long n = Receive(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        head.append(buffer, static_cast<size_t>(n));
    }
    head.resize(head.find("\r\n\r\n") + 2);
    return true;
}

bool SendAll(Socket fd, const std::string& data, const std::atomic<bool>& stopping) {
    size_t sent = 0;
    while (sent < data.size()) {
        if (!WaitFor(fd, true, stopping)) return false;
        long n = Send(fd, data.data() + sent, data.size() - sent);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Holds the connection open without answering until the client gives up or
// the server stops.
void WaitUntilClosed(Socket fd, const std::atomic<bool>& stopping) {
    char buffer[1024];
    while (WaitFor(fd, false, stopping)) {
        if (Receive(fd, buffer, sizeof buffer) <= 0) return;
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

std::string ResponseHead(int status, const std::string& reason, int64_t contentLength,
                         const std::vector<std::pair<std::string, std::string>>& headers) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    if (contentLength >= 0) head += "Content-Length: " + std::to_string(contentLength) + "\r\n";
    head += "Connection: close\r\n";
    for (const auto& [name, value] : headers) head += name + ": " + value + "\r\n";
    return head + "\r\n";
}

std::string ResponseHead(const LoopbackHttpServer::Response& response) {
    return ResponseHead(response.status, response.reason,
                        static_cast<int64_t>(response.body.size()), response.headers);
}

// The first byte of "Range: bytes=N-" or "bytes=N-M"; other forms are ignored,
// as a server may.
std::optional<int64_t> RequestedRangeStart(const std::string& head) {
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    constexpr std::string_view kHeader = "\r\nrange: bytes=";
    size_t at = lower.find(kHeader);
    if (at == std::string::npos) return std::nullopt;
    at += kHeader.size();
    size_t end = at;
    while (end < lower.size() && std::isdigit(static_cast<unsigned char>(lower[end]))) ++end;
    if (end == at || end >= lower.size() || lower[end] != '-') return std::nullopt;
    return std::stoll(lower.substr(at, end - at));
}

int64_t BodyLength(const LoopbackHttpServer::Response& response) {
    return response.generatedLength >= 0 ? response.generatedLength
                                         : static_cast<int64_t>(response.body.size());
}

std::string BodyPiece(const LoopbackHttpServer::Response& response, int64_t offset, size_t length) {
    if (response.generatedLength >= 0) return LoopbackHttpServer::Pattern(offset, length);
    return response.body.substr(static_cast<size_t>(offset), length);
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer() {
    listener_ = BindLoopback(port_);
    if (!Listen(listener_, 64)) {
        CloseSocket(listener_);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    stopping_ = true;
    acceptor_.join();
    // The acceptor has ended, so no connection thread can be added any more.
    for (std::thread& connection : connections_) connection.join();
    CloseSocket(listener_);
}

std::string LoopbackHttpServer::Pattern(int64_t offset, size_t length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) {
        uint64_t x = static_cast<uint64_t>(offset) + i;
        bytes[i] = static_cast<char>((x * 0x9E3779B97F4A7C15ull) >> 56);
    }
    return bytes;
}

LoopbackHttpServer::Response LoopbackHttpServer::Generated(int64_t length) {
    Response response;
    response.generatedLength = length;
    response.ranges = true;
    return response;
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

void LoopbackHttpServer::ServeSigned(const std::string& path, const std::string& body, int build) {
    ServeBody(path, body);
    std::string comment = "file:" + path.substr(path.rfind('/') + 1);
    if (build != 0) comment += " build:" + std::to_string(build);
    ServeBody(path + ".minisig", ReleaseSignatureOf(body, comment));
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
    while (WaitFor(listener_, false, stopping_)) {
        Socket fd = Accept(listener_);
        if (fd == kNoSocket) continue;
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

void LoopbackHttpServer::HandleConnection(Socket fd) {
    std::string head;
    if (ReadHead(fd, head, stopping_)) {
        std::string method, path;
        ParseRequestLine(head, method, path);
        int requestNumber = 0;
        {
            std::lock_guard lock(mutex_);
            requestNumber = ++requests_[path];
            lastHeads_[path] = head;
        }
        Response response = ResponseFor(path);
        switch (response.behaviour) {
            case Behaviour::Answer:
                SendAnswer(fd, response, method, head, requestNumber);
                break;
            case Behaviour::Hang:
                WaitUntilClosed(fd, stopping_);
                break;
            case Behaviour::CloseHalfway: {
                std::string body = method == "HEAD" ? "" : response.body;
                SendAll(fd, ResponseHead(response) + body.substr(0, body.size() / 2), stopping_);
                break;
            }
        }
    }
    CloseSocket(fd);
}

void LoopbackHttpServer::SendAnswer(Socket fd, const Response& response, const std::string& method,
                                    const std::string& head, int requestNumber) {
    constexpr size_t kPiece = 64 * 1024;
    int64_t size = BodyLength(response);
    int status = response.status;
    std::string reason = response.reason;
    auto headers = response.headers;
    int64_t first = 0;
    std::optional<int64_t> range =
        response.ranges && status == 200 ? RequestedRangeStart(head) : std::nullopt;
    if (range && *range >= size) {
        headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
        SendAll(fd, ResponseHead(416, "Range Not Satisfiable", 0, headers), stopping_);
        ShutdownSending(fd);
        return;
    }
    if (range) {
        first = *range;
        status = 206;
        reason = "Partial Content";
        headers.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                  std::to_string(size - 1) + "/" +
                                                  std::to_string(size));
    }
    bool faulty = response.faultyRequests < 0 || requestNumber <= response.faultyRequests;
    int64_t length = size - first;
    int64_t announced =
        response.withoutLength ? -1 : length + (faulty ? response.announceExtra : 0);
    int64_t limit = method == "HEAD" ? 0 : length;
    if (faulty && response.dropAfter >= 0) limit = std::min(limit, response.dropAfter);
    bool stall = faulty && response.stallAfter >= 0;
    if (stall) limit = std::min(limit, response.stallAfter);
    if (!SendAll(fd, ResponseHead(status, reason, announced, headers), stopping_)) return;
    for (int64_t sent = 0; sent < limit;) {
        size_t piece = static_cast<size_t>(std::min<int64_t>(kPiece, limit - sent));
        if (!SendAll(fd, BodyPiece(response, first + sent, piece), stopping_)) return;
        sent += static_cast<int64_t>(piece);
        if (response.pace.count() > 0 && sent < limit) std::this_thread::sleep_for(response.pace);
    }
    if (stall) {
        WaitUntilClosed(fd, stopping_);
        return;
    }
    // The end of the body, or a dropped connection: a clean close either way,
    // so that the bytes sent arrive before it.
    ShutdownSending(fd);
}

}  // namespace tvk::test
