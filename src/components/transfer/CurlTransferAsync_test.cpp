#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "LoopbackHttpServer.h"
#include "QueueDispatcher.h"
#include "TestSupport.h"
#include "components/transfer/CurlTransfer.h"

namespace tvk {
namespace {

using namespace std::chrono_literals;
using test::LoopbackHttpServer;
using test::ReadAll;
using test::WriteAll;
using Clock = std::chrono::steady_clock;
using test::QueueDispatcher;

enum class Kind { Code, Message, Start, Progress, Failed, Complete };

struct Event {
    Kind kind;
    int64_t bytes = 0;  // Progress: bytes so far; Code: the code
    int64_t total = 0;
    std::string text;
    std::thread::id thread = std::this_thread::get_id();
};

// Records what the window would see, and answers like the window: the cancel
// answer and the reconnect question are decided by the test.
class RecordingEvents : public TransferEvents {
  public:
    void StatusCode(int32_t code) override {
        events.push_back({Kind::Code, code, 0, ""});
        if (onStatusCode) onStatusCode(code);
    }
    void StatusMessage(const std::string& text) override {
        events.push_back({Kind::Message, 0, 0, text});
    }
    void TransferStart(const std::string&, const std::string& local, bool download) override {
        events.push_back({Kind::Start, download ? 1 : 0, 0, local});
    }
    void TransferProgress(const std::string&, const std::string&, int64_t bytes, int64_t total,
                          bool& cancel) override {
        events.push_back({Kind::Progress, bytes, total, ""});
        cancel = cancelWhen && cancelWhen(bytes, total);
    }
    // Failed: the cause and the number, and the description as the text.
    void TransferFailed(const std::string&, const std::string&,
                        const TransferError& failure) override {
        events.push_back({Kind::Failed, static_cast<int64_t>(failure.Cause()), failure.Number(),
                          failure.Description()});
    }
    void TransferComplete(const std::string&, const std::string&) override {
        events.push_back({Kind::Complete, 0, 0, ""});
    }

    int Count(Kind kind) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(),
                                              [&](const Event& e) { return e.kind == kind; }));
    }
    bool Ended() const { return Count(Kind::Failed) + Count(Kind::Complete) > 0; }
    std::vector<Event> Of(Kind kind) const {
        std::vector<Event> found;
        for (const Event& e : events)
            if (e.kind == kind) found.push_back(e);
        return found;
    }
    bool HasMessage(const std::string& text) const {
        for (const Event& e : Of(Kind::Message))
            if (e.text.find(text) != std::string::npos) return true;
        return false;
    }

    std::vector<Event> events;
    std::function<void(int32_t)> onStatusCode;
    std::function<bool(int64_t, int64_t)> cancelWhen;
};

class CurlTransferAsyncTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The machine's proxy must not route loopback traffic elsewhere.
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                 "ALL_PROXY", "no_proxy", "NO_PROXY"})
            test::SetEnvironment(name, std::nullopt);
    }

    void Start(const std::string& path, TransferOptions options = {5s, 2s, ""}) {
        transfer = std::make_unique<CurlTransfer>(options);
        transfer->Asynchronous(true);
        transfer->SetEvents(&events, &dispatcher);
        transfer->GetFileHTTP(server.Url(path), folder.Path().string() + "/", "setup.exe");
    }
    bool PumpToEnd() {
        return dispatcher.PumpUntil([&] { return events.Ended(); });
    }
    // After the end nothing more may arrive.
    void ExpectNothingMore() {
        size_t seen = events.events.size();
        dispatcher.PumpFor(300ms);
        EXPECT_EQ(events.events.size(), seen);
    }
    void ExpectFileIsTheHosts(int64_t size) {
        std::string content = ReadAll(folder / "setup.exe");
        EXPECT_EQ(content.size(), static_cast<size_t>(size));
        EXPECT_TRUE(content == LoopbackHttpServer::Pattern(0, static_cast<size_t>(size)))
            << "the stored file differs from the host's";
        EXPECT_FALSE(std::filesystem::exists(folder / "setup.exe.part"));
    }
    std::string Trace() const {
        std::string text;
        for (const Event& e : events.events)
            text += std::to_string(static_cast<int>(e.kind)) + " " + std::to_string(e.bytes) + " " +
                    std::to_string(e.total) + " " + e.text + "\n";
        return text;
    }
    void ReconnectOnLoss() {
        events.onStatusCode = [this](int32_t code) {
            if (code == kConnectionLost) transfer->Reconnect();
        };
    }

    test::TempFolder folder;
    LoopbackHttpServer server;
    QueueDispatcher dispatcher;
    RecordingEvents events;
    std::unique_ptr<CurlTransfer> transfer;  // last: gone before what it reports to
};

TEST_F(CurlTransferAsyncTest, CompletesThroughTheDispatcherWithTheHostsBytes) {
    const int64_t size = 3 * 1024 * 1024 + 17;
    server.Serve("/setup.exe", LoopbackHttpServer::Generated(size));
    WriteAll(folder / "setup.exe", "an older setup");
    Start("/setup.exe");
    EXPECT_EQ(transfer->HostName(), "127.0.0.1");
    ASSERT_TRUE(PumpToEnd());
    ExpectNothingMore();

    ExpectFileIsTheHosts(size);
    EXPECT_EQ(events.Count(Kind::Complete), 1);
    EXPECT_EQ(events.Count(Kind::Failed), 0);
    EXPECT_EQ(events.Count(Kind::Code), 0);
    EXPECT_EQ(events.events.front().text, "Connecting to 127.0.0.1");
    EXPECT_TRUE(events.HasMessage("HTTPGET /setup.exe"));
    for (const Event& e : events.events)
        EXPECT_EQ(e.thread, std::this_thread::get_id()) << "an event bypassed the dispatcher";

    // Start first, then progress that only grows, ending at the exact size.
    auto start = std::find_if(events.events.begin(), events.events.end(),
                              [](const Event& e) { return e.kind == Kind::Start; });
    auto firstProgress = std::find_if(events.events.begin(), events.events.end(),
                                      [](const Event& e) { return e.kind == Kind::Progress; });
    ASSERT_NE(start, events.events.end());
    EXPECT_EQ(start->bytes, 1) << "a download";
    EXPECT_EQ(start->text, (folder / "setup.exe").string());
    EXPECT_LT(start, firstProgress);
    std::vector<Event> progress = events.Of(Kind::Progress);
    ASSERT_FALSE(progress.empty());
    for (size_t i = 0; i < progress.size(); ++i) {
        EXPECT_EQ(progress[i].total, size);
        if (i > 0) {
            EXPECT_GT(progress[i].bytes, progress[i - 1].bytes);
        }
    }
    EXPECT_EQ(progress.back().bytes, size);
    EXPECT_EQ(events.events.back().kind, Kind::Complete);
}

TEST_F(CurlTransferAsyncTest, ProgressIsMergedToTwentyASecond) {
    const int64_t size = 6 * 1024 * 1024;
    auto response = LoopbackHttpServer::Generated(size);
    response.pace = 4ms;  // about 400 ms in 96 pieces: many more reads than reports
    server.Serve("/setup.exe", response);
    Clock::time_point began = Clock::now();
    Start("/setup.exe");
    ASSERT_TRUE(PumpToEnd());
    auto elapsed = Clock::now() - began;

    std::vector<Event> progress = events.Of(Kind::Progress);
    // Reports are at least 50 ms apart, plus the final one at 100 %.
    EXPECT_LE(progress.size(), static_cast<size_t>(elapsed / 50ms) + 2) << progress.size();
    EXPECT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.back().bytes, size);
    ExpectFileIsTheHosts(size);
}

TEST_F(CurlTransferAsyncTest, AtMostOneProgressReportWaitsForTheWindow) {
    auto response = LoopbackHttpServer::Generated(4 * 1024 * 1024);
    response.pace = 5ms;
    server.Serve("/setup.exe", response);
    Start("/setup.exe");
    std::this_thread::sleep_for(400ms);  // the window is busy
    dispatcher.PumpQueued();
    if (!events.Ended()) {
        EXPECT_LE(events.Count(Kind::Progress), 1);
    }
    ASSERT_TRUE(PumpToEnd());
    EXPECT_EQ(events.Count(Kind::Complete), 1);
}

TEST_F(CurlTransferAsyncTest, ProgressDuringAStallIsExactAndCancelEndsWithFailure) {
    const int64_t size = 2 * 1024 * 1024;
    auto response = LoopbackHttpServer::Generated(size);
    response.stallAfter = 100000;
    server.Serve("/setup.exe", response);
    WriteAll(folder / "setup.exe", "an older setup");
    events.cancelWhen = [](int64_t bytes, int64_t) { return bytes == 100000; };
    Start("/setup.exe", {5s, 30s, ""});
    ASSERT_TRUE(PumpToEnd());
    ExpectNothingMore();

    std::vector<Event> progress = events.Of(Kind::Progress);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().bytes, 100000);
    EXPECT_EQ(progress.back().total, size);
    EXPECT_EQ(events.Count(Kind::Failed), 1);
    EXPECT_EQ(events.Count(Kind::Complete), 0);
    EXPECT_EQ(events.Count(Kind::Code), 0) << "a cancel is no lost connection";
    EXPECT_EQ(ReadAll(folder / "setup.exe"), "an older setup");
}

TEST_F(CurlTransferAsyncTest, CancelAnsweredAtTheFirstReportEndsWithFailure) {
    auto response = LoopbackHttpServer::Generated(8 * 1024 * 1024);
    response.stallAfter = 1024 * 1024;  // cannot complete before the answer arrives
    server.Serve("/setup.exe", response);
    events.cancelWhen = [](int64_t, int64_t) { return true; };
    Start("/setup.exe", {5s, 30s, ""});
    ASSERT_TRUE(PumpToEnd());
    EXPECT_EQ(events.Count(Kind::Progress), 1);
    EXPECT_EQ(events.events.back().kind, Kind::Failed);
    EXPECT_EQ(events.Count(Kind::Complete), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "setup.exe"));
}

TEST_F(CurlTransferAsyncTest, HttpErrorFailsWithoutAskingToReconnect) {
    Start("/missing.exe");
    ASSERT_TRUE(PumpToEnd());
    ExpectNothingMore();
    EXPECT_EQ(events.Count(Kind::Failed), 1);
    EXPECT_EQ(events.Count(Kind::Code), 0);
    EXPECT_EQ(events.Count(Kind::Start), 0);
    EXPECT_TRUE(events.HasMessage("Not Found"));
    EXPECT_EQ(events.Of(Kind::Failed)[0].bytes, static_cast<int64_t>(TransferCause::NotOnServer));
    EXPECT_EQ(events.Of(Kind::Failed)[0].total, 404);
    EXPECT_FALSE(std::filesystem::exists(folder / "setup.exe"));
}

TEST_F(CurlTransferAsyncTest, ReconnectAfterADroppedConnectionResumesWithARange) {
    const int64_t size = 1024 * 1024 + 123;
    auto response = LoopbackHttpServer::Generated(size);
    response.dropAfter = 300000;
    response.faultyRequests = 1;
    server.Serve("/setup.exe", response);
    ReconnectOnLoss();
    Start("/setup.exe");
    ASSERT_TRUE(PumpToEnd());

    EXPECT_EQ(events.Count(Kind::Code), 1);
    EXPECT_EQ(events.Of(Kind::Code).front().bytes, -2);
    EXPECT_EQ(events.Count(Kind::Complete), 1);
    EXPECT_EQ(server.Requests("/setup.exe"), 2);
    EXPECT_NE(server.LastRequestHead("/setup.exe").find("Range: bytes=300000-\r\n"),
              std::string::npos)
        << server.LastRequestHead("/setup.exe");
    EXPECT_EQ(events.Count(Kind::Start), 1);
    // The second request carried on from the bytes already stored.
    auto code = std::find_if(events.events.begin(), events.events.end(),
                             [](const Event& e) { return e.kind == Kind::Code; });
    for (auto e = code; e != events.events.end(); ++e)
        if (e->kind == Kind::Progress) {
            EXPECT_GE(e->bytes, 300000);
        }
    EXPECT_EQ(events.Of(Kind::Progress).back().bytes, size);
    ExpectFileIsTheHosts(size);
}

TEST_F(CurlTransferAsyncTest, AStalledTransferCountsAsLostAndResumes) {
    const int64_t size = 512 * 1024;
    auto response = LoopbackHttpServer::Generated(size);
    response.stallAfter = 50000;
    response.faultyRequests = 1;
    server.Serve("/setup.exe", response);
    ReconnectOnLoss();
    Start("/setup.exe", {5s, 1s, ""});
    ASSERT_TRUE(PumpToEnd());

    EXPECT_EQ(events.Count(Kind::Code), 1);
    EXPECT_NE(server.LastRequestHead("/setup.exe").find("Range: bytes=50000-"), std::string::npos);
    ExpectFileIsTheHosts(size);
}

TEST_F(CurlTransferAsyncTest, NoReconnectEndsWithFailureAndKeepsThePartFile) {
    auto response = LoopbackHttpServer::Generated(1024 * 1024);
    response.dropAfter = 200000;
    server.Serve("/setup.exe", response);
    Start("/setup.exe");
    ASSERT_TRUE(PumpToEnd());
    ExpectNothingMore();

    std::vector<Event>& all = events.events;
    auto code = std::find_if(all.begin(), all.end(), [](auto& e) { return e.kind == Kind::Code; });
    ASSERT_NE(code, all.end());
    EXPECT_EQ(code->bytes, -2);
    EXPECT_EQ(all.back().kind, Kind::Failed);
    EXPECT_EQ(all.back().bytes, static_cast<int64_t>(TransferCause::ConnectionLost));
    EXPECT_EQ(events.Count(Kind::Failed), 1);
    EXPECT_EQ(server.Requests("/setup.exe"), 1);
    EXPECT_FALSE(std::filesystem::exists(folder / "setup.exe"));
    EXPECT_EQ(std::filesystem::file_size(folder / "setup.exe.part"), 200000u);
}

TEST_F(CurlTransferAsyncTest, FewerBytesThanAnnouncedIsALossThenAFailure) {
    const int64_t size = 300000;
    auto response = LoopbackHttpServer::Generated(size);
    response.announceExtra = 1000;  // every answer claims more than it sends
    server.Serve("/setup.exe", response);
    ReconnectOnLoss();
    Start("/setup.exe");
    ASSERT_TRUE(PumpToEnd()) << Trace();
    ExpectNothingMore();

    // The resumed request asks beyond the end; the server refuses the range.
    EXPECT_EQ(events.Count(Kind::Code), 1);
    EXPECT_EQ(events.Count(Kind::Failed), 1);
    EXPECT_EQ(events.Count(Kind::Complete), 0);
    EXPECT_NE(server.LastRequestHead("/setup.exe").find("Range: bytes=300000-"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder / "setup.exe"));
}

TEST_F(CurlTransferAsyncTest, AServerIgnoringTheRangeMakesTheFileStartOver) {
    const int64_t size = 700000;
    auto response = LoopbackHttpServer::Generated(size);
    response.ranges = false;
    response.dropAfter = 250000;
    response.faultyRequests = 1;
    server.Serve("/setup.exe", response);
    ReconnectOnLoss();
    Start("/setup.exe");
    ASSERT_TRUE(PumpToEnd());

    EXPECT_NE(server.LastRequestHead("/setup.exe").find("Range: bytes=250000-"), std::string::npos);
    EXPECT_EQ(events.Count(Kind::Complete), 1);
    ExpectFileIsTheHosts(size);
}

TEST_F(CurlTransferAsyncTest, ARefusedReconnectAsksAgain) {
    auto own = std::make_unique<LoopbackHttpServer>();
    auto response = LoopbackHttpServer::Generated(400000);
    response.dropAfter = 100000;
    own->Serve("/setup.exe", response);
    int asked = 0;
    events.onStatusCode = [&](int32_t) {
        // The first time the host has gone away: the reconnect is refused.
        // The second time the user answers No.
        if (++asked == 1) {
            own.reset();
            transfer->Reconnect();
        }
    };
    transfer = std::make_unique<CurlTransfer>(TransferOptions{5s, 2s, ""});
    transfer->Asynchronous(true);
    transfer->SetEvents(&events, &dispatcher);
    transfer->GetFileHTTP(own->Url("/setup.exe"), folder.Path().string(), "setup.exe");
    ASSERT_TRUE(PumpToEnd());
    ExpectNothingMore();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(events.Count(Kind::Failed), 1);
    EXPECT_FALSE(std::filesystem::exists(folder / "setup.exe"));
}

TEST_F(CurlTransferAsyncTest, DestroyingTheComponentAbandonsTheTransferSilently) {
    auto response = LoopbackHttpServer::Generated(4 * 1024 * 1024);
    response.stallAfter = 100000;
    server.Serve("/setup.exe", response);
    Start("/setup.exe", {5s, 30s, ""});
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return events.Count(Kind::Progress) > 0; }));
    transfer.reset();  // joins the worker
    size_t seen = events.events.size();
    dispatcher.PumpFor(300ms);
    EXPECT_EQ(events.events.size(), seen);
    EXPECT_FALSE(events.Ended());
    EXPECT_FALSE(std::filesystem::exists(folder / "setup.exe"));

    // Also right after the start, and while the connection-lost question is open.
    Start("/setup.exe");
    transfer.reset();
    dispatcher.PumpFor(100ms);
    EXPECT_FALSE(events.Ended());

    response.stallAfter = -1;
    response.dropAfter = 1000;
    server.Serve("/setup.exe", response);
    events.onStatusCode = [this](int32_t) { transfer.reset(); };
    Start("/setup.exe");
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return !transfer; }));
    dispatcher.PumpFor(300ms);
    EXPECT_FALSE(events.Ended());
}

TEST_F(CurlTransferAsyncTest, MisuseIsRefusedAndBadNamesFailThroughTheEvents) {
    CurlTransfer bare;
    bare.Asynchronous(true);
    EXPECT_EQ(test::ErrorOf([&] {
                  bare.GetFileHTTP(server.Url("/a"), folder.Path().string(), "a");
              }).Number(),
              ErrorNumber::InvalidArgument);
    EXPECT_EQ(test::ErrorOf([&] { bare.Reconnect(); }).Number(), ErrorNumber::InvalidArgument);

    auto response = LoopbackHttpServer::Generated(1000);
    response.stallAfter = 10;
    server.Serve("/setup.exe", response);
    Start("/setup.exe", {5s, 30s, ""});
    EXPECT_EQ(test::ErrorOf([&] {
                  transfer->GetFileHTTP(server.Url("/setup.exe"), folder.Path().string(), "b");
              }).Number(),
              ErrorNumber::InvalidArgument);
    EXPECT_EQ(test::ErrorOf([&] { transfer->Reconnect(); }).Number(), ErrorNumber::InvalidArgument)
        << "nothing is suspended";
    transfer.reset();

    // A name reaching into another folder is a failed transfer, not a crash of the window.
    // (Its own path: the abandoned transfer's request may still be counted.)
    transfer = std::make_unique<CurlTransfer>();
    transfer->Asynchronous(true);
    transfer->SetEvents(&events, &dispatcher);
    transfer->GetFileHTTP(server.Url("/other.exe"), folder.Path().string(), "../setup.exe");
    ASSERT_TRUE(PumpToEnd());
    EXPECT_EQ(events.Count(Kind::Failed), 1);
    EXPECT_EQ(server.Requests("/other.exe"), 0);

    // Once ended, the same instance takes the next download.
    server.Serve("/setup.exe", LoopbackHttpServer::Generated(5000));
    events.events.clear();
    transfer->GetFileHTTP(server.Url("/setup.exe"), folder.Path().string(), "setup.exe");
    ASSERT_TRUE(PumpToEnd());
    EXPECT_EQ(events.Count(Kind::Complete), 1);
    ExpectFileIsTheHosts(5000);
}

}  // namespace
}  // namespace tvk
