#include <dlfcn.h>

#include <QGuiApplication>
#include <chrono>
#include <cstdlib>
#include <string_view>

#include "platform/Platform.h"
#include "platform/QtDisplay.qt.h"

namespace tvk {

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

}  // namespace

bool DisplayOpens() {
    if (QCoreApplication::instance() != nullptr) return true;
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    std::string_view platform = chosen != nullptr && *chosen != '\0' ? chosen : "xcb";
    if (platform == "offscreen" || platform == "minimal") return true;
    const bool x = platform == "xcb" || platform.starts_with("xcb:");
    return platform::SucceedsInChildProcess(x ? XConnectionOpens : PlatformStarts,
                                            kPlatformStartLimit);
}

}  // namespace tvk
