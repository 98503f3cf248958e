#include "components/MailMessage.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <vmime/vmime.hpp>

#include "common/AsciiText.h"
#include "common/ServiceError.h"
#include "platform/Platform.h"

namespace tvk {

namespace {

// Characters that end or split an address in a header or an SMTP command.
constexpr std::string_view kAddressSpecials = "<>()[],;:\"\\";

bool HasLineBreak(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::string TrimBlanks(const std::string& text) {
    return std::string(TrimAscii(text, kAsciiBlanks));
}

// Blanks around an address are not part of it: " b@x.no" from a list written
// as "a@x.no, b@x.no" is the address b@x.no.
std::string CheckedAddress(const std::string& address) {
    const std::string trimmed = TrimBlanks(address);
    const size_t at = trimmed.rfind('@');
    bool valid = at != std::string::npos && at > 0 && at + 1 < trimmed.size();
    for (unsigned char c : trimmed)
        if (c <= 0x20 || c == 0x7F ||
            kAddressSpecials.find(static_cast<char>(c)) != std::string::npos)
            valid = false;
    if (!valid)
        throw ServiceError(ErrorNumber::InvalidArgument,
                           "Invalid e-mail address: \"" + std::string(address) + "\"");
    return trimmed;
}

void CheckHeaderText(const std::string& text, const char* what) {
    if (HasLineBreak(text))
        throw ServiceError(ErrorNumber::InvalidArgument,
                           std::string(what) + " must not contain a line break");
}

struct Mailbox {
    std::string displayName;
    std::string address;
};

// "address", or "Name <address>" as mail programs write a sender or a
// recipient; the name may be in double quotes. VMime quotes or encodes the
// name as it needs, so whatever it holds besides a line break stays a name.
Mailbox ParseMailbox(const std::string& text) {
    const std::string trimmed = TrimBlanks(text);
    const size_t open = trimmed.rfind('<');
    if (trimmed.empty() || trimmed.back() != '>' || open == std::string::npos)
        return {"", CheckedAddress(text)};
    std::string name = TrimBlanks(trimmed.substr(0, open));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    CheckHeaderText(name, "A display name");
    return {name, CheckedAddress(trimmed.substr(open + 1, trimmed.size() - open - 2))};
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(platform::TextPath(path), std::ios::binary);
    if (!in) throw ErrnoError(errno, "Cannot open " + path);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw ServiceError(EIO, "Cannot read " + path);
    return bytes;
}

std::string MediaTypeForFile(const std::string& name) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {".htm", "text/html"},
        {".html", "text/html"},
        {".txt", "text/plain"},
        {".css", "text/css"},
        {".png", "image/png"},
        {".gif", "image/gif"},
        {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},
        {".pdf", "application/pdf"},
        {".xml", "application/xml"},
        {".zip", "application/zip"},
        {".mht", "application/x-mimearchive"},
        {".mhtml", "application/x-mimearchive"}};
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        for (const auto& [suffix, type] : kTypes)
            if (EqualsIgnoringAsciiCase(name.substr(dot), suffix)) return type;
    return "application/octet-stream";
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

struct Attachment {
    std::string fileName;
    std::string mediaType;
    std::string bytes;
    std::string description;
};

vmime::shared_ptr<vmime::mailbox> MailboxOf(const Mailbox& r) {
    if (r.displayName.empty())
        return vmime::make_shared<vmime::mailbox>(vmime::emailAddress(r.address));
    return vmime::make_shared<vmime::mailbox>(vmime::text(r.displayName, vmime::charsets::UTF_8),
                                              vmime::emailAddress(r.address));
}

class VmimeMailMessage : public MailMessage {
  public:
    void SetBodyText(const std::string& text) override {
        bodyText_ = text;
        html_.reset();
    }

    void SetHtmlBody(const HtmlBody& body) override { html_ = body; }

    void SetSubject(const std::string& subject) override {
        CheckHeaderText(subject, "The subject");
        subject_ = subject;
    }

    void SetSender(const std::string& mailbox) override { sender_ = ParseMailbox(mailbox); }

    int AddRecipient(const std::string& displayName, const std::string& address) override {
        return Add(to_, displayName, address);
    }

    int AddCopyRecipient(const std::string& displayName, const std::string& address) override {
        return Add(cc_, displayName, address);
    }

    std::string AddAttachment(const std::string& path) override {
        Attachment a;
        a.fileName = path.substr(path.find_last_of("/\\") + 1);
        a.mediaType = MediaTypeForFile(a.fileName);
        a.bytes = ReadFile(path);
        attachments_.push_back(std::move(a));
        return attachments_.back().fileName;
    }

    int SetAttachmentText(int number, const std::string& text) override {
        if (number < 0 || static_cast<size_t>(number) > attachments_.size() || attachments_.empty())
            throw ServiceError(ErrorNumber::SubscriptOutOfRange,
                               "There is no attachment " + std::to_string(number));
        CheckHeaderText(text, "An attachment text");
        const size_t index =
            number == 0 ? attachments_.size() - 1 : static_cast<size_t>(number - 1);
        attachments_[index].description = text;
        return static_cast<int>(index + 1);
    }

    std::string Sender() const override { return sender_.address; }

    std::vector<std::string> EnvelopeRecipients() const override {
        std::vector<std::string> all;
        for (const auto* list : {&to_, &cc_})
            for (const Mailbox& r : *list) all.push_back(r.address);
        return all;
    }

    std::string ToMime() const override {
        if (to_.empty() && cc_.empty())
            throw ServiceError(ErrorNumber::InvalidArgument, "The message has no recipient");
        try {
            return Generate();
        } catch (const vmime::exception& e) {
            throw ServiceError(ErrorNumber::InvalidArgument,
                               std::string("Cannot build the message: ") + e.what());
        }
    }

  private:
    int Add(std::vector<Mailbox>& list, const std::string& displayName,
            const std::string& address) {
        CheckHeaderText(displayName, "A display name");
        Mailbox mailbox = ParseMailbox(address);
        if (!displayName.empty()) mailbox.displayName = displayName;
        list.push_back(std::move(mailbox));
        return static_cast<int>(list.size());
    }

    void BuildTextPart(vmime::messageBuilder& builder) const {
        if (!html_) {
            auto part = builder.getTextPart();  // text/plain by default
            part->setCharset(vmime::charsets::UTF_8);
            part->setText(vmime::make_shared<vmime::stringContentHandler>(bodyText_));
            return;
        }
        builder.constructTextPart(
            vmime::mediaType(vmime::mediaTypes::TEXT, vmime::mediaTypes::TEXT_HTML));
        auto part = vmime::dynamicCast<vmime::htmlTextPart>(builder.getTextPart());
        part->setCharset(vmime::charsets::UTF_8);
        // VMime names the embedded objects itself; the page's references follow.
        std::string html = html_->html;
        for (const RelatedPart& related : html_->related) {
            auto object = part->addObject(
                vmime::make_shared<vmime::stringContentHandler>(related.bytes),
                vmime::encoding(vmime::encodingTypes::BASE64), vmime::mediaType(related.mediaType));
            ReplaceAll(html, "cid:" + related.contentId, "cid:" + object->getId());
        }
        part->setText(vmime::make_shared<vmime::stringContentHandler>(html));
        if (!html_->plainText.empty())
            part->setPlainText(vmime::make_shared<vmime::stringContentHandler>(html_->plainText));
    }

    std::string Generate() const {
        vmime::messageBuilder builder;
        builder.setSubject(vmime::text(subject_, vmime::charsets::UTF_8));
        if (!sender_.address.empty()) builder.setExpeditor(*MailboxOf(sender_));
        for (const Mailbox& r : to_) builder.getRecipients().appendAddress(MailboxOf(r));
        for (const Mailbox& r : cc_) builder.getCopyRecipients().appendAddress(MailboxOf(r));
        BuildTextPart(builder);
        for (const Attachment& a : attachments_) {
            builder.appendAttachment(vmime::make_shared<vmime::fileAttachment>(
                vmime::make_shared<vmime::stringContentHandler>(a.bytes),
                vmime::word(a.fileName, vmime::charsets::UTF_8), vmime::mediaType(a.mediaType),
                vmime::text(a.description, vmime::charsets::UTF_8),
                vmime::encoding(vmime::encodingTypes::BASE64)));
        }
        vmime::shared_ptr<vmime::message> message = builder.construct();
        message->getHeader()->MessageId()->setValue(vmime::messageId::generateId());

        std::ostringstream out;
        vmime::utility::outputStreamAdapter adapter(out);
        message->generate(adapter);
        std::string mime = out.str();
        if (mime.size() < 2 || mime.compare(mime.size() - 2, 2, "\r\n") != 0) mime += "\r\n";
        return mime;
    }

    std::string bodyText_;
    std::optional<HtmlBody> html_;
    std::string subject_;
    Mailbox sender_;
    std::vector<Mailbox> to_;
    std::vector<Mailbox> cc_;
    std::vector<Attachment> attachments_;
};

}  // namespace

std::unique_ptr<MailMessage> CreateMailMessage() { return std::make_unique<VmimeMailMessage>(); }

}  // namespace tvk
