// The update descriptor as the update host serves it: the fetched update.ini
// read from memory with the real settings-file reader, then the decision of
// the run.
//
// The input is the file, except for its last byte(s), which set the run:
//   bit 0: run mode 8 (interactive), else 1;  bit 1: main installation;
//   bits 2-3: installed build = descriptor build - 1, = build, = build + 1,
//             or any number (four more bytes from the end);
//   bits 4-5: previous run's build = descriptor build, 0, build - 1, or any
//             number (four more bytes from the end).
//
// Only ServiceError may come out of reading: 6 for a build out of range, 5
// for a setup name that is not a plain file name, 13 for a Size that is not a
// number of bytes, a Sha256 that is not 64 hex digits, or an Issued or
// Expires that is not a UTC time (or a Rollout not 0-100). An accepted setup name has
// no '/', '\', "..", ':' or control character, and the local setup file lies
// directly in the update folder. The decision follows its rules: the
// interactive check always goes on; a background check ends when the
// installed build is not older, and offers the downloaded setup only for an
// announced build on the main installation.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <regex>

#include "FuzzSupport.h"
#include "common/DateTime.h"
#include "common/NumberRules.h"
#include "common/ServiceError.h"
#include "components/SettingsFile.h"
#include "update/UpdateDescriptor.h"

namespace tvk::fuzz {
namespace {

constexpr int64_t kInvalidArgument = 5;
constexpr int64_t kOverflow = 6;
constexpr int64_t kTypeMismatch = 13;

// The setup's pin as the descriptor names it: nothing, or a size in bytes and
// a SHA-256 in hex digits of either case.
bool IsReadablePin(const std::string& size, const std::string& sha256) {
    bool bytes = size.empty() ||
                 (size.size() <= 18 && size.find_first_not_of("0123456789") == std::string::npos);
    bool digest =
        sha256.empty() || (sha256.size() == 64 &&
                           sha256.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos);
    return bytes && digest;
}

int32_t Near(int32_t build, int offset) {
    int64_t value = int64_t{build} + offset;
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

bool OutOfRange32(const std::string& text) {
    double whole = std::nearbyint(LeadingNumber(text));
    return !(whole >= std::numeric_limits<int32_t>::min() &&
             whole <= std::numeric_limits<int32_t>::max());
}

bool IsPlainFileName(const std::string& name) {
    if (name.find_first_of("/\\:") != std::string::npos || name.find("..") != std::string::npos)
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F) return false;
        // C1 controls, U+0080-U+009F in UTF-8.
        if (c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) <= 0x9F)
            return false;
    }
    return true;
}

// Empty, or a UTC time as the release tool writes it.
bool IsReadableTime(const std::string& text) {
    if (text.empty()) return true;
    if (!text.ends_with('Z')) return false;
    try {
        DateTime::Parse(std::string_view(text).substr(0, text.size() - 1));
        return true;
    } catch (const ServiceError&) {
        return false;
    }
}

void Check(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const uint8_t run = input.ConsumeIntegral<uint8_t>();
    const int installedChoice = (run >> 2) & 3;
    const int previousChoice = (run >> 4) & 3;
    const int32_t anyInstalled = installedChoice == 3 ? input.ConsumeIntegral<int32_t>() : 0;
    const int32_t anyPrevious = previousChoice == 3 ? input.ConsumeIntegral<int32_t>() : 0;
    const std::string file = input.ConsumeRemainingBytesAsString();

    UpdateInfo info;
    try {
        info = ReadUpdateInfo(file);
    } catch (const ServiceError& error) {
        auto value = [&](const char* key) { return ReadSettingsText(file, "Update", key); };
        const std::string setup = value("Setup");
        const bool overflow = OutOfRange32(value("Build")) || OutOfRange32(value("MinimumBuild"));
        const bool pin = IsReadablePin(value("Size"), value("Sha256"));
        const bool times = IsReadableTime(value("Issued")) && IsReadableTime(value("Expires"));
        const bool rollout = std::regex_match(ReadSettingsText(file, "Filter", "Rollout"),
                                              std::regex("100|[0-9]{0,2}"));
        FUZZ_CHECK((error.Number() == kOverflow && overflow) ||
                       (error.Number() == kInvalidArgument && !IsPlainFileName(setup)) ||
                       (error.Number() == kTypeMismatch && (!pin || !times || !rollout)),
                   std::string(error.what()) + " for " + Escaped(file));
        return;
    } catch (const std::exception& error) {
        Fail(__FILE__, __LINE__, "escaped: " + std::string(error.what()) + " for " + Escaped(file));
    }

    FUZZ_CHECK(IsPlainFileName(info.Setup), "accepted setup name " + Escaped(info.Setup));
    FUZZ_CHECK(info.Size >= -1 && (info.Sha256.empty() || IsReadablePin("", info.Sha256)),
               "accepted pin " + std::to_string(info.Size) + " " + Escaped(info.Sha256));
    const std::filesystem::path folder = UpdateFolder("/program");
    const std::filesystem::path local = folder / LocalSetupName(info);
    FUZZ_CHECK(local.parent_path() == folder && local.filename() != ".." && local.filename() != ".",
               "local setup " + Escaped(local.string()));

    RunState state;
    state.UpdateInfo = info;
    state.RunMode = (run & 1) ? 8 : 1;
    state.MainInstallation = (run & 2) != 0;
    const int32_t build = info.Build;
    state.InstalledBuild = installedChoice == 3 ? anyInstalled : Near(build, installedChoice - 1);
    const int32_t previous = previousChoice == 0   ? build
                             : previousChoice == 1 ? 0
                             : previousChoice == 2 ? Near(build, -1)
                                                   : anyPrevious;

    const DescriptorDecision decision = Decide(state, previous);
    const bool interactive = state.RunMode == 8;
    const bool newer = build > state.InstalledBuild;
    const bool offered = state.MainInstallation && info.Rollout == 100;  // no serial number here
    const std::string what =
        "build " + std::to_string(build) + ", installed " + std::to_string(state.InstalledBuild) +
        ", previous " + std::to_string(previous) + ", run mode " + std::to_string(state.RunMode) +
        ", main " + std::to_string(state.MainInstallation);
    switch (decision) {
        case DescriptorDecision::GoOn:
            FUZZ_CHECK(interactive || (newer && previous != build), what);
            break;
        case DescriptorDecision::EndRun:
            FUZZ_CHECK(!interactive && (!newer || (previous == build && !offered)), what);
            break;
        case DescriptorDecision::OfferDownloadedSetup:
            FUZZ_CHECK(!interactive && newer && previous == build && offered, what);
            break;
    }
}

}  // namespace
}  // namespace tvk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvk::fuzz::Check(data, size);
    return 0;
}
