#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/ServiceError.h"
#include "components/TransferComponent.h"

namespace tvk::test {

// An asynchronous transfer component driven by the test: it records what the
// window asks of it and sends the events the test chooses, through the
// dispatcher the window gave it, in any order and with any fault.
class FakeTransfer : public TransferComponent {
  public:
    struct Fetch {
        std::string url, folder, fileName;
    };

    // What the window asked.
    std::optional<bool> asynchronous;
    TransferEvents* events = nullptr;
    EventDispatcher* dispatcher = nullptr;
    std::vector<Fetch> fetches;
    DownloadCheck check;
    int reconnects = 0;
    int cancels = 0;
    std::vector<bool> cancelAnswers;  // one per delivered progress report

    // Faults to inject.
    std::string hostName = "updates.example.test";
    bool hostNameFails = false;
    bool reconnectFails = false;
    bool fetchFails = false;

    void Asynchronous(bool value) override { asynchronous = value; }
    void SetEvents(TransferEvents* e, EventDispatcher* d) override { events = e, dispatcher = d; }
    void Cancel() override { ++cancels; }
    void Reconnect() override {
        ++reconnects;
        if (reconnectFails) throw ServiceError(10061, "Connection refused");
    }
    // The download window never uploads.
    void Connect(const std::string&, const std::string&, const std::string&) override {}
    void PutFile(const std::string&, const std::string&) override {}
    int64_t RemoteFileSize(const std::string&, const std::string&) override { return -1; }
    std::string HostName() const override {
        if (hostNameFails) throw std::runtime_error("no host");
        return hostName;
    }
    void SetDownloadCheck(DownloadCheck value) override { check = std::move(value); }
    std::string FetchHTTP(const std::string&, size_t) override {
        throw ServiceError(5, "The download window fetches nothing into memory");
    }
    void GetFileHTTP(const std::string& url, const std::string& folder,
                     const std::string& fileName) override {
        fetches.push_back({url, folder, fileName});
        if (fetchFails) throw ServiceError(5, "Asynchronous transfers are not available");
    }

    // Events, posted as the real component posts them; they arrive when the
    // test lets the event loop run.
    void SendStatusCode(int32_t code) {
        Send([=](TransferEvents& e) { e.StatusCode(code); });
    }
    void SendStatusMessage(std::string text) {
        Send([=](TransferEvents& e) { e.StatusMessage(text); });
    }
    void SendStart() {
        Send([](TransferEvents& e) { e.TransferStart(kRemote, kLocal, true); });
    }
    void SendProgress(int64_t bytesSoFar, int64_t total) {
        Send([=, this](TransferEvents& e) {
            bool cancel = false;
            e.TransferProgress(kRemote, kLocal, bytesSoFar, total, cancel);
            cancelAnswers.push_back(cancel);
        });
    }
    void SendFailed(TransferError failure = {TransferCause::NotOnServer, 404, "Not Found"}) {
        Send([=](TransferEvents& e) { e.TransferFailed(kRemote, kLocal, failure); });
    }
    void SendComplete() {
        Send([](TransferEvents& e) { e.TransferComplete(kRemote, kLocal); });
    }

  private:
    static constexpr const char* kRemote = "remote";
    static constexpr const char* kLocal = "local";

    void Send(std::function<void(TransferEvents&)> event) {
        if (dispatcher == nullptr)
            throw std::logic_error("no dispatcher: the window did not set events");
        dispatcher->Post([this, event] {
            if (events != nullptr) event(*events);
        });
    }
};

}  // namespace tvk::test
