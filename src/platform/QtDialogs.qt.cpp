// The windows module: message boxes (and later the windows) on Qt Widgets.
#include <QApplication>
#include <QGuiApplication>
#include <chrono>

#include "platform/Platform.h"
#include "platform/QtApplication.qt.h"
#include "platform/QtWindows.qt.h"
#include "platform/WindowsModule.h"

namespace {

// Qt ends the process when its platform plugin cannot start (a display
// server that refuses the connection or the handshake, a Wayland socket
// without a compositor or without Qt's plugin for it), and a server that
// accepts the socket but never answers would hang it. So Qt first starts its
// platform in a throw-away child process, the same way it will here.
constexpr std::chrono::seconds kPlatformStartLimit{10};

bool DisplayOpens() {
    if (QCoreApplication::instance() != nullptr) return true;
    return tvk::platform::SucceedsInChildProcess(
        [] {
            static int argc = 1;
            static char name[] = "tvkUpdateService";
            static char* argv[] = {name, nullptr};
            new QGuiApplication(argc, argv);  // the child ends at once; nothing to free
            return true;
        },
        kPlatformStartLimit);
}

class QtDialogs : public tvk::Dialogs {
public:
    QtDialogs() { tvk::EnsureApplication(); }

    tvk::MessageAnswer ShowMessage(const tvk::MessageBoxRequest& request) override {
        return tvk::ShowMessageBoxQt(request);
    }

    bool ShowMessageWindow(const tvk::RunState& state,
                           const tvk::MessageWindowRequest& request) override {
        return tvk::ShowMessageWindowQt(state, request);
    }

    tvk::DownloadWindowResult ShowDownloadWindow(const tvk::RunState& state,
                                                 const tvk::DownloadWindowRequest& request) override {
        return tvk::ShowDownloadWindowQt(state, request);
    }
};

}  // namespace

extern "C" tvk::Dialogs* tvkWindowsCreateDialogs() {
    // Never freed: the application object must outlive every window, and
    // tearing Qt down during static destruction is a known source of crashes.
    static QtDialogs* dialogs = nullptr;
    if (dialogs == nullptr && DisplayOpens()) dialogs = new QtDialogs();
    return dialogs;
}
