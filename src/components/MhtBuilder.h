#pragma once

#include <memory>
#include <string>

#include "components/MailMessage.h"

namespace tvk {

// Turns an HTML page on disk into mail content.
//
// The page file is read as Windows-1252, as the service writes its pages,
// unless it starts with a UTF-8 byte-order mark or declares UTF-8 in a meta
// tag; the content is UTF-8, and a charset declared in the page is changed to
// say so. Pictures and style sheets the page refers to (by a relative path or
// a file: URL) are packed beside the page when the file lies in the page's
// folder or below it; the page then refers to them by Content-ID. Files
// outside that folder, other kinds of file and web addresses are left as they
// are, so that a page can never carry arbitrary local files out by mail.
class MhtBuilder {
  public:
    virtual ~MhtBuilder() = default;

    // A new message whose body is the page (HTML with a plain-text
    // alternative, pictures as related parts). Throws ServiceError when the
    // page cannot be read.
    virtual std::unique_ptr<MailMessage> HtmlFileToMessage(const std::string& htmlPath) = 0;

    // Writes the page as an MHT file (MIME multipart/related, the page first)
    // and returns the number of parts packed with it.
    virtual int HtmlFileToMhtFile(const std::string& htmlPath, const std::string& mhtPath) = 0;
};

std::unique_ptr<MhtBuilder> CreateMhtBuilder();

}  // namespace tvk
