// Downloads one file through the download window, offscreen, as a user's run
// does: the window's own transfer instance, its events, its progress display.
// Prints the same line as the transfer benchmark, for bench/run; the time runs
// from the window's request to its close.
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "components/transfer/CurlTransfer.h"
#include "download/frmOppdat.qt.h"
#include "localisation/StringTable.h"
#include "platform/QtApplication.qt.h"

namespace {

long PeakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// The window's transfer, noting when the window asks for the download, so
// that the time measured is the download's and not the window's start delay.
class TimedTransfer : public tvk::TransferComponent {
  public:
    void Asynchronous(bool on) override { inner_.Asynchronous(on); }
    void SetEvents(tvk::TransferEvents* e, tvk::EventDispatcher* d) override {
        inner_.SetEvents(e, d);
    }
    void GetFileHTTP(const std::string& url, const std::string& folder,
                     const std::string& file) override {
        started = std::chrono::steady_clock::now();
        inner_.GetFileHTTP(url, folder, file);
    }
    void Reconnect() override { inner_.Reconnect(); }
    void Cancel() override { inner_.Cancel(); }
    std::string HostName() const override { return inner_.HostName(); }
    void Connect(const std::string& h, const std::string& u, const std::string& p) override {
        inner_.Connect(h, u, p);
    }
    void PutFile(const std::string& l, const std::string& r) override { inner_.PutFile(l, r); }
    int64_t RemoteFileSize(const std::string& r, const std::string& f) override {
        return inner_.RemoteFileSize(r, f);
    }
    void SetDownloadCheck(tvk::DownloadCheck check) override { inner_.SetDownloadCheck(check); }
    std::string FetchHTTP(const std::string& url, size_t limit) override {
        return inner_.FetchHTTP(url, limit);
    }

    std::chrono::steady_clock::time_point started;

  private:
    tvk::CurlTransfer inner_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <folder url> <file name on host> <local folder>\n",
                     argv[0]);
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    tvk::EnsureApplication();
    const tvk::StringTableTexts texts(2057);
    TimedTransfer transfer;
    tvk::frmOppdat window(transfer, texts);
    window.SetURLHost(argv[1]);
    window.SetHostExe(argv[2]);
    window.SetLocalExe("window.bin");
    window.SetLocalPath(std::string(argv[3]) + "/");
    window.exec();
    std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - transfer.started;
    std::printf("ok=%d seconds=%.3f hwm_kb=%ld\n", window.OK() ? 1 : 0, seconds.count(),
                PeakResidentKb());
    return window.OK() ? 0 : 1;
}
