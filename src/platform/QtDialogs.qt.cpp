// The windows module: message boxes (and later the windows) on Qt Widgets.
#include <dlfcn.h>

#include <QApplication>
#include <QGuiApplication>
#include <chrono>
#include <cstdlib>
#include <string_view>

#include "platform/Platform.h"
#include "platform/QtApplication.qt.h"
#include "platform/QtWindows.qt.h"
#include "platform/WindowsModule.h"

namespace {

// Qt ends the process when its platform plugin cannot start (a display
// server that refuses the connection or the handshake, a Wayland socket
// without a compositor or without Qt's plugin for it), and a server that
// accepts the socket but never answers would hang it. So Qt first starts its
// platform in a throw-away child process, the same way it will here. For
// the X display, which Qt uses unless told otherwise, the child only opens a
// connection through the library Qt would use: a user waits for the window,
// and a whole platform start would cost him a tenth of a second more.
constexpr std::chrono::seconds kPlatformStartLimit{10};

bool XConnectionOpens() {
    void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (xcb == nullptr) return false;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    if (connect == nullptr || hasError == nullptr) return false;
    void* connection = connect(nullptr, nullptr);
    return connection != nullptr && hasError(connection) == 0;  // the child ends at once
}

bool PlatformStarts() {
    static int argc = 1;
    static char name[] = "tvkUpdateService";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);  // the child ends at once; nothing to free
    return true;
}

bool DisplayOpens() {
    if (QCoreApplication::instance() != nullptr) return true;
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    std::string_view platform = chosen != nullptr && *chosen != '\0' ? chosen : "xcb";
    if (platform == "offscreen" || platform == "minimal") return true;
    const bool x = platform == "xcb" || platform.starts_with("xcb:");
    return tvk::platform::SucceedsInChildProcess(x ? XConnectionOpens : PlatformStarts,
                                                 kPlatformStartLimit);
}

class QtDialogs : public tvk::Dialogs {
  public:
    QtDialogs() { tvk::EnsureApplication(); }

    tvk::MessageAnswer ShowMessage(const tvk::MessageBoxRequest& request) override {
        return tvk::ShowMessageBoxQt(request);
    }

    bool ShowMessageWindow(const tvk::Texts& texts,
                           const tvk::MessageWindowRequest& request) override {
        return tvk::ShowMessageWindowQt(texts, request);
    }

    tvk::DownloadWindowResult ShowDownloadWindow(
        const tvk::Texts& texts, const tvk::DownloadWindowRequest& request) override {
        return tvk::ShowDownloadWindowQt(texts, request);
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
