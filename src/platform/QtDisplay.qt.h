#pragma once

namespace tvk {

// Whether Qt's platform can start here without ending or hanging the process.
bool DisplayOpens();

}  // namespace tvk
