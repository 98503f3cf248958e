#include "notify/mSendEpost.h"

#include <exception>

#include "common/ServiceError.h"
#include "common/TextSplit.h"
#include "notify/MessageText.h"
#include "platform/Module.h"
#include "platform/Platform.h"
#include "update/TempFiles.h"

namespace tvk {

namespace {

// Each step of a mail is tried on its own: a step that fails is noted and
// skipped, and the mail goes on with the next one.
class Steps {
  public:
    template <class Step>
    void Try(Step&& step) {
        try {
            step();
        } catch (const std::exception& failure) {
            last_ = DescribeFailure(failure);
        } catch (...) {
            last_ = "-1 - Unknown failure";
        }
    }
    void Forget() { last_.clear(); }
    const std::string& LastFailure() const { return last_; }

  private:
    std::string last_;
};

// A body text counts when, without blanks at its ends, it is not empty and
// does not start with "0" (the callers' way of saying "no text").
std::string BodyByRule(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos || text[first] == '0') return {};
    return text;
}

// The browser's page as a file: a link line per style sheet, then the body.
std::string WriteViewToFile(const HtmlDocumentView& view) {
    std::string text;
    const int count = view.StyleSheetCount();
    for (int i = 0; i < count; ++i)
        text += ReplacePlaceholders("<link href=\"@1\" rel=\"stylesheet\" type=\"text/css\">",
                                    {view.StyleSheetHref(i)}) +
                "\r\n";
    text += view.BodyOuterHtml();
    return WriteTempFile(text, "");
}

void DeleteFile(const std::string& path) {
    if (const int err = platform::RemoveFile(platform::TextPath(path)))
        throw ServiceError(err, "Cannot delete " + path);
}

void AddBody(const EmailRequest& r, MailComponents& c, Steps& steps) {
    const bool htmlMode = r.browserView != nullptr || !r.htmlFilePath.empty();
    if (!htmlMode) {
        steps.Try([&] { c.message->SetBodyText(BodyByRule(r.bodyText)); });
        if (r.attachmentPath.empty()) return;
        steps.Try([&] { c.message->AddAttachment(r.attachmentPath); });
        if (!r.attachmentText.empty())
            steps.Try([&] { c.message->SetAttachmentText(0, r.attachmentText); });
        return;
    }
    std::string htmlFile = r.htmlFilePath;
    if (htmlFile.empty()) steps.Try([&] { htmlFile = WriteViewToFile(*r.browserView); });
    if (r.attachPageAsMht == 0) {
        steps.Try([&] {
            std::unique_ptr<MailMessage> page = c.builder->HtmlFileToMessage(htmlFile);
            if (!page)
                throw ServiceError(ErrorNumber::InvalidArgument, "No message made of " + htmlFile);
            c.message = std::move(page);
        });
    } else {
        steps.Try([&] { c.message->SetBodyText(BodyByRule(r.bodyText)); });
        std::string mhtFile;
        steps.Try([&] { mhtFile = GetTempFileName("mht"); });
        steps.Try([&] { c.builder->HtmlFileToMhtFile(htmlFile, mhtFile); });
        steps.Try([&] { c.message->AddAttachment(mhtFile); });
        if (!r.attachmentText.empty())
            steps.Try([&] { c.message->SetAttachmentText(1, r.attachmentText); });
        if (!mhtFile.empty()) steps.Try([&] { DeleteFile(mhtFile); });
    }
    if (!htmlFile.empty()) steps.Try([&] { DeleteFile(htmlFile); });
}

void AddRecipients(const EmailRequest& r, MailMessage& message, Steps& steps) {
    const std::vector<std::string> to = SplitAddressList(r.sendTo);
    for (size_t i = 0; i < to.size(); ++i) {
        if (i == 0)
            steps.Try([&] { message.AddRecipient("", to[i]); });
        else
            steps.Try([&] { message.AddCopyRecipient("", to[i]); });
    }
    if (r.copyTo.empty()) return;
    for (const std::string& piece : SplitAddressList(r.copyTo))
        steps.Try([&] { message.AddCopyRecipient("", piece); });
}

void Deliver(const EmailRequest& r, MailComponents& c, Steps& steps) {
    MailSender& sender = *c.sender;
    if (r.useServer != 0) {
        steps.Try([&] { sender.SetServer(r.mailServer); });
        steps.Try([&] { sender.SetUserName(r.userName); });
        steps.Try([&] { sender.SetPassword(r.password); });
        steps.Try([&] { sender.SetDomain(r.domain); });
        steps.Try([&] { sender.Send(*c.message); });
    } else {
        steps.Try([&] { sender.SendWithDefaults(*c.message); });
    }
}

}  // namespace

std::vector<std::string> SplitAddressList(const std::string& list) {
    std::vector<std::string> pieces = SplitAt(list, ',');
    return pieces.size() == 1 ? SplitAt(list, ';') : pieces;
}

MailComponents CreateMailComponents() {
    static const platform::Module module =
        platform::Module::Load(platform::ProgramFolder(), kMailModule);
    return module.Entry<MailModuleEntry>(kMailEntry)();
}

std::string SendEmail(const EmailRequest& request, const MailComponentFactory& createComponents) {
    MailComponents components = createComponents();
    if (!components.builder || !components.sender || !components.message)
        throw ServiceError(ErrorNumber::InvalidArgument,
                           "The mail components could not be created");

    Steps steps;
    AddBody(request, components, steps);
    AddRecipients(request, *components.message, steps);
    steps.Try([&] { components.message->SetSubject(request.subject); });
    steps.Try([&] { components.message->SetSender(request.senderAddress); });
    // Only the delivery decides the result.
    steps.Forget();
    Deliver(request, components, steps);
    return steps.LastFailure();
}

std::string SendEmail(const std::string& sendTo, const std::string& subject,
                      const std::string& bodyText, int32_t attachPageAsMht, int32_t useServer,
                      const HtmlDocumentView* browserView, const std::string& attachmentPath,
                      const std::string& mailServer, const std::string& userName,
                      const std::string& password, const std::string& domain,
                      const std::string& senderAddress, const std::string& copyTo,
                      const std::string& attachmentText, const std::string& htmlFilePath) {
    return SendEmail(EmailRequest{sendTo, subject, bodyText, attachPageAsMht, useServer,
                                  browserView, attachmentPath, mailServer, userName, password,
                                  domain, senderAddress, copyTo, attachmentText, htmlFilePath});
}

}  // namespace tvk
