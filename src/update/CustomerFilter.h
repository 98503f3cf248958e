#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "state/RunState.h"

namespace tvk {

// What the descriptor's filters are compared with.
struct CustomerFacts {
    bool testInstallation = false;  // Test of the service settings
    std::string serialNumber;       // Serienummer
    int32_t installedBuild = 0;
    int32_t languageId = 0;
    std::string companyName;  // RegFirma
    std::string postalCode;   // Postnummer
};

// Whether the release the descriptor describes is meant for this
// installation: test flag, build window, then the language, name and
// postal-code filters, and last the rollout share. Throws ServiceError for a
// postal-code list with an empty piece.
bool IsMeantFor(const UpdateInfo& info, const CustomerFacts& customer);

// The installation's draw for a phased rollout of `build`, 0 to 99: the first
// eight bytes of the SHA-256 of "<serial number>\n<build>" as an unsigned
// big-endian number, modulo 100, so that the maker can work it out anywhere.
// Blanks around the serial number do not count; a blank one has no draw.
std::optional<int> RolloutDraw(const std::string& serialNumber, int32_t build);

// A draw below the percentage is in the share, so a wider share keeps those
// of a narrower one; at 100 every installation is, even one without a draw.
bool IsInRolloutShare(int percent, int32_t build, const std::string& serialNumber);

// For /debug: whether this installation is in the release's share, and its draw.
std::string RolloutNote(const UpdateInfo& info, const std::string& serialNumber);

// The same for the run's descriptor, installation and customer.
bool IsUpdateForCustomer(const RunState& state);

}  // namespace tvk
