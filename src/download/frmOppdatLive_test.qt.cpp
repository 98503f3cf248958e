// The download window with its real transfer component against a loopback
// server that breaks the connection in the ways real lines do.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QPushButton>
#include <QTest>
#include <deque>
#include <memory>

#include "LoopbackHttpServer.h"
#include "TestSupport.h"
#include "components/transfer/CurlTransfer.h"
#include "download/frmOppdat.qt.h"
#include "localisation/StringTable.h"
#include "platform/Platform.h"
#include "update/SignedRelease.h"

namespace tvk {
namespace {

using namespace std::chrono_literals;
using Server = test::LoopbackHttpServer;

constexpr int64_t kSize = 3 * 1024 * 1024 + 17;

class DownloadWindowLive : public ::testing::Test {
  protected:
    frmOppdat& Open(Server::Response response, std::chrono::seconds stall = 1s) {
        server.Serve("/files/VelkorSetup.exe", std::move(response));
        frmOppdat::Seams seams;
        seams.ask = [this](const MessageBoxRequest& request) {
            asked.push_back(request);
            if (request.buttons == MessageButtons::Ok) return MessageAnswer::Ok;
            MessageAnswer answer = answers.empty() ? MessageAnswer::No : answers.front();
            if (!answers.empty()) answers.pop_front();
            return answer;
        };
        // Each window has its own transfer instance, as in the service.
        window.reset();
        transfer = std::make_unique<CurlTransfer>(TransferOptions{2s, stall, ""});
        window = std::make_unique<frmOppdat>(*transfer, texts, seams);
        window->SetURLHost(server.Url("/files"));
        window->SetHostExe("VelkorSetup.exe");
        window->SetLocalPath(platform::PathText(folder) + "/");
        window->SetLocalExe("VelkorSetup_512.exe");
        window->show();
        return *window;
    }

    // The window closes itself at the end of every transfer.
    bool WaitUntilClosed() {
        QDeadlineTimer deadline(60000);
        while (window->isVisible() && !deadline.hasExpired()) QTest::qWait(20);
        return !window->isVisible();
    }

    bool DownloadIsComplete() {
        auto file = folder / "VelkorSetup_512.exe";
        return std::filesystem::exists(file) &&
               test::ReadAll(file) == Server::Pattern(0, static_cast<size_t>(kSize));
    }
    bool NothingLeft() { return std::filesystem::is_empty(folder); }

    static Server::Response Faulty(void (*fault)(Server::Response&)) {
        Server::Response response = Server::Generated(kSize);
        response.faultyRequests = 1;
        fault(response);
        return response;
    }

    Server server;
    test::TempFolder root;
    // A program folder named as on a Danish or Norwegian machine.
    const std::filesystem::path folder = root.Path() / platform::TextPath("Velkør program");
    const bool made = std::filesystem::create_directory(folder);
    StringTableTexts texts{2057};
    std::unique_ptr<CurlTransfer> transfer;
    std::vector<MessageBoxRequest> asked;
    std::deque<MessageAnswer> answers;
    std::unique_ptr<frmOppdat> window;
};

TEST_F(DownloadWindowLive, CompletesWithTheHostsFileAndNothingElse) {
    frmOppdat& w = Open(Server::Generated(kSize));
    ASSERT_TRUE(WaitUntilClosed());
    EXPECT_TRUE(w.OK());
    EXPECT_TRUE(w.Installer());
    EXPECT_TRUE(DownloadIsComplete());
    EXPECT_FALSE(std::filesystem::exists(folder / "VelkorSetup_512.exe.part"));
    EXPECT_TRUE(asked.empty());
}

TEST_F(DownloadWindowLive, ANotFoundSetupFailsAndLeavesNothing) {
    Server::Response missing;
    missing.status = 404;
    missing.reason = "Not Found";
    frmOppdat& w = Open(missing);
    ASSERT_TRUE(WaitUntilClosed());
    EXPECT_FALSE(w.OK());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text,
              "The update could not be installed: VelkorSetup.exe is not on the update server "
              "(404 - Not Found)");
    EXPECT_EQ(asked[0].title, "Velkor UpdateService");
    EXPECT_TRUE(NothingLeft());
}

TEST_F(DownloadWindowLive, ALostConnectionIsResumedWhenTheUserSaysYes) {
    answers = {MessageAnswer::Yes};
    frmOppdat& w = Open(Faulty([](Server::Response& r) { r.dropAfter = 1000000; }));
    ASSERT_TRUE(WaitUntilClosed());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].title, "Connection lost");
    EXPECT_EQ(asked[0].text,
              "Connection to 127.0.0.1 has been lost - would you like to reconnect?");
    EXPECT_TRUE(w.OK());
    EXPECT_TRUE(DownloadIsComplete());
    EXPECT_NE(server.LastRequestHead("/files/VelkorSetup.exe").find("Range: bytes=1000000-"),
              std::string::npos);
}

TEST_F(DownloadWindowLive, AStallIsALostConnectionToo) {
    answers = {MessageAnswer::Yes};
    frmOppdat& w = Open(Faulty([](Server::Response& r) { r.stallAfter = 500000; }));
    ASSERT_TRUE(WaitUntilClosed());
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_TRUE(w.OK());
    EXPECT_TRUE(DownloadIsComplete());
}

TEST_F(DownloadWindowLive, NoToReconnectEndsWithoutABoxAndRemovesThePartialFile) {
    frmOppdat& w = Open(Faulty([](Server::Response& r) { r.dropAfter = 1000000; }));
    ASSERT_TRUE(WaitUntilClosed());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].title, "Connection lost");
    EXPECT_FALSE(w.OK());
    EXPECT_TRUE(NothingLeft());
}

// A cancel reaches the transfer while nothing arrives, long before the stall
// would count as a lost connection, and no reconnect question follows it.
TEST_F(DownloadWindowLive, CancelDuringAStallEndsTheTransferWithoutAQuestion) {
    frmOppdat& w = Open(Faulty([](Server::Response& r) { r.stallAfter = 500000; }), 30s);
    const auto part = folder / "VelkorSetup_512.exe.part";
    QDeadlineTimer deadline(10000);
    std::error_code none;
    while (std::filesystem::file_size(part, none) < 500000 && !deadline.hasExpired())
        QTest::qWait(20);
    QTest::mouseClick(w.findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntilClosed());
    EXPECT_FALSE(w.OK());
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(NothingLeft());
}

TEST_F(DownloadWindowLive, FewerBytesThanAnnouncedNeverBecomeTheSetup) {
    Server::Response response = Server::Generated(kSize);
    response.announceExtra = 4096;  // every answer is short
    frmOppdat& w = Open(response);
    ASSERT_TRUE(WaitUntilClosed());
    EXPECT_FALSE(w.OK());
    EXPECT_TRUE(NothingLeft());
}

TEST_F(DownloadWindowLive, CancelBeforeAndDuringTheTransfer) {
    Server::Response slow = Server::Generated(kSize);
    slow.pace = 30ms;
    frmOppdat& before = Open(slow);
    QTest::mouseClick(before.findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntilClosed());
    EXPECT_FALSE(before.OK());
    EXPECT_TRUE(NothingLeft());

    frmOppdat& during = Open(slow);
    QDeadlineTimer deadline(30000);
    while (!std::filesystem::exists(folder / "VelkorSetup_512.exe.part") && !deadline.hasExpired())
        QTest::qWait(10);
    ASSERT_TRUE(std::filesystem::exists(folder / "VelkorSetup_512.exe.part"));
    QTest::qWait(200);
    ASSERT_TRUE(during.isVisible());
    QTest::mouseClick(during.findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntilClosed());
    EXPECT_FALSE(during.OK());
    EXPECT_TRUE(NothingLeft());
}

TEST_F(DownloadWindowLive, OutsideCloseRequestsWaitForTheEnd) {
    Server::Response slow = Server::Generated(kSize);
    slow.pace = 10ms;
    frmOppdat& w = Open(slow);
    QTest::qWait(400);
    w.close();
    EXPECT_TRUE(w.isVisible());
    ASSERT_TRUE(WaitUntilClosed());
    EXPECT_TRUE(w.OK());
    EXPECT_TRUE(DownloadIsComplete());
}

}  // namespace
}  // namespace tvk

namespace tvk {
namespace {

// The setup gets its name only when the maker's signature and the pin of the
// signed descriptor hold, which also prove whole a body that only the server's
// close ended; whatever fails is gone and the user is told why.
TEST_F(DownloadWindowLive, TheSetupGetsItsNameOnlyWithTheMakersSignature) {
    const std::string setup = Server::Pattern(0, static_cast<size_t>(kSize));
    const char* kComment = "file:VelkorSetup.exe build:512";
    const std::string signed_ = test::ReleaseSignatureOf(setup, kComment);
    struct Case {
        const char* name;
        std::string signature;
        std::string sha256;
        int64_t size;
        void (*serve)(Server::Response&);
        const char* refusal;  // nullptr: installs
    } cases[] = {
        {"signed", signed_, "", kSize, [](Server::Response&) {}, nullptr},
        {"tampered", test::ReleaseSignatureOf(setup + "x", kComment), "", -1,
         [](Server::Response&) {}, "its signature does not match its content"},
        {"an older signed setup", signed_, std::string(64, 'a'), -1, [](Server::Response&) {},
         "its SHA-256 differs"},
        {"signed for another build, pinned by size",
         test::ReleaseSignatureOf(setup, "file:VelkorSetup.exe build:511"), "", kSize,
         [](Server::Response&) {}, "its signature was made for another build"},
        {"cut without a length", signed_, "", -1,
         [](Server::Response& r) { r.withoutLength = true, r.dropAfter = 1000000; },
         "its signature does not match its content"},
        {"no length but the descriptor's size", signed_, "", kSize,
         [](Server::Response& r) { r.withoutLength = true; }, nullptr},
        {"no length, signed", signed_, "", -1, [](Server::Response& r) { r.withoutLength = true; },
         nullptr},
    };
    for (const Case& c : cases) {
        asked.clear();
        Server::Response response = Server::Generated(kSize);
        c.serve(response);
        Open(response);
        window->SetDownloadCheck(SetupCheck{.name = "VelkorSetup.exe",
                                            .signature = c.signature,
                                            .build = 512,
                                            .size = c.size,
                                            .sha256 = c.sha256}
                                     .ForDownload());
        ASSERT_TRUE(WaitUntilClosed()) << c.name;
        EXPECT_EQ(window->OK(), c.refusal == nullptr) << c.name;
        if (c.refusal == nullptr) {
            EXPECT_TRUE(DownloadIsComplete()) << c.name;
            EXPECT_TRUE(asked.empty()) << c.name;
            std::filesystem::remove(folder / "VelkorSetup_512.exe");
            continue;
        }
        EXPECT_TRUE(NothingLeft()) << c.name;
        ASSERT_EQ(asked.size(), 1u) << c.name;
        EXPECT_NE(asked[0].text.find(c.refusal), std::string::npos)
            << c.name << ": " << asked[0].text;
        EXPECT_EQ(asked[0].title, "Velkor UpdateService") << c.name;
    }
}

}  // namespace
}  // namespace tvk
