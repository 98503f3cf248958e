#pragma once

#include <chrono>
#include <string>

#include "components/transfer/CurlSupport.h"

namespace tvk {

// One logged-in FTP connection on libcurl, kept open between uploads.
class FtpSession {
  public:
    // Logs in at once, so that a refused login is reported here and not at
    // the first upload. Throws ServiceError with the CURLcode and its text.
    FtpSession(const std::string& host, const std::string& user, const std::string& password,
               std::chrono::seconds connectTimeout, std::chrono::seconds stallTimeout);
    ~FtpSession();
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // Stores the local file in `folder` under the file's own name. A folder
    // starting with "/" is taken from the server's root, others from the
    // login folder; missing folders are created.
    void PutFile(const std::string& localPath, const std::string& folder);

    // The size of `fileName` in `folder` (SIZE); -1 when there is none, or
    // the server has no SIZE.
    int64_t RemoteFileSize(const std::string& folder, const std::string& fileName);

    // "ftp://host/" followed by the escaped folder and file name.
    static std::string UploadUrl(const std::string& host, const std::string& folder,
                                 const std::string& fileName);

  private:
    void Perform();

    curl_support::EasyHandle curl_;
    std::string host_;
    char error_[256] = {};
};

}  // namespace tvk
