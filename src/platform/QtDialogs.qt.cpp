// The windows module: message boxes (and later the windows) on Qt Widgets.
#include <dlfcn.h>

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/QtApplication.qt.h"
#include "platform/QtWindows.qt.h"
#include "platform/WindowsModule.h"

namespace {

// Qt ends the process when its platform plugin cannot open the display. Ask
// the X server first (through the library Qt itself would use), so that a
// stale DISPLAY falls back to the console instead of crashing the service.
bool XDisplayOpens() {
    void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (xcb == nullptr) return false;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    if (connect == nullptr || hasError == nullptr || disconnect == nullptr) return false;
    void* connection = connect(nullptr, nullptr);
    bool ok = connection != nullptr && hasError(connection) == 0;
    if (connection != nullptr) disconnect(connection);
    return ok;
}

bool DisplayOpens() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    bool chosen = platform != nullptr && *platform != '\0';
    if (chosen && std::strncmp(platform, "xcb", 3) != 0) return true;  // offscreen, wayland, ...
    const char* display = std::getenv("DISPLAY");
    if (display != nullptr && *display != '\0') return XDisplayOpens();
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return !chosen && wayland != nullptr && *wayland != '\0';
}

QMessageBox::Icon ToQt(tvk::MessageIcon icon) {
    switch (icon) {
        case tvk::MessageIcon::Critical: return QMessageBox::Critical;
        case tvk::MessageIcon::Question: return QMessageBox::Question;
        case tvk::MessageIcon::Exclamation: return QMessageBox::Warning;
        case tvk::MessageIcon::Information: return QMessageBox::Information;
        case tvk::MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

class QtDialogs : public tvk::Dialogs {
public:
    QtDialogs() { tvk::EnsureApplication(); }

    tvk::MessageAnswer ShowMessage(const tvk::MessageBoxRequest& request) override {
        QMessageBox box(ToQt(request.icon), QString::fromStdString(request.title),
                        QString::fromStdString(request.text));
        if (request.buttons == tvk::MessageButtons::YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        if (request.systemModal) box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.setWindowModality(Qt::ApplicationModal);
        int answer = box.exec();
        if (request.buttons == tvk::MessageButtons::Ok) return tvk::MessageAnswer::Ok;
        return answer == QMessageBox::Yes ? tvk::MessageAnswer::Yes : tvk::MessageAnswer::No;
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
