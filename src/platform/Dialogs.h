#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/DateTime.h"
#include "components/TransferComponent.h"

namespace tvk {

using TransferMaker = std::function<std::unique_ptr<TransferComponent>()>;

// What a window shows in the run's language: the texts of the string table
// by their ids ("" when the language has none), and the language itself.
class Texts {
  public:
    virtual ~Texts() = default;
    virtual std::string Text(int32_t id) const = 0;
    virtual int32_t LanguageId() const = 0;
};

enum class MessageIcon { None, Critical, Question, Exclamation, Information };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct MessageBoxRequest {
    std::string text;
    std::string title;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    bool systemModal = false;
};

// The properties the update run gives the message window (frmMelding).
// What is not set keeps the window's initial value.
struct MessageWindowRequest {
    bool SoftwareUpdate = false;
    bool Hovedinstallasjon = false;
    DateTime Dato;
    std::string Melding;
    std::string Detaljer;
    std::string URL;
    int32_t UpdateBuild = 0;
};

// The properties the update run gives the download window (frmOppdat).
struct DownloadWindowRequest {
    std::string URLHost;
    std::string HostExe;
    std::string LocalExe;
    std::string LocalPath;       // the update folder, ending with a separator
    DownloadCheck check;         // what the setup must show before it gets its name
    TransferMaker makeTransfer;  // the window's own transfer, apart from the run's
};

// What the download window tells after it has closed.
struct DownloadWindowResult {
    bool OK = false;         // the download completed
    bool Installer = false;  // start the setup afterwards
};

// The title of boxes that carry no title of their own: the program's name.
inline constexpr const char* kProgramTitle = "tvkUpdateService";

// The seam between the logic and whatever shows boxes and windows: real
// windows with a display, one line on standard error without one, a fake in
// tests. Windows are modal: each call returns when the window has closed.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual MessageAnswer ShowMessage(const MessageBoxRequest& request) = 0;

    // Returns Installer: true when the user chose to install.
    virtual bool ShowMessageWindow(const Texts& texts, const MessageWindowRequest& request) = 0;

    virtual DownloadWindowResult ShowDownloadWindow(const Texts& texts,
                                                    const DownloadWindowRequest& request) = 0;
};

}  // namespace tvk
