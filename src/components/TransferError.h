#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "common/ServiceError.h"

namespace tvk {

// What a failed transfer means for its user: the plain sentence a message
// leads with, before the failure's number and description.
enum class TransferCause {
    NotOnServer,     // the server has no such file (HTTP 404, 410)
    NoConnection,    // the server could not be reached
    ConnectionLost,  // the connection broke off or stalled
    DiskFull,        // no room left to store the file
    NoPermission,    // the folder may not be written
    InUse,           // another run on this machine is downloading the same file
    Refused,         // the file arrived but its check refused it; the description says why
    Other,           // anything else the server or the line did
};

// A failed transfer: the number and description of every ServiceError, and
// what the failure means for the user.
class TransferError : public ServiceError {
  public:
    TransferError(TransferCause cause, int64_t number, std::string description)
        : ServiceError(number, std::move(description)), cause_(cause) {}
    TransferError(TransferCause cause, const ServiceError& failure)
        : TransferError(cause, failure.Number(), failure.Description()) {}

    TransferCause Cause() const { return cause_; }

    // The cause `failure` carries; Other for a failure that is not a transfer's.
    static TransferCause CauseOf(const std::exception& failure) {
        auto* transfer = dynamic_cast<const TransferError*>(&failure);
        return transfer != nullptr ? transfer->Cause() : TransferCause::Other;
    }

  private:
    TransferCause cause_;
};

}  // namespace tvk
