#include "components/transfer/FtpSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "common/ServiceError.h"
#include "components/transfer/CurlTransferSupport.h"
#include "platform/Platform.h"

namespace tvk {

namespace {

// libcurl's read callback over the bytes of a string, consumed from its front.
size_t ReadFromMemory(char* buffer, size_t size, size_t count, void* data) {
    auto* bytes = static_cast<std::string*>(data);
    const size_t n = std::min(size * count, bytes->size());
    bytes->copy(buffer, n);
    bytes->erase(0, n);
    return n;
}

using curl_support::Set;

// Nothing is downloaded; what libcurl hands over as the answer to SIZE
// ("Content-Length: …") would otherwise land on standard output.
size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

std::string Escaped(const std::string& segment) {
    char* escaped = curl_easy_escape(nullptr, segment.c_str(), static_cast<int>(segment.size()));
    if (escaped == nullptr) throw ServiceError(CURLE_OUT_OF_MEMORY, "Out of memory");
    std::string text = escaped;
    curl_free(escaped);
    return text;
}

}  // namespace

FtpSession::FtpSession(const std::string& host, const std::string& user,
                       const std::string& password, std::chrono::seconds connectTimeout,
                       std::chrono::seconds stallTimeout)
    : host_(host) {
    curl_support::InitialiseCurlOnce();
    curl_.reset(curl_easy_init());
    if (!curl_) throw ServiceError(CURLE_FAILED_INIT, "Cannot start libcurl");
    CURL* curl = curl_.get();
    Set(curl, CURLOPT_ERRORBUFFER, error_);
    Set(curl, CURLOPT_USERNAME, user.c_str());
    Set(curl, CURLOPT_PASSWORD, password.c_str());
    Set(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    Set(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(connectTimeout.count()));
    Set(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    Set(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(stallTimeout.count()));
    Set(curl, CURLOPT_FTP_CREATE_MISSING_DIRS, static_cast<long>(CURLFTP_CREATE_DIR_RETRY));
    Set(curl, CURLOPT_WRITEFUNCTION, Discard);
    Set(curl, CURLOPT_NOSIGNAL, 1L);
    // The log host is named in the settings; a proxy for the web does not apply.
    Set(curl, CURLOPT_NOPROXY, "*");
    Set(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));

    // Log in without transferring anything.
    std::string root = "ftp://" + host_ + "/";
    Set(curl, CURLOPT_URL, root.c_str());
    Set(curl, CURLOPT_NOBODY, 1L);
    Perform();
    Set(curl, CURLOPT_NOBODY, 0L);
}

FtpSession::~FtpSession() = default;

std::string FtpSession::UploadUrl(const std::string& host, const std::string& folder,
                                  const std::string& fileName) {
    // "%2F" makes libcurl start from the server's root instead of the login folder.
    std::string url = "ftp://" + host + (folder.starts_with('/') ? "/%2F" : "/");
    size_t from = 0;
    while (from <= folder.size()) {
        size_t slash = folder.find('/', from);
        std::string segment =
            folder.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
        if (!segment.empty()) url += Escaped(segment) + "/";
        if (slash == std::string::npos) break;
        from = slash + 1;
    }
    return url + Escaped(fileName);
}

void FtpSession::PutFile(const std::string& localPath, const std::string& folder) {
    // The report is one line: it is sent from memory, so the file is opened
    // by the platform layer, which names files the same way on every system.
    std::string bytes;
    if (!platform::ReadFile(platform::TextPath(localPath), bytes))
        throw ErrnoError(ENOENT, "Cannot open " + localPath);
    CURL* curl = curl_.get();
    std::string url =
        UploadUrl(host_, folder, platform::PathText(platform::TextPath(localPath).filename()));
    // The handle is kept for the next upload, so it goes back to plain
    // transfers whatever happens; on failure that is a last effort, since the
    // upload's own failure is the one to report.
    try {
        Set(curl, CURLOPT_URL, url.c_str());
        Set(curl, CURLOPT_UPLOAD, 1L);
        Set(curl, CURLOPT_READFUNCTION, ReadFromMemory);
        Set(curl, CURLOPT_READDATA, &bytes);
        Set(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(bytes.size()));
        Perform();
    } catch (...) {
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
        throw;
    }
    Set(curl, CURLOPT_UPLOAD, 0L);
}

int64_t FtpSession::RemoteFileSize(const std::string& folder, const std::string& fileName) {
    CURL* curl = curl_.get();
    std::string url = UploadUrl(host_, folder, fileName);
    Set(curl, CURLOPT_URL, url.c_str());
    Set(curl, CURLOPT_NOBODY, 1L);
    error_[0] = '\0';
    const CURLcode code = curl_easy_perform(curl);
    Set(curl, CURLOPT_NOBODY, 0L);
    // libcurl's answer to SIZE's 550; the connection stays usable.
    if (code == CURLE_REMOTE_FILE_NOT_FOUND) return -1;
    if (code != CURLE_OK) throw ServiceError(code, curl_support::CurlFailure(code, error_));
    curl_off_t size = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
    return size;
}

void FtpSession::Perform() {
    error_[0] = '\0';
    CURLcode code = curl_easy_perform(curl_.get());
    if (code != CURLE_OK) throw ServiceError(code, curl_support::CurlFailure(code, error_));
}

}  // namespace tvk
