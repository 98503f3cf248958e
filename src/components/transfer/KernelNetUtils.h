#pragma once

#include "components/TransferComponent.h"

namespace tvk {

// Asks the kernel, for the network namespace the process runs in, whether any
// interface could carry traffic to the outside: one that is up and running,
// not loopback, and holds an IPv4 address or an IPv6 address that is not
// link-local (a link-local address appears on every interface that comes up,
// cabled to anything or not). It says nothing about whether a route to the
// update host works; that shows when the descriptor is fetched.
class KernelNetUtils : public NetUtils {
  public:
    // Throws ServiceError (errno and its text) when the kernel cannot be asked.
    bool Connected() override;
};

}  // namespace tvk
