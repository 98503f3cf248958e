#include "platform/ConsoleDialogs.h"

#include <string>

#include "platform/Platform.h"

namespace tvk {

namespace {

// Line breaks inside a text would break the one-line form that scripts read,
// and other control characters (a terminal's escape sequences in a server's
// reason phrase) must reach the terminal as nothing but blanks.
std::string OneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += (c < 0x20 || c == 0x7f) ? ' ' : text[i];
    }
    return out;
}

}  // namespace

MessageAnswer ConsoleDialogs::ShowMessage(const MessageBoxRequest& request) {
    std::string line = "[" + OneLine(request.title) + "] " + OneLine(request.text) + "\n";
    platform::WriteText(out_, line);
    return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

bool ConsoleDialogs::ShowMessageWindow(const Texts& texts, const MessageWindowRequest& request) {
    std::string heading = request.SoftwareUpdate ? request.Melding : texts.Text(224);
    ShowMessage({.text = heading, .title = texts.Text(100)});
    return false;
}

DownloadWindowResult ConsoleDialogs::ShowDownloadWindow(const Texts& texts,
                                                        const DownloadWindowRequest& request) {
    ShowMessage({.text = request.URLHost + "/" + request.HostExe, .title = texts.Text(211)});
    return {};
}

}  // namespace tvk
