// Linux only: the SMTP peer is aiosmtpd (Python), started with posix_spawn.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "SmtpParsedMail.h"
#include "SmtpTestServer.h"
#include "TestSupport.h"
#include "common/ServiceError.h"
#include "notify/mSendEpost.h"
#include "update/TempFiles.h"

namespace tvk {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

// ---- The whole notice against a real SMTP server on loopback ----------------

// The notice page as the run hands it to WriteTempFile (UTF-8 text, written
// to the file as Windows-1252).
const std::string kNoticePage =
    "<html><body><span style='font-size:10.0pt;font-family:\"Tahoma\",\"sans-serif\"'>"
    "Oversikt over endringer finner du på våre nettsider.<BR><BR>Med vennlig hilsen,"
    "<BR>Orbe Support Velkor<BR><a href=\"http://www.orbe.no\">www.orbe.no</a> ø/å"
    "</span></body></html>";

const std::string kSubject = "Ny versjon av Velkor er nå tilgjengelig (7.9.512)";

// The call the update run makes, against `server`.
std::string SendNotice(const std::string& server, const std::string& password,
                       const std::string& page,
                       const std::string& to = "kunde@firma.no, per@firma.no") {
    return SendEmail(to, kSubject, "", 0, 1, nullptr, "", server, "anna", password, "",
                     "service@velkor.no", "", "", page);
}

TEST(SendEmailDelivery, NoticePageArrivesAsUtf8HtmlFromTheLoggedInAccount) {
    test::SmtpTestServer server({"anna", "hemmelig"});
    const std::string page = WriteTempFile(kNoticePage, "htm");
    EXPECT_EQ(SendNotice(server.HostAndPort(), "hemmelig", page), "");
    EXPECT_FALSE(fs::exists(page));

    const auto mails = server.Messages();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].login, "anna");
    EXPECT_EQ(mails[0].mailFrom, "service@velkor.no");
    EXPECT_EQ(mails[0].recipients, (std::vector<std::string>{"kunde@firma.no", "per@firma.no"}));
    const test::ParsedMail mail = test::ParseMail(mails[0].raw);
    EXPECT_EQ(mail.subject, kSubject);
    EXPECT_EQ(mail.from, "service@velkor.no");
    EXPECT_EQ(mail.to, std::vector<std::string>{"kunde@firma.no"});
    EXPECT_EQ(mail.cc, std::vector<std::string>{"per@firma.no"});
    const test::MimePart& html = mail.Part("text/html");
    EXPECT_EQ(html.charset, "utf-8");
    EXPECT_NE(html.content.find("Med vennlig hilsen,<BR>Orbe Support Velkor"), std::string::npos);
    EXPECT_NE(html.content.find("på våre nettsider"), std::string::npos);
    EXPECT_NE(html.content.find(" ø/å</span>"), std::string::npos);
    EXPECT_NE(mail.Part("text/plain").content.find("Med vennlig hilsen,"), std::string::npos);
}

TEST(SendEmailDelivery, RefusedDeliveryIsTheResultAndThePageIsGoneAnyway) {
    test::SmtpTestServer server({"anna", "hemmelig"});
    const std::string page = WriteTempFile(kNoticePage, "htm");
    const std::string denied = SendNotice(server.HostAndPort(), "feil", page);
    EXPECT_EQ(denied.rfind("67 - Login denied", 0), 0u) << denied;
    EXPECT_FALSE(fs::exists(page));

    const std::string nobody = "127.0.0.1:" + std::to_string(test::UnusedLoopbackPort());
    const std::string unreachable =
        SendNotice(nobody, "hemmelig", WriteTempFile(kNoticePage, "htm"));
    EXPECT_EQ(unreachable.rfind("7 - ", 0), 0u) << unreachable;
    EXPECT_TRUE(server.Messages().empty());
}

TEST(SendEmailDelivery, UnusableAddressesAreLeftOutAndAnEmptyListSendsNothing) {
    test::SmtpTestServer server({"anna", "hemmelig"});
    EXPECT_EQ(SendNotice(server.HostAndPort(), "hemmelig", WriteTempFile(kNoticePage, "htm"),
                         "kunde@firma.no,,per@firma.no;ola@firma.no"),
              "");
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.Messages()[0].recipients, std::vector<std::string>{"kunde@firma.no"});

    const std::string none =
        SendNotice(server.HostAndPort(), "hemmelig", WriteTempFile(kNoticePage, "htm"), "");
    EXPECT_EQ(none, "5 - The message has no recipient");
    EXPECT_EQ(server.Messages().size(), 1u);
}

TEST(SendEmailDelivery, MhtVariantCarriesThePageWithItsPicture) {
    test::SmtpTestServer server;
    test::TempFolder folder;
    const std::string png("\x89PNG\r\n\x1a\n-logo", 13);
    test::WriteAll(folder / "logo.png", png);
    const std::string page = (folder / "notice.htm").string();
    test::WriteAll(page,
                   "<html><body><img src=\"logo.png\">Med vennlig hilsen, \xf8/\xe5</body></html>");

    const std::string result =
        SendEmail("kunde@firma.no", kSubject, "Se vedlagte side", 1, 1, nullptr, "",
                  server.HostAndPort(), "", "", "", "service@velkor.no", "", "Nyheter", page);
    EXPECT_EQ(result, "");
    EXPECT_FALSE(fs::exists(page));
    ASSERT_EQ(server.Messages().size(), 1u);
    const test::ParsedMail mail = test::ParseMail(server.Messages()[0].raw);
    EXPECT_EQ(mail.Part("text/plain").content.rfind("Se vedlagte side", 0), 0u);
    const test::MimePart& attachment = mail.Part("application/x-mimearchive");
    EXPECT_EQ(attachment.description, "Nyheter");
    EXPECT_FALSE(fs::exists(GetTempDir() + attachment.fileName));
    EXPECT_EQ(fs::path(attachment.fileName).extension(), ".mht");

    const test::ParsedMail mht = test::ParseMail(attachment.content);
    EXPECT_EQ(mht.parts.at(0).mediaType, "multipart/related");
    const test::MimePart& picture = mht.Part("image/png");
    EXPECT_EQ(picture.content, png);
    const test::MimePart& html = mht.Part("text/html");
    EXPECT_NE(html.content.find("<img src=\"cid:" + picture.contentId + "\">"), std::string::npos);
    EXPECT_NE(html.content.find("Med vennlig hilsen, ø/å"), std::string::npos);
}

}  // namespace
}  // namespace tvk
