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
#include "components/CurlTransfer.h"
#include "download/frmOppdat.qt.h"
#include "run/RunState.h"

namespace tvk {
namespace {

using namespace std::chrono_literals;
using Server = test::LoopbackHttpServer;

constexpr int64_t kSize = 3 * 1024 * 1024 + 17;

class DownloadWindowLive : public ::testing::Test {
protected:
    DownloadWindowLive() { state.LanguageId = 2057; }

    frmOppdat& Open(Server::Response response) {
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
        transfer = std::make_unique<CurlTransfer>(TransferOptions{2s, 1s, ""});
        window = std::make_unique<frmOppdat>(*transfer, state, seams);
        window->SetURLHost(server.Url("/files"));
        window->SetHostExe("VelkorSetup.exe");
        window->SetLocalPath(folder.Path().string() + "/");
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
    bool NothingLeft() { return std::filesystem::is_empty(folder.Path()); }

    static Server::Response Faulty(void (*fault)(Server::Response&)) {
        Server::Response response = Server::Generated(kSize);
        response.faultyRequests = 1;
        fault(response);
        return response;
    }

    Server server;
    test::TempFolder folder;
    RunState state;
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
    EXPECT_TRUE(asked.empty());
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

TEST_F(DownloadWindowLive, NoToReconnectFailsAndRemovesThePartialFile) {
    frmOppdat& w = Open(Faulty([](Server::Response& r) { r.dropAfter = 1000000; }));
    ASSERT_TRUE(WaitUntilClosed());
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_FALSE(w.OK());
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
