#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Sockets.h"

namespace tvk::test {

// A bare SMTP server on 127.0.0.1 that takes every command and then refuses
// the message itself: at the DATA command, or after the whole message has
// been sent (as a content filter or a size limit does). It offers no AUTH, so
// clients send without logging in. Every wait is bounded; the destructor
// stops and joins the thread.
class FaultSmtpServer {
  public:
    enum class RefuseAt { DataCommand, EndOfMessage };

    explicit FaultSmtpServer(RefuseAt refuseAt);
    ~FaultSmtpServer();
    FaultSmtpServer(const FaultSmtpServer&) = delete;
    FaultSmtpServer& operator=(const FaultSmtpServer&) = delete;

    std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }
    // The commands received, one per entry (message lines not included).
    std::vector<std::string> Commands() const;

    static constexpr const char* kRefusal = "554 5.7.1 Message refused by policy";

  private:
    void Serve();
    void Session(Socket fd);

    RefuseAt refuseAt_;
    Socket listener_ = kNoSocket;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::thread thread_;
};

}  // namespace tvk::test
