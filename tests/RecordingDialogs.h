#pragma once

#include <vector>

#include "platform/Dialogs.h"

namespace tvk::test {

// Records every box and window and answers with a chosen answer (default:
// the safe one).
class RecordingDialogs : public Dialogs {
  public:
    MessageAnswer ShowMessage(const MessageBoxRequest& request) override {
        shown.push_back(request);
        if (request.buttons == MessageButtons::Ok) return MessageAnswer::Ok;
        return answer == MessageAnswer::Ok ? MessageAnswer::No : answer;
    }
    bool ShowMessageWindow(const Texts&, const MessageWindowRequest& request) override {
        messageWindows.push_back(request);
        return install;
    }
    DownloadWindowResult ShowDownloadWindow(const Texts&,
                                            const DownloadWindowRequest& request) override {
        downloadWindows.push_back(request);
        return download;
    }

    std::vector<MessageBoxRequest> shown;
    MessageAnswer answer = MessageAnswer::Ok;
    std::vector<MessageWindowRequest> messageWindows;
    bool install = false;  // the message window's Installer
    std::vector<DownloadWindowRequest> downloadWindows;
    DownloadWindowResult download;
};

}  // namespace tvk::test
