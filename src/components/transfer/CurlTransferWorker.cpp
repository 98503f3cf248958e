#include "components/transfer/CurlTransferWorker.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <utility>

#include "common/ServiceError.h"
#include "components/transfer/CurlTransferAttempt.h"
#include "components/transfer/CurlTransferPartFile.h"
#include "components/transfer/CurlTransferSupport.h"
#include "platform/Platform.h"

namespace tvk {

namespace {

using Clock = std::chrono::steady_clock;
using namespace curl_support;

// At most 20 progress reports a second: the window redraws on each, and a fast
// line would otherwise flood its queue.
constexpr auto kReportInterval = std::chrono::milliseconds(50);

}  // namespace

// Shared by the worker thread, the component and every posted call, so that a
// call delivered late still finds it.
struct CurlTransferWorker::State : CurlTransferAttempt::Listener,
                                   std::enable_shared_from_this<CurlTransferWorker::State> {
    explicit State(Request r)
        : request(std::move(r)),
          local(platform::PathText(TargetPath(request.folder, request.fileName))),
          host(HostOf(request.url)),
          attempt(request.options, request.check) {}

    const Request request;
    const std::string local;
    const std::string host;
    CurlTransferAttempt attempt;

    std::atomic<bool> alive{true};  // false once the component is gone
    std::atomic<bool> cancel{false};
    std::atomic<bool> abandon{false};
    std::atomic<bool> ended{false};
    std::atomic<bool> progressPending{false};

    std::mutex mutex;
    std::condition_variable changed;
    bool suspended = false;
    bool resume = false;
    uint64_t suspension = 0;  // which connection loss the window is answering
    uint64_t answered = 0;

    // Worker thread only.
    bool started = false;
    Clock::time_point lastReport{};
    int64_t reportedBytes = -1;
    int64_t reportedTotal = -1;

    template <class F>
    void Deliver(F call) {
        request.dispatcher->Post([self = shared_from_this(), call] {
            if (self->alive) call(*self->request.events);
        });
    }
    void Message(const std::string& text) {
        Deliver([text](TransferEvents& events) { events.StatusMessage(text); });
    }

    void Run();
    void Download();
    void Finish(CurlTransferPartFile& file);
    void Complete();
    void Fail(const TransferError& failure);
    bool WaitForReconnect(const std::string& reason);
    void Report(int64_t bytes, int64_t total, bool last);

    void ResponseStarted() override;
    void Progress(int64_t bytes, int64_t total) override { Report(bytes, total, false); }
    bool StopRequested() override { return cancel || abandon; }

    void Cancel() {
        {
            std::lock_guard lock(mutex);
            cancel = true;
        }
        changed.notify_all();
        attempt.Wake();
    }
    void Answered(uint64_t id) {
        {
            std::lock_guard lock(mutex);
            answered = std::max(answered, id);
        }
        changed.notify_all();
    }
    void Abandon() {
        alive = false;
        {
            std::lock_guard lock(mutex);
            abandon = true;
        }
        changed.notify_all();
        attempt.Wake();
    }
};

void CurlTransferWorker::State::Run() {
    try {
        Download();
    } catch (const ServiceError& failure) {
        if (!abandon) Fail({TransferError::CauseOf(failure), failure});
    } catch (const std::exception& failure) {
        if (!abandon) Fail({TransferCause::Other, -1, failure.what()});
    }
}

void CurlTransferWorker::State::Download() {
    if (!IsPlainFileName(request.fileName)) {
        Fail({TransferCause::Other, ErrorNumber::InvalidArgument,
              "The local file name \"" + request.fileName + "\" is not a plain file name"});
        return;
    }
    Message("Connecting to " + host);
    std::unique_ptr<CurlTransferPartFile> file;
    try {
        file = std::make_unique<CurlTransferPartFile>(platform::TextPath(local));
    } catch (const ServiceError& failure) {
        Fail({CauseOfFileError(static_cast<int>(failure.Number())), failure});
        return;
    }
    bool reconnecting = false;
    for (;;) {
        if (file->Size() > 0) Message("Resuming at byte " + std::to_string(file->Size()));
        Message("HTTPGET " + RequestTarget(request.url));
        CurlTransferAttempt::Result result;
        try {
            result = attempt.Run(request.url, *file, *this, reconnecting);
        } catch (const ServiceError& failure) {
            result = {CurlTransferAttempt::Outcome::Failed, TransferCause::Other, failure.Number(),
                      failure.Description()};
        }
        switch (result.outcome) {
            case CurlTransferAttempt::Outcome::Complete:
                Finish(*file);
                return;
            case CurlTransferAttempt::Outcome::Failed:
                Fail(result.Failure());
                return;
            case CurlTransferAttempt::Outcome::Stopped:
                if (!abandon)
                    Fail({TransferCause::Other, CURLE_ABORTED_BY_CALLBACK,
                          "The transfer was cancelled"});
                return;
            case CurlTransferAttempt::Outcome::Lost:
                break;
        }
        if (!WaitForReconnect(result.reason)) {
            if (!abandon) Fail(result.Failure());
            return;
        }
        reconnecting = true;
        Message("Connecting to " + host);
    }
}

void CurlTransferWorker::State::Finish(CurlTransferPartFile& file) {
    try {
        if (request.check.verify) {
            Message("Checking the signature of " + request.fileName);
            request.check.verify(file.PartPath());
        }
    } catch (const ServiceError& refusal) {
        Fail({TransferCause::Refused, refusal});
        return;
    }
    try {
        file.Commit();
    } catch (const ServiceError& failure) {
        Fail({CauseOfFileError(static_cast<int>(failure.Number())), failure});
        return;
    }
    Report(file.Size(), file.Size(), true);
    Complete();
}

// Each posted end marks the download ended before its handler runs, so that
// the handler may start the next download.
void CurlTransferWorker::State::Complete() {
    Message("Transfer complete");
    request.dispatcher->Post([self = shared_from_this()] {
        self->ended = true;
        if (self->alive) self->request.events->TransferComplete(self->request.url, self->local);
    });
}

void CurlTransferWorker::State::Fail(const TransferError& failure) {
    Message(failure.Description());
    request.dispatcher->Post([self = shared_from_this(), failure] {
        self->ended = true;
        if (self->alive)
            self->request.events->TransferFailed(self->request.url, self->local, failure);
    });
}

bool CurlTransferWorker::State::WaitForReconnect(const std::string& reason) {
    uint64_t id = 0;
    {
        std::lock_guard lock(mutex);
        suspended = true;
        resume = false;
        id = ++suspension;
    }
    Message("Connection lost: " + reason);
    request.dispatcher->Post([self = shared_from_this(), id] {
        // Whatever the handler does, its return is the answer.
        struct AnswerOnReturn {
            State& state;
            uint64_t id;
            ~AnswerOnReturn() { state.Answered(id); }
        } answer{*self, id};
        if (self->alive) self->request.events->StatusCode(kConnectionLost);
    });
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return resume || answered >= id || abandon || cancel; });
    bool again = resume && !abandon && !cancel;
    suspended = false;
    resume = false;
    return again;
}

void CurlTransferWorker::State::ResponseStarted() {
    if (started) return;
    started = true;
    Deliver([self = shared_from_this()](TransferEvents& events) {
        events.TransferStart(self->request.url, self->local, true);
    });
}

void CurlTransferWorker::State::Report(int64_t bytes, int64_t total, bool last) {
    if (bytes == reportedBytes && total == reportedTotal) return;
    if (!last) {
        // Merged: while the window has not taken the previous report, or
        // within the interval, the next one carries the newer counts.
        Clock::time_point now = Clock::now();
        if (progressPending || now - lastReport < kReportInterval) return;
        lastReport = now;
    }
    reportedBytes = bytes;
    reportedTotal = total;
    progressPending = true;
    // An unknown size is reported as 0, which the window takes as "no estimate".
    int64_t shownTotal = std::max<int64_t>(total, 0);
    request.dispatcher->Post([self = shared_from_this(), bytes, shownTotal] {
        self->progressPending = false;
        if (!self->alive) return;
        bool cancel = false;
        self->request.events->TransferProgress(self->request.url, self->local, bytes, shownTotal,
                                               cancel);
        if (cancel) self->Cancel();
    });
}

CurlTransferWorker::CurlTransferWorker(Request request)
    : state_(std::make_shared<State>(std::move(request))) {
    thread_ = std::thread([state = state_] { state->Run(); });
}

CurlTransferWorker::~CurlTransferWorker() {
    state_->Abandon();
    thread_.join();
}

bool CurlTransferWorker::Resume() {
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->suspended) return false;
        state_->resume = true;
    }
    state_->changed.notify_all();
    return true;
}

bool CurlTransferWorker::Ended() const { return state_->ended; }

void CurlTransferWorker::Cancel() { state_->Cancel(); }

}  // namespace tvk
