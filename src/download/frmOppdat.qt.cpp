// Placeholder until the download window lands in this module.
#include "platform/QtWindows.qt.h"

namespace tvk {
DownloadWindowResult ShowDownloadWindowQt(const RunState&, const DownloadWindowRequest&) { return {}; }
}  // namespace tvk
