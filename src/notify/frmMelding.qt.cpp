// Placeholder until the message window lands in this module.
#include "platform/QtWindows.qt.h"

namespace tvk {
bool ShowMessageWindowQt(const RunState&, const MessageWindowRequest&) { return false; }
}  // namespace tvk
