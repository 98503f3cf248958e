#pragma once

#include <filesystem>
#include <memory>

#include "platform/Dialogs.h"

// The entry points of the windows module (libtvkWindows.so beside the
// executable). The executable loads the module only when a box or window is
// really shown, so a background run never loads the GUI libraries.
extern "C" {
// Returns dialogs that show real windows, or null when no display can be
// opened. The object lives until the process ends.
tvk::Dialogs* tvkWindowsCreateDialogs();
}

namespace tvk {

inline constexpr const char* kWindowsModule = "tvkWindows";
inline constexpr const char* kCreateDialogsSymbol = "tvkWindowsCreateDialogs";

// Dialogs for the process: real windows when a display is available and the
// module can open it, console lines otherwise. The module is loaded on the
// first box, not before.
class SystemDialogs : public Dialogs {
  public:
    explicit SystemDialogs(std::filesystem::path programFolder, bool trace = false);
    MessageAnswer ShowMessage(const MessageBoxRequest& request) override;
    bool ShowMessageWindow(const Texts& texts, const MessageWindowRequest& request) override;
    DownloadWindowResult ShowDownloadWindow(const Texts& texts,
                                            const DownloadWindowRequest& request) override;

  private:
    Dialogs& Choose();

    std::filesystem::path programFolder_;
    bool trace_;
    Dialogs* chosen_ = nullptr;
    std::unique_ptr<Dialogs> console_;
};

}  // namespace tvk
