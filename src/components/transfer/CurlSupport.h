#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

#include "common/ServiceError.h"
#include "components/TransferError.h"

// How every transfer drives libcurl, HTTP, FTP and SMTP alike. The bodies
// live in the core, which the mail module links, so there is one libcurl
// initialisation in the process.
namespace tvk::curl_support {

// One setting of an easy handle; libcurl's refusal is a ServiceError with its
// number and text.
template <class T>
void Set(CURL* curl, CURLoption option, T value) {
    const CURLcode rc = curl_easy_setopt(curl, option, value);
    if (rc != CURLE_OK) throw ServiceError(rc, curl_easy_strerror(rc));
}

// Owners of libcurl's handles. (CURL and CURLM are both void, hence a deleter
// each.)
struct EasyDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using StringList = std::unique_ptr<curl_slist, ListDeleter>;

// Once per process and only when a transfer really starts: a run that ends
// before fetching anything never loads the TLS and resolver machinery.
// Throws ServiceError when libcurl cannot start.
void InitialiseCurlOnce();

// A fresh easy handle, libcurl initialised first. Throws ServiceError.
EasyHandle NewEasyHandle();

// Adds `text` at the end of `list`. Throws ServiceError when out of memory.
void Append(StringList& list, const std::string& text);

// libcurl's text for a failure, with the detail of its error buffer.
std::string CurlFailure(int code, const char* detail);

// What a failure means for the user: a libcurl code, an HTTP status of 400
// or more, the error of a failed write of the local file (an errno; on
// Windows, Windows' own number).
TransferCause CauseOfCurlCode(int code);
TransferCause CauseOfHttpStatus(long status);
TransferCause CauseOfFileError(int err);

// The host of a URL ("update.example.com", "127.0.0.1"); empty when the URL
// cannot be read.
std::string HostOf(const std::string& url);

// The path and query of a URL as the request line carries it ("/a/b?x").
std::string RequestTarget(const std::string& url);

// What an HTTP error response is called: the reason phrase it came with, or
// where it had none (HTTP/2 has no phrase) the standard phrase of its status;
// empty for a status without one.
std::string ReasonOrStandardPhrase(long status, const std::string& reason);

}  // namespace tvk::curl_support
