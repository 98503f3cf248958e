#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PythonServer.h"
#include "Sockets.h"
#include "TestSupport.h"

namespace tvk::test {

struct SmtpServerOptions {
    // With a user name the server offers AUTH (PLAIN, LOGIN) also without TLS
    // and takes only this user and password.
    std::string userName;
    std::string password;
    bool startTls = false;  // offer STARTTLS with a fresh self-signed certificate for 127.0.0.1
    std::string host = "127.0.0.1";  // the address it listens on
};

// What the server took: the raw message and its envelope.
struct ReceivedMail {
    std::string raw;
    std::string mailFrom;
    std::vector<std::string> recipients;
    std::string login;  // the user who logged in; "" when nobody did
    bool tls = false;   // whether the session ran over TLS
};

// An aiosmtpd server on 127.0.0.1 in a child process, on a free port. It
// keeps every message it takes in its folder and refuses recipients whose
// address starts with "refused". The destructor stops it.
class SmtpTestServer {
  public:
    explicit SmtpTestServer(SmtpServerOptions options = {});
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    uint16_t Port() const { return server_->Port(); }
    std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(Port()); }
    // The certificate to trust when STARTTLS is on.
    std::string CertificateFile() const { return (folder_ / "cert.pem").string(); }

    // The messages taken so far, in order.
    std::vector<ReceivedMail> Messages() const;
    // "<mechanism> <login> <ok|refused>" per login attempt.
    std::vector<std::string> LoginAttempts() const;

  private:
    TempFolder folder_;
    std::unique_ptr<PythonServer> server_;
};

}  // namespace tvk::test
