// Linux only: the SMTP peer is aiosmtpd (Python), started with posix_spawn.
#include "MailSender_test.h"
#include "SmtpParsedMail.h"
#include "SmtpTestServer.h"

namespace tvk {
namespace {

using test::SmtpServerOptions;
using test::SmtpTestServer;

TEST(MailSender, LogsInAndDeliversToTheEnvelope) {
    SmtpTestServer server({"anna", "hemmelig"});
    auto sender = CreateMailSender();
    sender->SetServer(server.HostAndPort());
    sender->SetUserName("anna");
    sender->SetPassword("hemmelig");
    sender->SetDomain("");
    auto message = Notice({"kunde@firma.no"});
    message->AddCopyRecipient("", "per@firma.no");
    EXPECT_EQ(sender->Send(*message), 2);

    const auto mails = server.Messages();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].login, "anna");
    EXPECT_FALSE(mails[0].tls);
    EXPECT_EQ(mails[0].mailFrom, "service@velkor.no");
    EXPECT_EQ(mails[0].recipients, (std::vector<std::string>{"kunde@firma.no", "per@firma.no"}));
    const test::ParsedMail mail = test::ParseMail(mails[0].raw);
    EXPECT_EQ(mail.subject, "Ny versjon av Velkor er nå tilgjengelig (7.9.512)");
    // The line end that closes the message belongs to its single part.
    EXPECT_EQ(mail.Part("text/plain").content, "Med vennlig hilsen,\r\n");
}

TEST(MailSender, DomainQualifiesAPlainUserName) {
    SmtpTestServer server({"CORP\\anna", "hemmelig"});
    auto sender = CreateMailSender();
    sender->SetServer("smtp://" + server.HostAndPort());
    sender->SetUserName("anna");
    sender->SetPassword("hemmelig");
    sender->SetDomain("CORP");
    sender->Send(*Notice());
    sender->SetUserName("CORP\\anna");  // already qualified: sent as it is
    sender->Send(*Notice());
    const auto mails = server.Messages();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].login, "CORP\\anna");
    EXPECT_EQ(mails[1].login, "CORP\\anna");
}

TEST(MailSender, WithoutUserNameNoLogin) {
    SmtpTestServer server;
    auto sender = CreateMailSender();
    sender->SetServer(server.HostAndPort());
    sender->SendWithDefaults(*Notice());  // uses the server it holds
    const auto mails = server.Messages();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].login, "");
    EXPECT_TRUE(server.LoginAttempts().empty());
}

TEST(MailSender, FailuresCarryCurlCodeAndServerReply) {
    SmtpTestServer server({"anna", "hemmelig"});
    auto sender = CreateMailSender();
    sender->SetServer(server.HostAndPort());
    sender->SetUserName("anna");
    sender->SetPassword("feil");
    const ServiceError denied = ErrorOf([&] { sender->Send(*Notice()); });
    EXPECT_EQ(denied.Number(), 67);  // CURLE_LOGIN_DENIED
    EXPECT_NE(denied.Description().find("535"), std::string::npos) << denied.Description();

    sender->SetServer("127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()));
    sender->SetPassword("hemmelig");
    const ServiceError refused = ErrorOf([&] { sender->Send(*Notice()); });
    EXPECT_EQ(refused.Number(), 7);  // CURLE_COULDNT_CONNECT
    EXPECT_FALSE(refused.Description().empty());
    EXPECT_TRUE(server.Messages().empty());
}

TEST(MailSender, RefusedRecipientsCostOnlyThemselves) {
    SmtpTestServer server;
    auto sender = CreateMailSender();
    sender->SetServer(server.HostAndPort());
    sender->Send(*Notice({"refused@firma.no", "kunde@firma.no"}));
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.Messages()[0].recipients, std::vector<std::string>{"kunde@firma.no"});

    const ServiceError error = ErrorOf([&] { sender->Send(*Notice({"refused@firma.no"})); });
    EXPECT_NE(error.Number(), 0);
    EXPECT_NE(error.Description().find("550"), std::string::npos) << error.Description();
    EXPECT_EQ(server.Messages().size(), 1u);
}

TEST(MailSender, PasswordNeverGoesInClearTextToARemoteServer) {
    SmtpTestServer server({"anna", "hemmelig"});
    MailSenderOptions options;
    options.plainLoginOnLoopback = false;  // treat the loopback server as a remote one
    auto sender = CreateMailSender(options);
    sender->SetServer(server.HostAndPort());
    sender->SetUserName("anna");
    sender->SetPassword("hemmelig");
    const ServiceError error = ErrorOf([&] { sender->Send(*Notice()); });
    EXPECT_EQ(error.Number(), 64);  // CURLE_USE_SSL_FAILED
    EXPECT_NE(error.Description().find("clear text"), std::string::npos);
    EXPECT_TRUE(server.LoginAttempts().empty());
    EXPECT_TRUE(server.Messages().empty());

    sender->SetUserName("");  // nothing secret: sent without encryption
    sender->Send(*Notice());
    EXPECT_EQ(server.Messages().size(), 1u);
}

TEST(MailSender, StartTlsIsUsedWhenOfferedAndMustSucceed) {
    SmtpServerOptions tls{"anna", "hemmelig", true};
    SmtpTestServer server(tls);
    MailSenderOptions trusting;
    trusting.certificateAuthorities = server.CertificateFile();
    auto sender = CreateMailSender(trusting);
    sender->SetServer(server.HostAndPort());
    sender->SetUserName("anna");
    sender->SetPassword("hemmelig");
    sender->Send(*Notice());
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_TRUE(server.Messages()[0].tls);
    EXPECT_EQ(server.Messages()[0].login, "anna");

    // An untrusted certificate ends the attempt before anything is sent,
    // with or without a password at stake.
    for (const std::string user : {"anna", ""}) {
        auto doubting = CreateMailSender();
        doubting->SetServer(server.HostAndPort());
        doubting->SetUserName(user);
        doubting->SetPassword("hemmelig");
        const ServiceError error = ErrorOf([&] { doubting->Send(*Notice()); });
        EXPECT_EQ(error.Number(), 60) << error.Description();  // CURLE_PEER_FAILED_VERIFICATION
    }
    EXPECT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.LoginAttempts().size(), 1u);
}

}  // namespace
}  // namespace tvk
