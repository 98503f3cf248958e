#include "platform/QtDisplay.qt.h"

namespace tvk {

// Qt's Windows platform starts on any desktop that the core has found
// visible; it neither ends the process nor waits for a server.
bool DisplayOpens() { return true; }

}  // namespace tvk
