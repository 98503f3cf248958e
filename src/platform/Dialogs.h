#pragma once

#include <string>

namespace tvk {

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

// The title of boxes that carry no title of their own: the program's name.
inline constexpr const char* kProgramTitle = "tvkUpdateService";

// The seam between the logic and whatever shows boxes and windows: real
// windows with a display, one line on standard error without one, a fake in tests.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual MessageAnswer ShowMessage(const MessageBoxRequest& request) = 0;
};

}  // namespace tvk
