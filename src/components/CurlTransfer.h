#pragma once

#include "components/TransferComponent.h"

namespace tvk {

// The run's transfer component on libcurl. Transfers set libcurl up on first
// use, so that a run that ends before any transfer pays nothing for it.
class CurlTransfer : public TransferComponent {
public:
    CurlTransfer() = default;
};

}  // namespace tvk
