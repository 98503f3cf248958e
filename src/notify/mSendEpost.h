#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "components/MailComponents.h"

namespace tvk {

// The page shown in a browser view, as far as a mail needs it.
class HtmlDocumentView {
  public:
    virtual ~HtmlDocumentView() = default;
    virtual int StyleSheetCount() const = 0;
    virtual std::string StyleSheetHref(int index) const = 0;  // 0-based
    virtual std::string BodyOuterHtml() const = 0;
};

// Makes the components; throws when they cannot be made.
using MailComponentFactory = std::function<MailComponents()>;

// The components of the mail module, which is loaded on the first call.
MailComponents CreateMailComponents();

// The arguments of SendEmail, in their order.
struct EmailRequest {
    std::string sendTo;  // addresses separated by "," or ";"
    std::string subject;
    std::string bodyText;         // used where no HTML body is made
    int32_t attachPageAsMht = 0;  // 0: the page is the body; else: attached as MHT
    int32_t useServer = 0;        // else: the sender's own settings
    const HtmlDocumentView* browserView = nullptr;
    std::string attachmentPath;  // only without HTML
    std::string mailServer;
    std::string userName;
    std::string password;
    std::string domain;
    std::string senderAddress;
    std::string copyTo;  // addresses separated by "," or ";"
    std::string attachmentText;
    std::string htmlFilePath;  // deleted afterwards
};

// Builds and sends one e-mail. Returns "" when the delivery raised no failure,
// otherwise "<number> - <description>" of the last failure of the delivery.
// Every other step that fails is skipped. Only a failure to make the
// components is thrown to the caller. The HTML file (given or made from the
// browser view) is deleted in every case.
std::string SendEmail(const EmailRequest& request,
                      const MailComponentFactory& createComponents = CreateMailComponents);

std::string SendEmail(const std::string& sendTo, const std::string& subject,
                      const std::string& bodyText, int32_t attachPageAsMht, int32_t useServer,
                      const HtmlDocumentView* browserView, const std::string& attachmentPath,
                      const std::string& mailServer, const std::string& userName,
                      const std::string& password, const std::string& domain,
                      const std::string& senderAddress, const std::string& copyTo,
                      const std::string& attachmentText, const std::string& htmlFilePath);

// A recipient list split as SendEmail splits it: at every ","; when that
// gives one piece, at every ";" instead. Pieces are kept as they are, empty
// ones included.
std::vector<std::string> SplitAddressList(const std::string& list);

}  // namespace tvk
