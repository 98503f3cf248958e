#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Sockets.h"

namespace tvk::test {

// A small HTTP/1.1 server on 127.0.0.1 for tests, on a port the kernel picks.
// Each connection carries one request and is closed after the answer. What a
// path answers can be changed between requests; unknown paths get 404. Every
// wait on a socket is bounded, and the destructor stops and joins all threads.
// For downloads it can generate large bodies piece by piece, answer ranges,
// and break the connection in the ways real lines do.
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

        // For large bodies: >= 0 makes the body Pattern(0, generatedLength),
        // produced while sending instead of held in memory (`body` is unused).
        int64_t generatedLength = -1;
        // Answer "Range: bytes=N-" (and N-M) with 206 and Content-Range, or 416.
        bool ranges = false;
        // Faults of the body, counted in bytes of this response's body, for
        // the first `faultyRequests` requests of the path (-1: all of them).
        int64_t dropAfter = -1;      // close the connection after this many
        int64_t stallAfter = -1;     // send nothing more, keep the connection open
        int64_t announceExtra = 0;   // Content-Length claims this many more than sent
        bool withoutLength = false;  // no Content-Length: only the close ends the body
        int faultyRequests = -1;
        // A pause after each 64 KiB piece, for transfers that take a while.
        std::chrono::milliseconds pace{0};
    };

    // The generated body: a deterministic byte sequence without a short
    // period, so that a piece written at a wrong offset shows.
    static std::string Pattern(int64_t offset, size_t length);
    // A response that serves Pattern(0, length), with range support.
    static Response Generated(int64_t length);

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path` (which starts with '/').
    std::string Url(const std::string& path) const;

    void Serve(const std::string& path, Response response);
    void ServeBody(const std::string& path, const std::string& body);
    // The body and its signature by the build's release key beside it.
    void ServeSigned(const std::string& path, const std::string& body, int build = 0);
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
    void HandleConnection(Socket fd);
    void SendAnswer(Socket fd, const Response& response, const std::string& method,
                    const std::string& head, int requestNumber);
    Response ResponseFor(const std::string& path);

    Socket listener_ = kNoSocket;
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
