#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "components/SettingsFile.h"
#include "run/RunState.h"

namespace tvk {

inline constexpr const char* kDescriptorFile = "update.ini";

// The values of a descriptor file as the settings file gives them. Throws
// ServiceError for a number out of range or a setup name that is not a plain
// file name (a descriptor must never make the service write or start a file
// outside the update folder).
UpdateInfo ReadUpdateInfo(SettingsFile& ini, const std::filesystem::path& descriptor);

// What the run does once the descriptor is read.
enum class DescriptorDecision {
    GoOn,                  // something new to tell (or the interactive check)
    EndRun,                // nothing new for this installation
    OfferDownloadedSetup,  // announced before; the main installation may have the setup
};

DescriptorDecision Decide(const RunState& state, int32_t previousBuild);

// The update folder and the name of a setup downloaded into it.
std::filesystem::path UpdateFolder(const std::filesystem::path& programFolder);
std::string LocalSetupName(const UpdateInfo& info);

// Fetches update.ini from the update host into the program folder, reads it
// into state.UpdateInfo and returns when there is something to tell;
// otherwise, and after any failure ("Error getting update info: "), it ends
// the run (RunEnded).
void GetUpdateInfo(RunState& state);

}  // namespace tvk
