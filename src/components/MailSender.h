#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "components/MailMessage.h"

namespace tvk {

struct MailSenderOptions {
    std::chrono::seconds connect{30};
    // A server that sends nothing for this long has failed.
    std::chrono::seconds stall{60};
    // A file of trusted certificate authorities; empty: the system's own.
    std::string certificateAuthorities;
    // Whether a password may go to a server on this machine that offers no
    // TLS. Nothing sent over loopback leaves the machine.
    bool plainLoginOnLoopback = true;
};

// Sends messages by SMTP.
//
// The server is "host", "host:port", "smtp://host[:port]" or
// "smtps://host[:port]"; the ports default to 25 and 465. With smtp:// the
// connection is upgraded by STARTTLS whenever the server offers it; when the
// upgrade fails, the message is not sent. Certificates are verified.
//
// With a user name the sender logs in (AUTH, the strongest method the server
// offers). The password never crosses the network in clear text: a server
// that offers no TLS is refused, unless the address connected to is this
// machine's loopback (127.0.0.0/8 or ::1, whatever the name) and
// `plainLoginOnLoopback` allows it. The domain, when given, qualifies a user
// name that has none, as Windows mail servers expect: "DOMAIN\user". A user
// name that already holds '\' or '@' is sent as it is.
//
// Every failure is thrown as ServiceError: libcurl's code, its text and the
// server's reply where there is one.
class MailSender {
  public:
    virtual ~MailSender() = default;

    virtual void SetServer(const std::string& server) = 0;
    virtual void SetUserName(const std::string& userName) = 0;
    virtual void SetPassword(const std::string& password) = 0;
    virtual void SetDomain(const std::string& domain) = 0;

    // Returns only when the server has taken the message for delivery, or
    // throws. A message without a sender is not sent. A recipient the server
    // refuses is left out as long as it takes another one. Returns the number
    // of recipients offered to the server.
    virtual int Send(const MailMessage& message) = 0;

    // Sends with the settings this sender holds. This platform has no system
    // mail service to fall back on, so without a server set it fails with
    // ServiceError (InvalidArgument) and says so.
    virtual void SendWithDefaults(const MailMessage& message) = 0;
};

std::unique_ptr<MailSender> CreateMailSender(MailSenderOptions options = {});

// The libcurl address of a server as the settings give it; throws
// ServiceError (InvalidArgument) for one that is not a mail server address.
std::string MailServerUrl(const std::string& server);

}  // namespace tvk
