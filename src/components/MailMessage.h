#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tvk {

// A picture or style sheet that an HTML body refers to by "cid:<contentId>".
struct RelatedPart {
    std::string contentId;  // without "cid:" and without angle brackets
    std::string mediaType;  // "image/png", "text/css", ...
    std::string location;   // the reference as the page had it
    std::string bytes;
};

// An HTML body: the page in UTF-8, a plain-text rendering for readers that
// show no HTML (may be empty), and the parts the page refers to.
struct HtmlBody {
    std::string html;
    std::string plainText;
    std::vector<RelatedPart> related;
};

// One e-mail message. Texts are UTF-8; the message declares UTF-8 for every
// text and encodes its headers, so any letter arrives as written.
//
// A sender or recipient is an address or "Name <address>" (the name may be in
// double quotes); the name is written as an encoded display name. Addresses are
// taken without blanks at either end; an address that is not a plain
// "local@domain" (empty, blanks or control characters inside, or any of
// <>()[],;:"\) is refused, so that no text can add a header line or an SMTP
// command. Header texts (subject, display names) with a line break are refused
// for the same reason. A refusal throws ServiceError and changes nothing.
class MailMessage {
  public:
    virtual ~MailMessage() = default;

    // A plain-text body; replaces an HTML body.
    virtual void SetBodyText(const std::string& text) = 0;
    virtual void SetHtmlBody(const HtmlBody& body) = 0;
    virtual void SetSubject(const std::string& subject) = 0;
    virtual void SetSender(const std::string& mailbox) = 0;
    // A display name given here wins over one written with the address.
    // Return the number of recipients of that kind after the call.
    virtual int AddRecipient(const std::string& displayName, const std::string& address) = 0;
    virtual int AddCopyRecipient(const std::string& displayName, const std::string& address) = 0;
    // Reads the whole file now, so that it may be deleted before sending.
    // Returns the attachment's file name as the message carries it.
    virtual std::string AddAttachment(const std::string& path) = 0;
    // Sets the description of an attachment: `number` 1 is the first
    // attachment, 2 the second, ...; 0 is the one added last. Returns the
    // attachment's number (1-based).
    virtual int SetAttachmentText(int number, const std::string& text) = 0;

    // The envelope: the sender address ("" when none) and every recipient
    // address, main ones first, then copies.
    virtual std::string Sender() const = 0;
    virtual std::vector<std::string> EnvelopeRecipients() const = 0;

    // The whole message as MIME, lines ending in CR LF. Throws ServiceError
    // when it cannot be built (for example without any recipient).
    virtual std::string ToMime() const = 0;
};

// A new, empty message.
std::unique_ptr<MailMessage> CreateMailMessage();

}  // namespace tvk
