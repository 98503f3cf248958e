// The windows module: message boxes and windows on Qt Widgets.
#include <QApplication>

#include "platform/QtApplication.qt.h"
#include "platform/QtDisplay.qt.h"
#include "platform/QtWindows.qt.h"
#include "platform/WindowsModule.h"

namespace {

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
    if (dialogs == nullptr && tvk::DisplayOpens()) dialogs = new QtDialogs();
    return dialogs;
}
