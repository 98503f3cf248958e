#include "update/UpdateDescriptor.h"

#include <charconv>

#include "common/CodePage.h"
#include "common/NumberRules.h"
#include "common/ServiceError.h"
#include "components/signature/ReleaseSignature.h"
#include "localisation/StringTable.h"
#include "platform/Platform.h"
#include "state/RunEnded.h"
#include "state/Trace.h"
#include "update/CustomerFilter.h"
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

// Holding a release back from part of the customers: a value that is there
// but unreadable must neither let it out to all nor guess a share.
int ReadRollout(const std::string& text) {
    if (text.empty()) return 100;
    int percent = 101;  // also what a number too long for an int leaves
    if (text.find_first_not_of("0123456789") == std::string::npos)
        std::from_chars(text.data(), text.data() + text.size(), percent);
    if (percent > 100)
        throw ServiceError(ErrorNumber::TypeMismatch,
                           "The Rollout \"" + text + "\" in " + kDescriptorFile +
                               " is not a whole percentage from 0 to 100");
    return percent;
}

// "YYYY-MM-DDTHH:MM:SSZ", as the maker's release script writes it. A time
// that is there but unreadable must not silently drop the check.
std::optional<DateTime> ReadUtcTime(const char* key, const std::string& text) {
    if (text.empty()) return std::nullopt;
    try {
        if (!text.ends_with('Z')) throw ServiceError(ErrorNumber::TypeMismatch, "");
        return DateTime::Parse(std::string_view(text).substr(0, text.size() - 1));
    } catch (const ServiceError&) {
        throw ServiceError(ErrorNumber::TypeMismatch,
                           std::string("The ") + key + " \"" + text + "\" in " + kDescriptorFile +
                               " is not a time in UTC (YYYY-MM-DDTHH:MM:SSZ)");
    }
}

std::chrono::sys_seconds SystemTime(const DateTime& t) {
    using namespace std::chrono;
    const sys_days day = year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)},
                                        std::chrono::day{static_cast<unsigned>(t.day)}};
    return day + hours{t.hour} + minutes{t.minute} + seconds{t.second};
}

std::string UtcText(const DateTime& t) { return t.ToString() + " UTC"; }

// The copy left by the previous run is only a memory of what was announced.
// A value there that is out of range or unreadable counts as no memory at
// all: failing on it would stop every later run before the fetch that could
// replace the copy.
struct PreviousCopy {
    std::string bytes;
    int32_t build = 0;
    std::optional<DateTime> issued;
    int rollout = 100;
};

PreviousCopy ReadPreviousCopy(const std::filesystem::path& descriptor) {
    PreviousCopy previous;
    if (!platform::ReadFile(descriptor, previous.bytes)) return previous;
    auto value = [&](const char* key) { return ReadSettingsText(previous.bytes, "Update", key); };
    try {
        previous.build = LeadingWholeNumber32(value("Build"));
    } catch (const ServiceError& error) {
        if (error.Number() != ErrorNumber::Overflow) throw;
    }
    try {
        previous.issued = ReadUtcTime("Issued", value("Issued"));
    } catch (const ServiceError&) {
    }
    try {
        previous.rollout = ReadRollout(ReadSettingsText(previous.bytes, "Filter", "Rollout"));
    } catch (const ServiceError&) {
        previous.rollout = 0;
    }
    return previous;
}

// The setup lay in the update folder since an earlier run, where anything
// may have replaced it: it is checked again, as if it had just arrived, while
// it is copied to where it is started from.
ExitCode OfferDownloadedSetup(RunState& state) {
    const std::filesystem::path setup =
        UpdateFolder(state.writeFolder) / platform::TextPath(LocalSetupName(state.UpdateInfo));
    if (!platform::FileExists(setup)) return ExitCode::Normal;
    MessageAnswer answer = state.dialogs->ShowMessage({.text = LoadLocalString(state, 208),
                                                       .title = LoadLocalString(state, 100),
                                                       .icon = MessageIcon::Question,
                                                       .buttons = MessageButtons::YesNo});
    Trace(state, std::string("downloaded setup offered: ") +
                     (answer == MessageAnswer::Yes ? "start" : "not now"));
    if (answer != MessageAnswer::Yes) return ExitCode::Normal;
    const std::optional<SetupCheck> check = FetchSetupCheck(state);
    if (!check) return ExitCode::SetupRefused;
    const std::optional<std::filesystem::path> copy = CopyAcceptedSetup(state, setup, *check);
    if (!copy || !StartSetup(state, *copy)) return ExitCode::SetupRefused;
    return ExitCode::Normal;
}

// The descriptor's bytes once their signature holds; nothing of them is used
// before, and every value is read from these bytes, not from a file.
std::string FetchVerifiedDescriptor(RunState& state) {
    const std::string url = state.ServiceSettings.Host + "/" + kDescriptorFile;
    state.transfer->Asynchronous(false);
    std::string bytes = state.transfer->FetchHTTP(url, kDescriptorLimit);
    std::string signature = FetchSignature(*state.transfer, url, kDescriptorFile);
    ReleaseSignature(signature, kDescriptorFile).Verify(bytes, TrustedReleaseKeys());
    return bytes;
}

// An unchanged copy is left as it is. The copy is only a cache of the host's
// file: a power cut may cost one repeated announcement, so it is not flushed
// to disk.
void KeepCopy(const std::filesystem::path& descriptor, const std::string& bytes,
              const PreviousCopy& previous) {
    if (previous.bytes == bytes && platform::FileExists(descriptor)) return;
    platform::WriteFileAtomically(descriptor, bytes, platform::NewFileAccess::Shared,
                                  platform::Durability::Cached);
}

}  // namespace

UpdateInfo ReadUpdateInfo(std::string_view descriptor) {
    const std::string content(descriptor);
    auto update = [&](const char* key) { return ReadSettingsText(content, "Update", key); };
    auto filter = [&](const char* key) { return ReadSettingsText(content, "Filter", key); };
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
    info.Issued = ReadUtcTime("Issued", update("Issued"));
    info.Expires = ReadUtcTime("Expires", update("Expires"));
    info.Rollout = ReadRollout(filter("Rollout"));
    return info;
}

void RefuseStaleDescriptor(const UpdateInfo& fetched, const std::optional<DateTime>& previousIssued,
                           std::chrono::system_clock::time_point now) {
    const std::string refused = std::string(kDescriptorFile) + " is refused: ";
    if (previousIssued && (!fetched.Issued || *fetched.Issued < *previousIssued))
        throw ServiceError(ErrorNumber::SignatureRefused,
                           refused + "it was issued " +
                               (fetched.Issued ? UtcText(*fetched.Issued) : "at no stated time") +
                               ", before the release already taken (" + UtcText(*previousIssued) +
                               "); an old copy may have been served again");
    if (fetched.Expires && now > SystemTime(*fetched.Expires) + std::chrono::hours(24))
        throw ServiceError(ErrorNumber::ReleaseExpired,
                           refused + "it expired " + UtcText(*fetched.Expires) +
                               "; the update host may be serving an old copy");
}

DescriptorDecision Decide(const RunState& state, int32_t announcedBuild) {
    const bool interactive = state.Interactive();
    const int32_t build = state.UpdateInfo.Build;
    if (state.InstalledBuild >= build && !interactive) return DescriptorDecision::EndRun;
    if (announcedBuild != build || interactive) return DescriptorDecision::GoOn;
    // A paused or narrowed rollout no longer offers a setup already downloaded.
    if (!state.MainInstallation ||
        !IsInRolloutShare(state.UpdateInfo.Rollout, build, state.CustomerSettings.Serienummer))
        return DescriptorDecision::EndRun;
    return DescriptorDecision::OfferDownloadedSetup;
}

std::filesystem::path UpdateFolder(const std::filesystem::path& programFolder) {
    return programFolder / "Setup" / "Update";
}

std::string LocalSetupName(const UpdateInfo& info) {
    return info.Setup + "_" + std::to_string(info.Build) + ".exe";
}

void GetUpdateInfo(RunState& state) {
    const std::filesystem::path descriptor = state.writeFolder / kDescriptorFile;
    try {
        state.UpdateInfo = UpdateInfo{};
        const PreviousCopy previous = ReadPreviousCopy(descriptor);

        const std::string bytes = FetchVerifiedDescriptor(state);
        state.UpdateInfo = ReadUpdateInfo(bytes);
        RefuseStaleDescriptor(state.UpdateInfo, previous.issued, std::chrono::system_clock::now());
        KeepCopy(descriptor, bytes, previous);

        // A build the previous copy held back from this installation was not
        // announced to it, so a widened rollout announces it now.
        const bool announced =
            IsInRolloutShare(previous.rollout, previous.build, state.CustomerSettings.Serienummer);
        DescriptorDecision decision = Decide(state, announced ? previous.build : 0);
        Trace(state, "descriptor build " + std::to_string(state.UpdateInfo.Build) + ", previous " +
                         std::to_string(previous.build) +
                         (announced ? "" : " (held back from this installation)") + ", installed " +
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
