#pragma once

#include <cstdio>

#include "platform/Dialogs.h"

namespace tvk {

// Without a display nothing may block: each box becomes one line on standard
// error, "[title] text", and is answered with its safe default (OK; No).
class ConsoleDialogs : public Dialogs {
  public:
    explicit ConsoleDialogs(std::FILE* out = stderr) : out_(out) {}
    MessageAnswer ShowMessage(const MessageBoxRequest& request) override;
    // The title and the heading as one line; counts as closed without installing.
    bool ShowMessageWindow(const Texts& texts, const MessageWindowRequest& request) override;
    // Nothing is downloaded without a window: the download did not complete.
    DownloadWindowResult ShowDownloadWindow(const Texts& texts,
                                            const DownloadWindowRequest& request) override;

  private:
    std::FILE* out_;
};

}  // namespace tvk
