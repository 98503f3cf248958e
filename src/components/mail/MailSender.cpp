#include "components/MailSender.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/AsciiText.h"
#include "common/ServiceError.h"
#include "components/transfer/CurlSupport.h"

namespace tvk {

namespace {

using namespace curl_support;

// Whether the numeric address libcurl connected to (never a name, which
// anyone can make start with "127.") is this machine's loopback: 127.0.0.0/8
// or ::1, also written as an IPv4-mapped IPv6 address.
bool IsLoopbackAddress(std::string address) {
    address = AsciiLowerCopy(address);
    if (address.rfind("::ffff:", 0) == 0) address.erase(0, 7);
    return address == "::1" || address.rfind("127.", 0) == 0;
}

// libcurl hands the message out in pieces as the server takes it.
struct Upload {
    const std::string* data;
    size_t sent = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* userData) {
    auto* upload = static_cast<Upload*>(userData);
    const size_t n = std::min(size * count, upload->data->size() - upload->sent);
    std::memcpy(buffer, upload->data->data() + upload->sent, n);
    upload->sent += n;
    return n;
}

// The server's latest reply line, for failures that libcurl reports without
// it. Only what comes in is looked at: what goes out may hold the password.
int KeepServerReply(CURL*, curl_infotype type, char* data, size_t size, void* userData) {
    if (type != CURLINFO_HEADER_IN) return 0;
    std::string line(data, size);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (!line.empty()) *static_cast<std::string*>(userData) = line;
    return 0;
}

class CurlMailSender : public MailSender {
  public:
    explicit CurlMailSender(MailSenderOptions options) : options_(std::move(options)) {}

    void SetServer(const std::string& server) override { server_ = server; }
    void SetUserName(const std::string& userName) override { userName_ = userName; }
    void SetPassword(const std::string& password) override { password_ = password; }
    void SetDomain(const std::string& domain) override { domain_ = domain; }

    int Send(const MailMessage& message) override {
        const std::string url = MailServerUrl(server_);
        // A mail without a sender would leave with no From line.
        if (message.Sender().empty())
            throw ServiceError(ErrorNumber::InvalidArgument, "The message has no valid sender");
        const std::string mime = message.ToMime();
        const std::vector<std::string> recipients = message.EnvelopeRecipients();
        if (url.rfind("smtps://", 0) == 0) {
            ThrowIfFailed(Transfer(url, message.Sender(), recipients, mime, CURLUSESSL_ALL, {}));
            return static_cast<int>(recipients.size());
        }
        // TLS is demanded first, so that a server that offers STARTTLS and
        // then refuses or botches it gets nothing. Only a server that does
        // not offer it at all is tried again without.
        Outcome first = Transfer(url, message.Sender(), recipients, mime, CURLUSESSL_ALL, {});
        if (first.code == CURLE_OK) return static_cast<int>(recipients.size());
        const bool noTlsOffered = first.code == CURLE_USE_SSL_FAILED &&
                                  first.error.rfind("STARTTLS not supported", 0) == 0;
        if (!noTlsOffered) ThrowIfFailed(first);
        if (!userName_.empty() &&
            !(options_.plainLoginOnLoopback && IsLoopbackAddress(first.connectedTo)))
            throw ServiceError(first.code,
                               std::string(curl_easy_strerror(first.code)) +
                                   ": the mail server offers no encryption, and the password "
                                   "is not sent in clear text");
        // The second attempt goes to the very address judged above, not to
        // whatever the name resolves to by now.
        ThrowIfFailed(Transfer(url, message.Sender(), recipients, mime, CURLUSESSL_NONE, first));
        return static_cast<int>(recipients.size());
    }

    void SendWithDefaults(const MailMessage& message) override {
        if (server_.empty())
            throw ServiceError(ErrorNumber::InvalidArgument,
                               "No mail server is set, and this system has no default mail "
                               "service to send through");
        Send(message);
    }

  private:
    struct Outcome {
        CURLcode code = CURLE_OK;
        std::string error;        // libcurl's detail
        std::string serverReply;  // the server's latest reply line
        std::string connectedTo;  // the numeric address reached; "" when none
        long port = 0;
    };

    // Throws the failure of an outcome, if any.
    static void ThrowIfFailed(const Outcome& outcome) {
        if (outcome.code == CURLE_OK) return;
        std::string text = curl_easy_strerror(outcome.code);
        if (!outcome.error.empty() && outcome.error != text) text += ": " + outcome.error;
        if (!outcome.serverReply.empty() && text.find(outcome.serverReply) == std::string::npos)
            text += " (server: " + outcome.serverReply + ")";
        throw ServiceError(outcome.code, text);
    }

    std::string LoginName() const {
        if (domain_.empty() || userName_.find_first_of("\\@") != std::string::npos)
            return userName_;
        return domain_ + "\\" + userName_;
    }

    // Throws only when libcurl cannot be set up; the transfer's own failure
    // comes back in the outcome. With `sameAs` connected, the transfer
    // connects to that address and port only.
    Outcome Transfer(const std::string& url, const std::string& sender,
                     const std::vector<std::string>& recipients, const std::string& mime,
                     curl_usessl tls, const Outcome& sameAs) {
        EasyHandle curl = NewEasyHandle();
        StringList rcpt;
        for (const std::string& address : recipients) Append(rcpt, "<" + address + ">");
        Upload upload{&mime};
        Outcome outcome;
        char error[CURL_ERROR_SIZE] = "";
        CURL* c = curl.get();
        Set(c, CURLOPT_ERRORBUFFER, error);
        Set(c, CURLOPT_DEBUGFUNCTION, KeepServerReply);
        Set(c, CURLOPT_DEBUGDATA, &outcome.serverReply);
        Set(c, CURLOPT_VERBOSE, 1L);
        Set(c, CURLOPT_URL, url.c_str());
        Set(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
        Set(c, CURLOPT_NOSIGNAL, 1L);
        // Mail goes straight to the customer's server, never through a proxy
        // that the environment might name for web traffic.
        Set(c, CURLOPT_PROXY, "");
        Set(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(options_.connect.count()));
        Set(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(options_.stall.count()));
        Set(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        Set(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options_.stall.count()));
        Set(c, CURLOPT_USE_SSL, static_cast<long>(tls));
        // Schannel: an unreachable revocation server does not fail the handshake.
        Set(c, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
        if (!options_.certificateAuthorities.empty())
            Set(c, CURLOPT_CAINFO, options_.certificateAuthorities.c_str());
        const std::string login = LoginName();
        if (!userName_.empty()) {
            Set(c, CURLOPT_USERNAME, login.c_str());
            Set(c, CURLOPT_PASSWORD, password_.c_str());
        }
        StringList pin;
        if (!sameAs.connectedTo.empty()) {
            const bool v6 = sameAs.connectedTo.find(':') != std::string::npos;
            const std::string target = v6 ? "[" + sameAs.connectedTo + "]" : sameAs.connectedTo;
            Append(pin, "::" + target + ":" + std::to_string(sameAs.port));
            Set(c, CURLOPT_CONNECT_TO, pin.get());
        }
        const std::string from = "<" + sender + ">";
        Set(c, CURLOPT_MAIL_FROM, from.c_str());
        Set(c, CURLOPT_MAIL_RCPT, rcpt.get());
        // One address the server refuses must not cost the others their mail.
        Set(c, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
        Set(c, CURLOPT_UPLOAD, 1L);
        Set(c, CURLOPT_READFUNCTION, ReadUpload);
        Set(c, CURLOPT_READDATA, &upload);
        Set(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(mime.size()));
        outcome.code = curl_easy_perform(c);
        outcome.error = error;
        const char* address = nullptr;
        if (curl_easy_getinfo(c, CURLINFO_PRIMARY_IP, &address) == CURLE_OK && address)
            outcome.connectedTo = address;
        curl_easy_getinfo(c, CURLINFO_PRIMARY_PORT, &outcome.port);
        while (!outcome.error.empty() &&
               (outcome.error.back() == '\n' || outcome.error.back() == '\r'))
            outcome.error.pop_back();
        return outcome;
    }

    MailSenderOptions options_;
    std::string server_;
    std::string userName_;
    std::string password_;
    std::string domain_;
};

}  // namespace

std::string MailServerUrl(const std::string& server) {
    const size_t first = server.find_first_not_of(" \t");
    const size_t last = server.find_last_not_of(" \t");
    std::string text = first == std::string::npos ? "" : server.substr(first, last - first + 1);
    std::string scheme = "smtp://";
    const size_t separator = text.find("://");
    if (separator != std::string::npos) {
        scheme = AsciiLowerCopy(text.substr(0, separator + 3));
        text.erase(0, separator + 3);
    }
    if (!text.empty() && text.back() == '/') text.pop_back();
    const bool badScheme = scheme != "smtp://" && scheme != "smtps://";
    const bool badHost =
        text.empty() || std::any_of(text.begin(), text.end(), [](char c) {
            return static_cast<unsigned char>(c) <= 0x20 || std::strchr("/?#@\\", c) != nullptr;
        });
    if (badScheme || badHost)
        throw ServiceError(ErrorNumber::InvalidArgument,
                           "Not a mail server address: \"" + server + "\"");
    return scheme + text;
}

std::unique_ptr<MailSender> CreateMailSender(MailSenderOptions options) {
    return std::make_unique<CurlMailSender>(std::move(options));
}

}  // namespace tvk
