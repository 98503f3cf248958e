#include "run/UpdateRun.h"

#include "common/ServiceError.h"
#include "run/Trace.h"
#include "update/CustomerFilter.h"

namespace tvk {

void RunUpdate(RunState& state) {
    bool meant = false;
    try {
        meant = IsUpdateForCustomer(state);
    } catch (const std::exception& failure) {
        // A failure inside the filter (a malformed postal-code list, say)
        // ends the update run without any notice, in every run mode.
        Trace(state, "customer filter failed: " + DescribeFailure(failure));
        return;
    }
    Trace(state, meant ? "the release is meant for this installation"
                       : "the release is not meant for this installation");
}

}  // namespace tvk
