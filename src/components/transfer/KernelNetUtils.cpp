#include "components/transfer/KernelNetUtils.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "common/ServiceError.h"

namespace tvk {

namespace {

bool IsUsable(const ifaddrs& entry) {
    const unsigned flags = entry.ifa_flags;
    // IFF_RUNNING is the carrier: an interface that is up without a cable or
    // peer cannot reach anything.
    if (!(flags & IFF_UP) || !(flags & IFF_RUNNING) || (flags & IFF_LOOPBACK)) return false;
    if (entry.ifa_addr == nullptr) return false;
    switch (entry.ifa_addr->sa_family) {
        case AF_INET:
            return true;
        case AF_INET6: {
            const auto* address = reinterpret_cast<const sockaddr_in6*>(entry.ifa_addr);
            return !IN6_IS_ADDR_LINKLOCAL(&address->sin6_addr) &&
                   !IN6_IS_ADDR_LOOPBACK(&address->sin6_addr);
        }
        default:
            return false;  // AF_PACKET entries describe the link, not an address
    }
}

}  // namespace

bool KernelNetUtils::Connected() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        const int error = errno;
        throw ServiceError(error, std::string("getifaddrs: ") + std::strerror(error));
    }
    std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, ::freeifaddrs);
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (IsUsable(*entry)) return true;
    }
    return false;
}

}  // namespace tvk
