#include "components/MailSender.h"

#include "MailSender_test.h"

namespace tvk {
namespace {

TEST(MailSender, ServerAddressForms) {
    EXPECT_EQ(MailServerUrl("mail.firma.no"), "smtp://mail.firma.no");
    EXPECT_EQ(MailServerUrl(" mail.firma.no:587 "), "smtp://mail.firma.no:587");
    EXPECT_EQ(MailServerUrl("smtp://mail.firma.no:2525/"), "smtp://mail.firma.no:2525");
    EXPECT_EQ(MailServerUrl("SMTPS://mail.firma.no"), "smtps://mail.firma.no");
    EXPECT_EQ(MailServerUrl("[::1]:25"), "smtp://[::1]:25");
    for (const char* bad : {"", "  ", "http://mail.firma.no", "ftp://x", "mail firma.no",
                            "mail.firma.no/path", "user@mail.firma.no", "mail.firma.no\r\nQUIT"})
        EXPECT_EQ(ErrorOf([&] { MailServerUrl(bad); }).Number(), ErrorNumber::InvalidArgument)
            << bad;
}

TEST(MailSender, WithoutServerThereIsNoDefault) {
    auto sender = CreateMailSender();
    const ServiceError error = ErrorOf([&] { sender->SendWithDefaults(*Notice()); });
    EXPECT_EQ(error.Number(), ErrorNumber::InvalidArgument);
    EXPECT_NE(error.Description().find("No mail server"), std::string::npos);
}

}  // namespace
}  // namespace tvk
