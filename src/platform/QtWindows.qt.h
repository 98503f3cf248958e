#pragma once

#include "platform/Dialogs.h"

namespace tvk {

// The module's windows, shown modally; each returns when its window has closed.
bool ShowMessageWindowQt(const RunState& state, const MessageWindowRequest& request);
DownloadWindowResult ShowDownloadWindowQt(const RunState& state, const DownloadWindowRequest& request);

}  // namespace tvk
