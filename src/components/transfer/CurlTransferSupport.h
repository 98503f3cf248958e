#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "components/transfer/CurlSupport.h"

namespace tvk {
struct TransferOptions;
}

// Helpers shared by the synchronous and the asynchronous fetch of CurlTransfer.
namespace tvk::curl_support {

// The settings every HTTP fetch shares: the URL, http and https only (also
// after redirects), at most five redirects, the connect time-out, no signals,
// the user agent, the error buffer and the trusted certificates. `curl` is a
// libcurl easy handle. Throws ServiceError when libcurl refuses one.
void SetHttpBasics(void* curl, const std::string& url, const TransferOptions& options,
                   char* errorBuffer);

// The proxy of an HTTP fetch: the proxy variables, when any is set, as
// libcurl reads them; otherwise the one the user's Windows settings name for
// the URL. A proxy is signed in to with the user's own Windows sign-in.
bool ProxyVariablesSet();
void SetProxy(void* curl, const std::string& url);

// The name comes from the caller, but a name that reaches into another folder
// would let a fetch write anywhere; only a plain name is taken.
bool IsPlainFileName(const std::string& name);

// The folder comes with or without a trailing separator ('\' from callers
// written for Windows paths). A link an administrator set up stays a link.
std::filesystem::path TargetPath(const std::string& folder, const std::string& fileName);

// "HTTP/1.1 404 Not Found\r\n" -> 404, "Not Found". Every response of a
// redirect chain starts with such a line, so the last one describes the body.
bool ParseStatusLine(std::string_view line, long& status, std::string& reason);

// The value of header `name` (in lower case) when `line` is that header.
std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name);

// How the end of a response body is known, from the header lines of the
// response.
struct BodyFraming {
    int64_t contentLength = -1;
    bool chunked = false;

    void Take(std::string_view headerLine);
    // The body ended only because the server closed the connection (HTTP/1
    // without a length or chunks), so that a cut cannot be told from the
    // end. `curl` is the easy handle of the finished response.
    bool EndsAtClose(void* curl) const;
};
inline constexpr const char* kEndedByClose =
    "The server closed the connection without announcing the length of the file, so it may be "
    "incomplete";

}  // namespace tvk::curl_support
