#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "state/RunState.h"

namespace tvk {

inline constexpr const char* kDescriptorFile = "update.ini";

// The values of a descriptor's content, read as a settings file. Throws
// ServiceError for a number out of range, a setup name that is not a plain
// file name (a descriptor must never make the service write or start a file
// outside the update folder), a time that is not one, or a Rollout that is
// not a whole percentage.
UpdateInfo ReadUpdateInfo(std::string_view descriptor);

// Refuses a descriptor issued before the copy the previous run kept, or one
// without a time once the copy has one (a replayed older release), and one
// whose expiry lies more than a day before `now` (a host frozen on an old
// release; the day is slack for wrong clocks). Throws ServiceError.
void RefuseStaleDescriptor(const UpdateInfo& fetched, const std::optional<DateTime>& previousIssued,
                           std::chrono::system_clock::time_point now);

// What the run does once the descriptor is read.
enum class DescriptorDecision {
    GoOn,                  // something new to tell (or the interactive check)
    EndRun,                // nothing new for this installation
    OfferDownloadedSetup,  // announced before; the main installation may have the setup
};

// `announcedBuild` is the build the kept copy announced to this installation,
// 0 for none.
DescriptorDecision Decide(const RunState& state, int32_t announcedBuild);

// The update folder and the name of a setup downloaded into it.
std::filesystem::path UpdateFolder(const std::filesystem::path& programFolder);
std::string LocalSetupName(const UpdateInfo& info);

// Fetches update.ini from the update host into the program folder, reads it
// into state.UpdateInfo and returns when there is something to tell;
// otherwise, and after any failure ("Error getting update info: "), it ends
// the run (RunEnded).
void GetUpdateInfo(RunState& state);

}  // namespace tvk
