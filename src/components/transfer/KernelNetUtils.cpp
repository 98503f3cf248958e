#include "components/transfer/KernelNetUtils.h"

#include "platform/Platform.h"

namespace tvk {

bool KernelNetUtils::Connected() { return platform::HasUsableNetworkInterface(); }

}  // namespace tvk
