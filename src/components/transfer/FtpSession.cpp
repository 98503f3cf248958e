#include "components/transfer/FtpSession.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/ServiceError.h"
#include "components/transfer/CurlTransferSupport.h"

namespace tvk {

namespace {

CURL* Handle(void* curl) { return static_cast<CURL*>(curl); }

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
    : curl_(nullptr), host_(host) {
    curl_support::InitialiseCurlOnce();
    curl_ = curl_easy_init();
    if (curl_ == nullptr) throw ServiceError(CURLE_FAILED_INIT, "Cannot start libcurl");
    CURL* curl = Handle(curl_);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_);
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(stallTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_FTP_CREATE_MISSING_DIRS,
                     static_cast<long>(CURLFTP_CREATE_DIR_RETRY));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // The log host is named in the settings; a proxy for the web does not apply.
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");

    // Log in without transferring anything.
    std::string root = "ftp://" + host_ + "/";
    curl_easy_setopt(curl, CURLOPT_URL, root.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    try {
        Perform();
    } catch (...) {
        curl_easy_cleanup(curl);
        throw;
    }
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
}

FtpSession::~FtpSession() { curl_easy_cleanup(Handle(curl_)); }

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
    std::FILE* file = std::fopen(localPath.c_str(), "rb");
    if (file == nullptr) throw ErrnoError(errno, "Cannot open " + localPath);
    CURL* curl = Handle(curl_);
    std::error_code ec;
    auto size = std::filesystem::file_size(localPath, ec);
    std::string url =
        UploadUrl(host_, folder, std::filesystem::path(localPath).filename().string());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READDATA, file);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(ec ? 0 : size));
    try {
        Perform();
    } catch (...) {
        std::fclose(file);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
        throw;
    }
    std::fclose(file);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
}

void FtpSession::Perform() {
    error_[0] = '\0';
    CURLcode code = curl_easy_perform(Handle(curl_));
    if (code != CURLE_OK) throw ServiceError(code, curl_support::CurlFailure(code, error_));
}

}  // namespace tvk
