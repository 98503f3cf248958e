// Downloads one file through the download window, offscreen, as a user's run
// does: the window's own transfer instance, its events, its progress display.
// Prints the same line as the transfer benchmark, for bench/run.
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "download/frmOppdat.qt.h"
#include "components/CurlTransfer.h"
#include "platform/QtApplication.qt.h"
#include "run/RunState.h"

namespace {

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
        std::fprintf(stderr, "usage: %s <folder url> <file name on host> <local folder>\n", argv[0]);
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    tvk::EnsureApplication();
    tvk::RunState state;
    state.LanguageId = 2057;
    tvk::CurlTransfer transfer;
    tvk::frmOppdat window(transfer, state);
    window.SetURLHost(argv[1]);
    window.SetHostExe(argv[2]);
    window.SetLocalExe("window.bin");
    window.SetLocalPath(std::string(argv[3]) + "/");
    auto began = std::chrono::steady_clock::now();
    window.exec();
    std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - began;
    std::printf("ok=%d seconds=%.3f hwm_kb=%ld\n", window.OK() ? 1 : 0, seconds.count(),
                PeakResidentKb());
    return window.OK() ? 0 : 1;
}
