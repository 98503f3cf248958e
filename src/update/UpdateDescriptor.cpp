#include "update/UpdateDescriptor.h"

#include <charconv>

#include "common/CodePage.h"
#include "common/NumberRules.h"
#include "common/ServiceError.h"
#include "components/signature/ReleaseSignature.h"
#include "localisation/StringTable.h"
#include "platform/Platform.h"
#include "run/RunEnded.h"
#include "run/Trace.h"
#include "update/SignedRelease.h"

namespace tvk {

namespace {

void RefuseSetupName(const std::string& name) {
    bool plain =
        name.find_first_of("/\\:") == std::string::npos && name.find("..") == std::string::npos;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F) plain = false;
        // C1 controls (U+0080-U+009F), which undefined Windows-1252 bytes become.
        if (c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) <= 0x9F)
            plain = false;
    }
    if (!plain)
        throw ServiceError(
            ErrorNumber::InvalidArgument,
            "The setup name \"" + name + "\" in " + kDescriptorFile + " is not a plain file name");
}

// Size= and Sha256= pin the setup that the signed descriptor belongs to. A
// value that is there but unreadable must not silently drop the pin.
void ReadSetupPin(UpdateInfo& info, const std::string& size, const std::string& sha256) {
    if (!size.empty()) {
        int64_t bytes = -1;
        auto [end, ec] = std::from_chars(size.data(), size.data() + size.size(), bytes);
        if (ec != std::errc() || end != size.data() + size.size() || bytes < 0)
            throw ServiceError(
                ErrorNumber::TypeMismatch,
                "The Size \"" + size + "\" in " + kDescriptorFile + " is not a number of bytes");
        info.Size = bytes;
    }
    if (!sha256.empty()) {
        info.Sha256 = LowerCaseText(sha256);
        if (info.Sha256.size() != 64 ||
            info.Sha256.find_first_not_of("0123456789abcdef") != std::string::npos)
            throw ServiceError(
                ErrorNumber::TypeMismatch,
                "The Sha256 \"" + sha256 + "\" in " + kDescriptorFile + " is not a SHA-256 digest");
    }
}

// The copy left by the previous run is only a memory of what was announced.
// A build there that is out of range counts as no memory at all: failing on it
// would stop every later run before the fetch that could replace the copy.
int32_t PreviousBuild(SettingsFile& ini, const std::filesystem::path& descriptor) {
    if (!platform::FileExists(descriptor)) return 0;
    try {
        return LeadingWholeNumber32(
            ini.LesINIStreng("Update", "Build", platform::PathText(descriptor)));
    } catch (const ServiceError& error) {
        if (error.Number() != ErrorNumber::Overflow) throw;
        return 0;
    }
}

// The setup lay in the update folder since an earlier run, where anything
// may have replaced it: it is checked again, as if it had just arrived.
ExitCode OfferDownloadedSetup(RunState& state) {
    const std::filesystem::path setup =
        UpdateFolder(state.programFolder) / platform::TextPath(LocalSetupName(state.UpdateInfo));
    if (!platform::FileExists(setup)) return ExitCode::Normal;
    MessageAnswer answer = state.dialogs->ShowMessage({.text = LoadLocalString(state, 208),
                                                       .title = LoadLocalString(state, 100),
                                                       .icon = MessageIcon::Question,
                                                       .buttons = MessageButtons::YesNo});
    Trace(state, std::string("downloaded setup offered: ") +
                     (answer == MessageAnswer::Yes ? "start" : "not now"));
    if (answer != MessageAnswer::Yes) return ExitCode::Normal;
    const std::optional<SetupCheck> check = FetchSetupCheck(state);
    if (!check || !AcceptSetup(state, setup, *check)) return ExitCode::SetupRefused;
    platform::StartProcess(setup);
    return ExitCode::Normal;
}

// Nothing of the descriptor is used, nor the previous copy replaced, before
// its signature holds. An unchanged copy is left as it is. The copy is only a
// cache of the host's file: a power cut may cost one repeated announcement,
// so it is not flushed to disk.
void FetchDescriptor(RunState& state, const std::filesystem::path& descriptor) {
    const std::string url = state.ServiceSettings.Host + "/" + kDescriptorFile;
    state.transfer->Asynchronous(false);
    std::string bytes = state.transfer->FetchHTTP(url, kDescriptorLimit);
    std::string signature = FetchSignature(*state.transfer, url, kDescriptorFile);
    ReleaseSignature(signature, kDescriptorFile).Verify(bytes, TrustedReleaseKeys());
    std::string previous;
    if (platform::ReadFile(descriptor, previous) && previous == bytes) return;
    platform::WriteFileAtomically(descriptor, bytes, platform::NewFileAccess::Shared,
                                  platform::Durability::Cached);
}

}  // namespace

UpdateInfo ReadUpdateInfo(SettingsFile& ini, const std::filesystem::path& descriptor) {
    const std::string path = platform::PathText(descriptor);
    auto update = [&](const char* key) { return ini.LesINIStreng("Update", key, path); };
    auto filter = [&](const char* key) { return ini.LesINIStreng("Filter", key, path); };
    UpdateInfo info;
    info.Build = LeadingWholeNumber32(update("Build"));
    info.MinimumBuild = LeadingWholeNumber32(update("MinimumBuild"));
    info.Setup = update("Setup");
    info.Product = update("Product");
    info.Test = filter("Test") == "1";
    info.Language = filter("Language");
    info.Name = filter("Name");
    info.PostalCode = filter("PostalCode");
    RefuseSetupName(info.Setup);
    ReadSetupPin(info, update("Size"), update("Sha256"));
    return info;
}

DescriptorDecision Decide(const RunState& state, int32_t previousBuild) {
    const bool interactive = state.Interactive();
    const int32_t build = state.UpdateInfo.Build;
    if (state.InstalledBuild >= build && !interactive) return DescriptorDecision::EndRun;
    if (previousBuild != build || interactive) return DescriptorDecision::GoOn;
    if (!state.MainInstallation) return DescriptorDecision::EndRun;
    return DescriptorDecision::OfferDownloadedSetup;
}

std::filesystem::path UpdateFolder(const std::filesystem::path& programFolder) {
    return programFolder / "Setup" / "Update";
}

std::string LocalSetupName(const UpdateInfo& info) {
    return info.Setup + "_" + std::to_string(info.Build) + ".exe";
}

void GetUpdateInfo(RunState& state) {
    const std::filesystem::path descriptor = state.programFolder / kDescriptorFile;
    try {
        state.UpdateInfo = UpdateInfo{};
        int32_t previousBuild = PreviousBuild(*state.settingsFile, descriptor);

        FetchDescriptor(state, descriptor);
        state.UpdateInfo = ReadUpdateInfo(*state.settingsFile, descriptor);

        DescriptorDecision decision = Decide(state, previousBuild);
        Trace(state, "descriptor build " + std::to_string(state.UpdateInfo.Build) + ", previous " +
                         std::to_string(previousBuild) + ", installed " +
                         std::to_string(state.InstalledBuild));
        if (decision == DescriptorDecision::GoOn) return;
        if (decision == DescriptorDecision::OfferDownloadedSetup) {
            ExitCode code = OfferDownloadedSetup(state);
            if (code != ExitCode::Normal) throw RunEnded{code};
        }
    } catch (const std::exception& failure) {
        state.dialogs->ShowMessage(
            {.text = "Error getting update info: " + DescribeFailure(failure),
             .title = "Error",
             .icon = MessageIcon::Critical});
        throw RunEnded{ExitCode::UpdateInfo};
    }
    Trace(state, "nothing new for this installation");
    throw RunEnded{ExitCode::Normal};
}

}  // namespace tvk
