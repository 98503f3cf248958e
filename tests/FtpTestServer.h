#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "PythonServer.h"
#include "TestSupport.h"

namespace tvk::test {

struct FtpServerOptions {
    // The one account the server knows.
    std::string user = "ftpuser";
    std::string password = "r7TqW2";
    // pyftpdlib's permission letters: "elr" may only read, "elradfmwMT" may
    // also make folders and store files.
    std::string permissions = "elradfmwMT";
};

// A pyftpdlib server on 127.0.0.1 in a child process, on a free port, with
// the account's home in a temp folder. Every login and every stored file is
// written to an event list. The destructor stops the server by its pid.
class FtpTestServer {
  public:
    explicit FtpTestServer(FtpServerOptions options = {});
    ~FtpTestServer();
    FtpTestServer(const FtpTestServer&) = delete;
    FtpTestServer& operator=(const FtpTestServer&) = delete;

    uint16_t Port() const { return server_->Port(); }
    std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(Port()); }

    // The account's home on disk: "/velkor/log" on the server is
    // Home() / "velkor/log".
    const std::filesystem::path& Home() const { return home_; }
    // Every regular file under the home, as server paths ("/velkor/log/x"),
    // sorted.
    std::vector<std::string> Files() const;

    // "login <user> ok", "login <user> refused", "stored <server path>",
    // "incomplete <server path>", in order. The server notes an event right
    // after it has answered, so a test that needs one waits for it.
    std::vector<std::string> Events() const;
    // Waits (bounded) until an event starting with `prefix` is noted.
    bool WaitForEvent(const std::string& prefix,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

  private:
    TempFolder folder_;
    std::filesystem::path home_;
    std::unique_ptr<PythonServer> server_;
};

}  // namespace tvk::test
