#include "platform/Platform.h"

namespace tvk::platform {

SystemProxy SystemProxyFor(const std::string&) { return {}; }

}  // namespace tvk::platform
