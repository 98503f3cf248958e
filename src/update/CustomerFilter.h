#pragma once

#include <cstdint>
#include <string>

#include "run/RunState.h"

namespace tvk {

// What the descriptor's filters are compared with.
struct CustomerFacts {
    bool testInstallation = false;  // Test of the service settings
    int32_t installedBuild = 0;
    int32_t languageId = 0;
    std::string companyName;  // RegFirma
    std::string postalCode;   // Postnummer
};

// Whether the release the descriptor describes is meant for this
// installation: test flag, build window, then the language, name and
// postal-code filters. Throws ServiceError for a postal-code list with an
// empty piece.
bool IsMeantFor(const UpdateInfo& info, const CustomerFacts& customer);

// The same for the run's descriptor, installation and customer.
bool IsUpdateForCustomer(const RunState& state);

}  // namespace tvk
