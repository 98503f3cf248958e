#pragma once

#include "state/RunState.h"

namespace tvk {

inline constexpr const char* kServiceSettingsFile = "Velkor5.ini";
inline constexpr const char* kServiceSection = "UpdateService";

// Written on the first run, so that an administrator can change them there.
inline constexpr const char* kDefaultHost = "http://update.tavrin.no/files/velkor/update";
inline constexpr const char* kDefaultInfo = "http://update.tavrin.no/support/update.aspx";
inline constexpr const char* kDefaultLogHost = "ftp://ftp.tavrin.no";
inline constexpr const char* kDefaultLogPath = "/velkor/us/log";

// Reads section UpdateService of Velkor5.ini into state.ServiceSettings,
// writing the four address defaults when the section has no Host yet.
// Failures of the settings file reach the caller.
void ReadServiceSettings(RunState& state);

}  // namespace tvk
