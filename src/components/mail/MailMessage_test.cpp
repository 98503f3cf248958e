#include "components/MailMessage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "SmtpParsedMail.h"
#include "TestSupport.h"
#include "common/ServiceError.h"

namespace tvk {
namespace {

using test::ErrorOf;
using test::ParseMail;

std::unique_ptr<MailMessage> Addressed() {
    auto message = CreateMailMessage();
    message->SetSender("service@velkor.no");
    message->AddRecipient("", "kunde@firma.no");
    return message;
}

TEST(MailMessage, TextsArriveAsUtf8WithEncodedHeaders) {
    auto message = CreateMailMessage();
    message->SetSubject("Ny versjon av Velkor er nå tilgjengelig (7.9.512)");
    message->SetSender("service@velkor.no");
    message->AddRecipient("Åse Østby", "ase@firma.no");
    message->AddCopyRecipient("", "per@firma.no");
    message->AddCopyRecipient("Jürgen", "jurgen@firma.de");
    message->SetBodyText("Hilsen fra Ærø: æøå ÆØÅ äöü ß");

    const std::string mime = message->ToMime();
    // Headers are 7-bit; the letters travel encoded.
    const std::string head = mime.substr(0, mime.find("\r\n\r\n"));
    for (unsigned char c : head) ASSERT_LT(c, 0x80) << head;

    const test::ParsedMail mail = ParseMail(mime);
    EXPECT_EQ(mail.subject, "Ny versjon av Velkor er nå tilgjengelig (7.9.512)");
    EXPECT_EQ(mail.from, "service@velkor.no");
    EXPECT_EQ(mail.to, std::vector<std::string>{"ase@firma.no"});
    EXPECT_EQ(mail.cc, (std::vector<std::string>{"per@firma.no", "jurgen@firma.de"}));
    EXPECT_NE(mime.find("=?utf-8?"), std::string::npos);  // the display name, encoded
    const test::MimePart& body = mail.Part("text/plain");
    EXPECT_EQ(body.charset, "utf-8");
    EXPECT_EQ(body.content, "Hilsen fra Ærø: æøå ÆØÅ äöü ß");
    EXPECT_EQ(message->EnvelopeRecipients(),
              (std::vector<std::string>{"ase@firma.no", "per@firma.no", "jurgen@firma.de"}));
}

TEST(MailMessage, AddressesLoseTheirBlanksAndBadOnesAreRefused) {
    auto message = CreateMailMessage();
    message->AddRecipient("", "a@x.no");
    EXPECT_EQ(message->AddCopyRecipient("", " b@x.no"), 1);
    EXPECT_EQ(message->AddCopyRecipient("", "\tc@x.no  "), 2);
    EXPECT_EQ(message->EnvelopeRecipients(),
              (std::vector<std::string>{"a@x.no", "b@x.no", "c@x.no"}));

    for (const char* bad :
         {"", " ", "anna", "@x.no", "anna@", "a@x.no;b@x.no", "A <a b@x.no>", "a b@x.no",
          "a@x.no\r\nRCPT TO:<evil@x.no>", "a@x.no\nBcc: evil@x.no", "\"a\"@x.no", "a@x.no,"}) {
        EXPECT_EQ(ErrorOf([&] { message->AddCopyRecipient("", bad); }).Number(),
                  ErrorNumber::InvalidArgument)
            << bad;
        EXPECT_EQ(ErrorOf([&] { message->SetSender(bad); }).Number(), ErrorNumber::InvalidArgument)
            << bad;
    }
    EXPECT_EQ(message->EnvelopeRecipients().size(), 3u);
    EXPECT_EQ(message->Sender(), "");
}

TEST(MailMessage, HeaderTextsWithLineBreaksAreRefused) {
    auto message = Addressed();
    message->SetSubject("Before");
    EXPECT_EQ(ErrorOf([&] { message->SetSubject("Hei\r\nBcc: evil@x.no"); }).Number(),
              ErrorNumber::InvalidArgument);
    EXPECT_EQ(ErrorOf([&] { message->AddRecipient("Eve\nBcc: e@x.no", "eve@x.no"); }).Number(),
              ErrorNumber::InvalidArgument);
    const std::string mime = message->ToMime();
    EXPECT_EQ(ParseMail(mime).subject, "Before");
    EXPECT_EQ(mime.find("evil"), std::string::npos);
    EXPECT_EQ(message->EnvelopeRecipients().size(), 1u);
}

TEST(MailMessage, WithoutRecipientItCannotBeBuilt) {
    auto message = CreateMailMessage();
    message->SetSender("service@velkor.no");
    const ServiceError error = ErrorOf([&] { message->ToMime(); });
    EXPECT_EQ(error.Number(), ErrorNumber::InvalidArgument);
    EXPECT_NE(error.Description().find("no recipient"), std::string::npos);
}

TEST(MailMessage, AttachmentsAreReadWhenAddedAndCarryTheirTexts) {
    test::TempFolder folder;
    const std::string first = (folder / "rapport.pdf").string();
    const std::string second = (folder / "side.mht").string();
    const std::string bytes("%PDF\0\x01\xff binary", 15);
    test::WriteAll(first, bytes);
    test::WriteAll(second, "MIME-Version: 1.0\r\n");

    auto message = Addressed();
    message->SetBodyText("Se vedlegg");
    EXPECT_EQ(message->AddAttachment(first), "rapport.pdf");
    EXPECT_EQ(message->SetAttachmentText(0, "Månedsrapport"), 1);
    message->AddAttachment(second);
    EXPECT_EQ(message->SetAttachmentText(0, "Siste"), 2);
    EXPECT_EQ(message->SetAttachmentText(1, "Første"), 1);
    EXPECT_EQ(ErrorOf([&] { message->SetAttachmentText(3, "x"); }).Number(),
              ErrorNumber::SubscriptOutOfRange);
    EXPECT_NE(ErrorOf([&] { message->AddAttachment((folder / "missing.txt").string()); }).Number(),
              0);
    std::filesystem::remove(first);  // the caller may delete it before sending

    const test::ParsedMail mail = ParseMail(message->ToMime());
    EXPECT_EQ(mail.parts.at(0).mediaType, "multipart/mixed");
    const test::MimePart& pdf = mail.Part("application/pdf");
    EXPECT_EQ(pdf.fileName, "rapport.pdf");
    EXPECT_EQ(pdf.content, bytes);
    EXPECT_EQ(pdf.description, "Første");
    EXPECT_EQ(mail.Part("application/x-mimearchive").description, "Siste");
    EXPECT_EQ(mail.Part("text/plain").content, "Se vedlegg");
}

TEST(MailMessage, HtmlBodyRefersToItsPicturesByContentId) {
    HtmlBody body;
    body.html = "<html><body><img src=\"cid:logo.1@tvk\">Vennlig hilsen, Åse</body></html>";
    body.plainText = "Vennlig hilsen, Åse";
    body.related.push_back({"logo.1@tvk", "image/png", "logo.png", std::string("\x89PNG\r\n", 6)});
    auto message = Addressed();
    message->SetHtmlBody(body);

    const test::ParsedMail mail = ParseMail(message->ToMime());
    EXPECT_EQ(mail.parts.at(0).mediaType, "multipart/alternative");
    EXPECT_EQ(mail.Part("text/plain").content, "Vennlig hilsen, Åse");
    const test::MimePart& html = mail.Part("text/html");
    EXPECT_EQ(html.charset, "utf-8");
    const test::MimePart& png = mail.Part("image/png");
    EXPECT_EQ(png.content, std::string("\x89PNG\r\n", 6));
    ASSERT_FALSE(png.contentId.empty());
    EXPECT_NE(html.content.find("<img src=\"cid:" + png.contentId + "\">"), std::string::npos)
        << html.content;
    EXPECT_NE(html.content.find("Vennlig hilsen, Åse"), std::string::npos);
    EXPECT_EQ(mail.Count("multipart/related"), 1);
}

}  // namespace
}  // namespace tvk
