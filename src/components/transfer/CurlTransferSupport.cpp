#include "components/transfer/CurlTransferSupport.h"

#include <curl/curl.h>

#include <cctype>
#include <charconv>
#include <cstdlib>

#include "common/AsciiText.h"
#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "components/transfer/CurlTransfer.h"
#include "platform/Platform.h"

namespace tvk::curl_support {

void SetHttpBasics(void* handle, const std::string& url, const TransferOptions& options,
                   char* errorBuffer) {
    CURL* curl = static_cast<CURL*>(handle);
    // A descriptor or a redirect must not make the service read file:// or
    // talk any other protocol.
    constexpr const char* kAllowedProtocols = "http,https";
    Set(curl, CURLOPT_URL, url.c_str());
    Set(curl, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
    // What began under TLS stays under TLS: a redirect to http:// would hand
    // the file to anyone on the path.
    const bool secure = LowerCaseText(std::string_view(url).substr(0, 8)) == "https://";
    Set(curl, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : kAllowedProtocols);
    Set(curl, CURLOPT_FOLLOWLOCATION, 1L);
    Set(curl, CURLOPT_MAXREDIRS, 5L);
    Set(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connect.count() * 1000));
    Set(curl, CURLOPT_NOSIGNAL, 1L);
    Set(curl, CURLOPT_USERAGENT, "tvkUpdateService");
    Set(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    if (!options.certificateAuthorities.empty())
        Set(curl, CURLOPT_CAINFO, options.certificateAuthorities.c_str());
    // Schannel fails the handshake when a certificate's revocation server
    // cannot be reached, as behind many proxies; a revoked certificate is
    // still refused. OpenSSL takes no revocation lists here and ignores it.
    Set(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    SetProxy(curl, url);
}

bool ProxyVariablesSet() {
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

void SetProxy(void* handle, const std::string& url) {
    CURL* curl = static_cast<CURL*>(handle);
    bool proxied = ProxyVariablesSet();
    if (!proxied) {
        const platform::SystemProxy system = platform::SystemProxyFor(url);
        if (!system.found) return;
        Set(curl, CURLOPT_PROXY, system.proxy.c_str());  // "": direct
        proxied = !system.proxy.empty();
    }
    // A business proxy asks for the user's Windows sign-in, which libcurl
    // gives through SSPI for an empty user name and password.
    if (!proxied) return;
    Set(curl, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_NEGOTIATE | CURLAUTH_NTLM));
    Set(curl, CURLOPT_PROXYUSERPWD, ":");
}

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::filesystem::path TargetPath(const std::string& folder, const std::string& fileName) {
    std::string base = folder;
    while (base.size() > 1 && (base.back() == '/' || base.back() == '\\')) base.pop_back();
    if (base.empty()) return platform::TextPath(fileName);
    std::filesystem::path target = platform::TextPath(base) / platform::TextPath(fileName);
    std::error_code ec;
    if (std::filesystem::is_symlink(target, ec)) {
        std::filesystem::path resolved = std::filesystem::weakly_canonical(target, ec);
        if (!ec) return resolved;
    }
    return target;
}

bool ParseStatusLine(std::string_view line, long& status, std::string& reason) {
    if (!line.starts_with("HTTP/")) return false;
    size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4) return false;
    long code = 0;
    for (size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        code = code * 10 + (line[i] - '0');
    }
    std::string_view rest = line.substr(space + 4);
    while (!rest.empty() && (rest.back() == '\r' || rest.back() == '\n')) rest.remove_suffix(1);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    status = code;
    reason = std::string(rest);
    return true;
}

std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':' ||
        !StartsWithIgnoringAsciiCase(line, name))
        return std::nullopt;
    std::string_view value = TrimAscii(line.substr(name.size() + 1), kAsciiBlanks);
    return TrimAscii(value);
}

void BodyFraming::Take(std::string_view headerLine) {
    if (auto length = HeaderValue(headerLine, "content-length")) {
        int64_t value = -1;
        auto [end, ec] = std::from_chars(length->data(), length->data() + length->size(), value);
        contentLength = ec == std::errc() && end == length->data() + length->size() ? value : -1;
    } else if (auto coding = HeaderValue(headerLine, "transfer-encoding")) {
        chunked = LowerCaseText(*coding).find("chunked") != std::string::npos;
    }
}

bool BodyFraming::EndsAtClose(void* curl) const {
    long version = CURL_HTTP_VERSION_NONE;
    curl_easy_getinfo(static_cast<CURL*>(curl), CURLINFO_HTTP_VERSION, &version);
    // HTTP/2 and later frame every body; a cut stream is an error there.
    bool framedByProtocol = version >= CURL_HTTP_VERSION_2_0;
    return !framedByProtocol && contentLength < 0 && !chunked;
}

}  // namespace tvk::curl_support
