#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tvk::test {

// A small HTTP/1.1 server on 127.0.0.1 for tests, on a port the kernel picks.
// Each connection carries one request and is closed after the answer. What a
// path answers can be changed between requests; unknown paths get 404. Every
// wait on a socket is bounded, and the destructor stops and joins all threads.
class LoopbackHttpServer {
  public:
    enum class Behaviour {
        Answer,        // status line, headers, the whole body
        Hang,          // read the request, then never answer
        CloseHalfway,  // announce the whole body's length, send half, close
    };

    struct Response {
        int status = 200;
        std::string reason = "OK";  // may be empty: "HTTP/1.1 404 \r\n"
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;  // beside Content-Length
        Behaviour behaviour = Behaviour::Answer;
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path` (which starts with '/').
    std::string Url(const std::string& path) const;

    void Serve(const std::string& path, Response response);
    void ServeBody(const std::string& path, const std::string& body);
    void ServeStatus(const std::string& path, int status, const std::string& reason,
                     const std::string& body = "");
    void Redirect(const std::string& path, const std::string& location, int status = 302);
    void Hang(const std::string& path);
    void CloseHalfway(const std::string& path, const std::string& body);

    // Requests received for `path` (query strings count under their path).
    int Requests(const std::string& path) const;
    // The head (request line and header lines) of the latest request for `path`.
    std::string LastRequestHead(const std::string& path) const;

  private:
    void AcceptLoop();
    void HandleConnection(int fd);
    Response ResponseFor(const std::string& path);

    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Response> responses_;
    std::map<std::string, int> requests_;
    std::map<std::string, std::string> lastHeads_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

}  // namespace tvk::test
