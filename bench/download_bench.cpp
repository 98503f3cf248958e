// Downloads one URL with the asynchronous CurlTransfer the way the download
// window does: events through a dispatcher pumped on the main thread.
// Prints the bytes, the seconds and the process's peak resident memory.
//
//   tvkDownloadBench <url> <folder> <file name>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "QueueDispatcher.h"
#include "components/transfer/CurlTransfer.h"

namespace {

class Outcome : public tvk::TransferEvents {
  public:
    void StatusCode(int32_t code) override {
        if (code == tvk::kConnectionLost) std::fprintf(stderr, "connection lost\n");
    }
    void StatusMessage(const std::string&) override {}
    void TransferStart(const std::string&, const std::string&, bool) override {}
    void TransferProgress(const std::string&, const std::string&, int64_t bytesSoFar, int64_t,
                          bool&) override {
        bytes = bytesSoFar;
        ++reports;
    }
    void TransferFailed(const std::string&, const std::string&,
                        const tvk::TransferError&) override {
        ended = failed = true;
    }
    void TransferComplete(const std::string&, const std::string&) override { ended = true; }

    bool ended = false;
    bool failed = false;
    int64_t bytes = 0;
    int reports = 0;
};

long PeakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <url> <folder> <file name>\n", argv[0]);
        return 2;
    }
    tvk::test::QueueDispatcher dispatcher;
    Outcome outcome;
    tvk::CurlTransfer transfer;
    transfer.Asynchronous(true);
    transfer.SetEvents(&outcome, &dispatcher);
    auto began = std::chrono::steady_clock::now();
    transfer.GetFileHTTP(argv[1], argv[2], argv[3]);
    dispatcher.PumpUntil([&] { return outcome.ended; }, std::chrono::hours(24));
    std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - began;
    std::printf("bytes=%lld seconds=%.3f reports=%d hwm_kb=%ld\n",
                static_cast<long long>(outcome.bytes), seconds.count(), outcome.reports,
                PeakResidentKb());
    return outcome.failed ? 1 : 0;
}
