#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <deque>
#include <memory>

#include "FakeTransfer.h"
#include "TestSupport.h"
#include "WindowsTestSupport.qt.h"
#include "download/frmOppdat.qt.h"
#include "localisation/StringTable.h"

namespace tvk {
namespace {

using test::WaitUntil;

using namespace std::chrono_literals;

class DownloadWindow : public ::testing::Test {
  protected:
    frmOppdat& Open(bool show = true) {
        frmOppdat::Seams seams;
        seams.now = [this] { return now; };
        seams.ask = [this](const MessageBoxRequest& request) {
            asked.push_back(request);
            MessageAnswer answer = answers.empty() ? MessageAnswer::No : answers.front();
            if (!answers.empty()) answers.pop_front();
            return request.buttons == MessageButtons::Ok ? MessageAnswer::Ok : answer;
        };
        window = std::make_unique<frmOppdat>(transfer, texts, seams);
        window->SetURLHost("http://updates.example.test/velkor");
        window->SetHostExe("VelkorSetup.exe");
        window->SetLocalPath(folder.Path().string() + "/");
        window->SetLocalExe("VelkorSetup_4711.exe");
        if (show) window->show();
        return *window;
    }

    void Started() {
        ASSERT_TRUE(WaitUntil([this] { return !transfer.fetches.empty(); }));
    }

    // Lets the posted events reach the window.
    static void Deliver() {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    template <class T>
    T* Find(const char* name) {
        T* control = window->findChild<T*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    QString Text(const char* label) { return Find<QLabel>(label)->text(); }
    bool Shown(const char* name) { return !Find<QWidget>(name)->isHidden(); }
    QProgressBar* Bar() { return Find<QProgressBar>("ProgressBar1"); }

    StringTableTexts texts{2057};
    test::FakeTransfer transfer;
    test::TempFolder folder;
    std::chrono::steady_clock::time_point now{1000s};
    std::vector<MessageBoxRequest> asked;
    std::deque<MessageAnswer> answers;
    std::unique_ptr<frmOppdat> window;
};

TEST_F(DownloadWindow, LoadsTranslatedWithTheProgressDisplayHidden) {
    frmOppdat& w = Open();

    EXPECT_EQ(w.windowTitle(), "Update software");
    EXPECT_EQ(Find<QPushButton>("cmdCancel")->text(), "Cancel");
    EXPECT_EQ(Find<QCheckBox>("chkInstall")->text(), "Install after download");
    EXPECT_TRUE(Find<QCheckBox>("chkInstall")->isChecked());
    EXPECT_EQ(Text("lblTime"), "Estimated time left:");
    EXPECT_EQ(Text("lblFile"), "Receving data...");
    EXPECT_EQ(Text("lblEstimate"), "0 minute(s)");
    EXPECT_EQ(Text("lblAksjon"), "Aksjon");
    for (const char* name : {"lblFile", "lblTime", "lblEstimate", "ProgressBar1"})
        EXPECT_FALSE(Shown(name)) << name;
    EXPECT_TRUE(Shown("lblAksjon"));
    EXPECT_FALSE(w.OK());
    EXPECT_TRUE(w.Installer());
    EXPECT_EQ(transfer.asynchronous, true);
    EXPECT_NE(transfer.events, nullptr);
    EXPECT_NE(transfer.dispatcher, nullptr);
    EXPECT_TRUE(transfer.fetches.empty());  // not before the start timer

    // The client area of the layout, and the bar over the action label.
    EXPECT_EQ(w.width(), qRound(5160 * w.logicalDpiX() / 1440.0));
    EXPECT_EQ(w.height(), qRound(1455 * w.logicalDpiY() / 1440.0));
    EXPECT_TRUE(Bar()->geometry().intersects(Find<QLabel>("lblAksjon")->geometry()));
    // The translated labels are not cut off, and the estimate lies between
    // its label and the cancel button.
    for (const char* name : {"lblFile", "lblTime"})
        EXPECT_GE(Find<QLabel>(name)->width(), Find<QLabel>(name)->sizeHint().width()) << name;
    QRect estimate = Find<QLabel>("lblEstimate")->geometry();
    EXPECT_GT(estimate.left(), Find<QLabel>("lblTime")->geometry().right());
    EXPECT_LT(estimate.right(), Find<QPushButton>("cmdCancel")->geometry().left());
}

TEST_F(DownloadWindow, AsksForTheDownloadOnceWhenTheStartTimerFires) {
    Open();
    Started();
    QTest::qWait(300);
    ASSERT_EQ(transfer.fetches.size(), 1u);
    EXPECT_EQ(transfer.fetches[0].url, "http://updates.example.test/velkor/VelkorSetup.exe");
    EXPECT_EQ(transfer.fetches[0].folder, folder.Path().string() + "/");
    EXPECT_EQ(transfer.fetches[0].fileName, "VelkorSetup_4711.exe");
}

TEST_F(DownloadWindow, ShowsStatusMessagesButNotProtocolChatter) {
    Open();
    transfer.SendStatusMessage("Too early");
    Deliver();
    EXPECT_EQ(Text("lblAksjon"), "Aksjon");

    Started();
    for (const char* chatter : {"GET /velkor/VelkorSetup.exe", "PUT x", "HTTPGET y", "GET"}) {
        transfer.SendStatusMessage("Connected");
        transfer.SendStatusMessage(chatter);
        Deliver();
        EXPECT_EQ(Text("lblAksjon"), "Connected") << chatter;
    }
    for (const char* shown : {"get /small letters", "HTTP/1.1 200 OK", "GE", "Resolving host"}) {
        transfer.SendStatusMessage(shown);
        Deliver();
        EXPECT_EQ(Text("lblAksjon"), shown);
    }
    EXPECT_EQ(Find<QLabel>("lblAksjon")->textFormat(), Qt::PlainText);  // the server's words
}

TEST_F(DownloadWindow, TransferStartShowsTheProgressDisplayOnlyAfterTheStart) {
    Open();
    transfer.SendStart();
    Deliver();
    EXPECT_FALSE(Shown("ProgressBar1"));

    Started();
    transfer.SendStart();
    Deliver();
    for (const char* name : {"lblFile", "lblTime", "lblEstimate", "ProgressBar1"})
        EXPECT_TRUE(Shown(name)) << name;
    EXPECT_EQ(Text("lblEstimate"), "");
    EXPECT_EQ(Bar()->value(), 0);
}

TEST_F(DownloadWindow, ProgressSetsTheBarAndTheEstimate) {
    Open();
    Started();
    transfer.SendStart();
    now += 10s;
    transfer.SendProgress(512000, 2048000);
    Deliver();
    EXPECT_EQ(Bar()->maximum(), 2048000);
    EXPECT_EQ(Bar()->value(), 512000);
    EXPECT_EQ(Text("lblEstimate"), "30 seconds 50 kB/s");

    now = std::chrono::steady_clock::time_point(1008s);
    transfer.SendProgress(102400, 10342400);
    Deliver();
    EXPECT_EQ(Text("lblEstimate"), "13 minutes   12 kB/s");
    EXPECT_EQ(transfer.cancelAnswers, (std::vector<bool>{false, false}));

    // Faulty reports keep the estimate; with no bytes yet the bar still moves.
    transfer.SendProgress(0, 10342400);
    transfer.SendProgress(0, 0);
    Deliver();
    EXPECT_EQ(Bar()->value(), 0);
    EXPECT_EQ(Text("lblEstimate"), "13 minutes   12 kB/s");
}

TEST_F(DownloadWindow, EstimatesInTheRunsLanguageAndBeyondTwoGibibytes) {
    texts = StringTableTexts(1044);
    Open();
    Started();
    now += 100s;
    const int64_t total = 5LL << 30;
    transfer.SendProgress(3LL << 30, total);
    transfer.SendProgress(total / 2, total);
    Deliver();
    EXPECT_EQ(Text("lblEstimate"), "2 minutter   26214 kB/s");
    EXPECT_GT(Bar()->maximum(), 0);
    EXPECT_NEAR(double(Bar()->value()) / Bar()->maximum(), 0.5, 1e-6);
}

TEST_F(DownloadWindow, ReportSoonAfterLoadingCountsOneSecond) {
    Open();
    Started();
    now += 400ms;
    transfer.SendProgress(102400, 204800);
    Deliver();
    EXPECT_EQ(Text("lblEstimate"), "1 seconds 100 kB/s");
}

TEST_F(DownloadWindow, CancelBeforeTheFirstReportIsAnsweredByIt) {
    Open();
    Started();
    QPushButton* cancel = Find<QPushButton>("cmdCancel");
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(cancel->isEnabled());
    transfer.SendProgress(1024, 4096);
    Deliver();
    EXPECT_EQ(transfer.cancelAnswers, std::vector<bool>{true});
}

TEST_F(DownloadWindow, CancelDuringTheTransferAnswersTheNextReport) {
    Open();
    Started();
    transfer.SendProgress(1024, 4096);
    Deliver();
    QTest::mouseClick(Find<QPushButton>("cmdCancel"), Qt::LeftButton);
    transfer.SendProgress(2048, 4096);
    transfer.SendStatusCode(kConnectionLost);  // no reconnect question, and no word on the failure
    transfer.SendFailed();
    Deliver();
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(transfer.cancels, 1);
    EXPECT_EQ(transfer.cancelAnswers, (std::vector<bool>{false, true}));
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->OK());
}

TEST_F(DownloadWindow, CompletionClosesWithOK) {
    Open();
    Started();
    transfer.SendProgress(4096, 4096);
    transfer.SendComplete();
    Deliver();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->OK());
    EXPECT_TRUE(window->Installer());
}

TEST_F(DownloadWindow, UntickedCheckBoxMeansNoInstall) {
    Open();
    Started();
    QCheckBox* install = Find<QCheckBox>("chkInstall");
    QTest::mouseClick(install, Qt::LeftButton, {}, QPoint(6, install->height() / 2));  // on the box
    EXPECT_FALSE(window->Installer());
    transfer.SendComplete();
    Deliver();
    EXPECT_TRUE(window->OK());
    EXPECT_FALSE(window->Installer());
}

TEST_F(DownloadWindow, FailureDeletesTheDownloadAndItsPart) {
    test::WriteAll(folder / "VelkorSetup_4711.exe", "MZ old");
    test::WriteAll(folder / "VelkorSetup_4711.exe.part", "MZ half");
    test::WriteAll(folder / "VelkorSetup_4700.exe", "MZ other build");
    Open();
    Started();
    transfer.SendStart();
    transfer.SendProgress(1024, 4096);
    transfer.SendFailed();
    Deliver();
    EXPECT_FALSE(std::filesystem::exists(folder / "VelkorSetup_4711.exe"));
    EXPECT_FALSE(std::filesystem::exists(folder / "VelkorSetup_4711.exe.part"));
    EXPECT_TRUE(std::filesystem::exists(folder / "VelkorSetup_4700.exe"));
    EXPECT_FALSE(window->OK());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(Shown("ProgressBar1"));
}

TEST_F(DownloadWindow, FailureWithoutAFileDeletesNothing) {
    test::WriteAll(folder / "VelkorSetup_4700.exe", "MZ other build");
    Open();
    window->SetLocalExe("");
    Started();
    transfer.SendFailed();
    Deliver();
    EXPECT_TRUE(std::filesystem::exists(folder / "VelkorSetup_4700.exe"));
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path()));
    EXPECT_FALSE(window->OK());
}

TEST_F(DownloadWindow, StartThatCannotBeginEndsLikeAFailure) {
    test::WriteAll(folder / "VelkorSetup_4711.exe.part", "MZ");
    transfer.fetchFails = true;
    Open();
    Started();
    EXPECT_TRUE(WaitUntil([this] { return !window->isVisible(); }));
    EXPECT_FALSE(window->OK());
    EXPECT_FALSE(std::filesystem::exists(folder / "VelkorSetup_4711.exe.part"));
}

TEST_F(DownloadWindow, ClosingFromOutsideWaitsForTheWholeFile) {
    Open();
    window->close();
    EXPECT_TRUE(window->isVisible());  // still waiting for the start

    Started();
    transfer.SendProgress(1024, 4096);
    Deliver();
    window->close();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());

    transfer.SendProgress(4096, 4096);
    Deliver();
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->OK());
}

TEST_F(DownloadWindow, ConnectionLostAsksWhetherToReconnect) {
    Open();
    Started();
    answers = {MessageAnswer::Yes, MessageAnswer::No};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    transfer.SendStatusCode(kConnectionLost);
    Deliver();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text,
              "Connection to updates.example.test has been lost - would you like to reconnect?");
    EXPECT_EQ(asked[0].title, "Connection lost");
    EXPECT_EQ(asked[0].icon, MessageIcon::Question);
    EXPECT_EQ(asked[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(transfer.reconnects, 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    transfer.SendStatusCode(kConnectionLost);
    transfer.SendStatusCode(-1);
    transfer.SendStatusCode(0);
    Deliver();
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(transfer.reconnects, 1);
    EXPECT_TRUE(window->isVisible());

    // The No was the user's own end: no box says it again.
    transfer.SendFailed();
    Deliver();
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(DownloadWindow, FailedReconnectIsReported) {
    Open();
    Started();
    transfer.reconnectFails = true;
    answers = {MessageAnswer::Yes};
    transfer.SendStatusCode(kConnectionLost);
    Deliver();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].text, "Could not reconnect: Connection refused");
    EXPECT_EQ(asked[1].title, "tvkUpdateService");
    EXPECT_EQ(asked[1].icon, MessageIcon::None);
    EXPECT_EQ(asked[1].buttons, MessageButtons::Ok);

    transfer.hostNameFails = true;
    transfer.SendStatusCode(kConnectionLost);
    Deliver();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[2].text, "Could not reconnect: no host");
    EXPECT_EQ(transfer.reconnects, 1);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(DownloadWindow, ClosedWindowNoLongerReceivesEvents) {
    Open();
    Started();
    window.reset();
    EXPECT_EQ(transfer.events, nullptr);
    EXPECT_EQ(transfer.dispatcher, nullptr);
}

}  // namespace
}  // namespace tvk
