#include "update/SignedRelease.h"

#include <system_error>

#include "common/ServiceError.h"
#include "components/signature/ReleaseSignature.h"
#include "localisation/StringTable.h"
#include "notify/MessageText.h"
#include "platform/Platform.h"
#include "platform/ReplacementFile.h"
#include "platform/TempNames.h"
#include "state/Trace.h"

namespace tvk {

namespace {

// A copy lies there only until a later run; older copies are the earlier runs'.
constexpr const char* kSetupCopyPrefix = "tvkSetup.";

// Runs the check `verify`. A setup the maker did not sign is deleted; one
// that only could not be copied (a full temporary folder) stays for a later try.
template <class Verify>
bool Accepting(RunState& state, const std::filesystem::path& setup, Verify verify) {
    try {
        verify();
        return true;
    } catch (const ServiceError& refusal) {
        std::error_code ignored;
        if (refusal.Number() == ErrorNumber::SignatureRefused)
            std::filesystem::remove(setup, ignored);
        TellNotInstalled(state, refusal.Description());
        return false;
    }
}

}  // namespace

void TellNotInstalled(RunState& state, const std::string& reason) {
    Trace(state, "the update is not installed: " + reason);
    state.dialogs->ShowMessage({.text = ReplacePlaceholders(LoadLocalString(state, 226), {reason}),
                                .title = LoadLocalString(state, 100),
                                .icon = MessageIcon::Critical});
}

std::string FetchSignature(TransferComponent& transfer, const std::string& url,
                           const std::string& name) {
    try {
        return transfer.FetchHTTP(url + kSignatureSuffix, kSignatureLimit);
    } catch (const ServiceError& failure) {
        throw TransferError(TransferError::CauseOf(failure), failure.Number(),
                            "The signature " + name + kSignatureSuffix +
                                " could not be fetched: " + failure.Description());
    }
}

void SetupCheck::CheckFacts(const SignedFileFacts& facts) const {
    if (size >= 0 && facts.size != size)
        throw ServiceError(ErrorNumber::SignatureRefused,
                           name + " is refused: it has " + std::to_string(facts.size) +
                               " bytes, the update information names " + std::to_string(size));
    if (!sha256.empty() && facts.sha256 != sha256)
        throw ServiceError(ErrorNumber::SignatureRefused,
                           name +
                               " is refused: it is not the file the update information names "
                               "(its SHA-256 differs)");
}

void SetupCheck::Verify(const std::filesystem::path& setup) const {
    CheckFacts(ReleaseSignature(signature, name, build).VerifyFile(setup, TrustedReleaseKeys()));
}

std::filesystem::path SetupCheck::CopyVerified(const std::filesystem::path& setup) const {
    const ReleaseSignature maker(signature, name, build);
    std::optional<platform::RegularFile> in;
    try {
        in.emplace(setup);
    } catch (const ServiceError& failure) {
        throw ServiceError(ErrorNumber::SignatureRefused,
                           name + " is refused: it cannot be read: " + failure.Description());
    }
    const std::filesystem::path folder = platform::CreatePrivateFolder(kSetupCopyPrefix);
    try {
        platform::ReplacementFile copy(folder / setup.filename(), ".XXXXXX",
                                       platform::ReplacementFile::Leftover::Removed,
                                       platform::NewFileAccess::OwnerOnly);
        CheckFacts(maker.VerifyPieces(
            [&](char* buffer, size_t size) {
                const size_t count = in->Read(buffer, size);
                if (!copy.Append(buffer, count))
                    throw copy.WriteFailure("Cannot write " + platform::PathText(copy.Path()));
                return count;
            },
            TrustedReleaseKeys()));
        copy.Commit(platform::Durability::Cached);
        return copy.Target();
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        throw;
    }
}

DownloadCheck SetupCheck::ForDownload() const {
    return {.size = size,
            .verify = [check = *this](const std::filesystem::path& body) { check.Verify(body); }};
}

std::optional<SetupCheck> FetchSetupCheck(RunState& state) {
    const UpdateInfo& info = state.UpdateInfo;
    SetupCheck check{.name = info.Setup + ".exe",
                     .signature = "",
                     .build = info.Build,
                     .size = info.Size,
                     .sha256 = info.Sha256};
    try {
        state.transfer->Asynchronous(false);
        check.signature = FetchSignature(*state.transfer,
                                         state.ServiceSettings.Host + "/" + check.name, check.name);
    } catch (const ServiceError& failure) {
        TellNotInstalled(state,
                         DescribeTransferFailure(StringTableTexts(state), failure, check.name, ""));
        return std::nullopt;
    }
    return check;
}

bool AcceptSetup(RunState& state, const std::filesystem::path& setup, const SetupCheck& check) {
    return Accepting(state, setup, [&] { check.Verify(setup); });
}

std::optional<std::filesystem::path> CopyAcceptedSetup(RunState& state,
                                                       const std::filesystem::path& setup,
                                                       const SetupCheck& check) {
    std::filesystem::path copy;
    if (!Accepting(state, setup, [&] { copy = check.CopyVerified(setup); })) return std::nullopt;
    Trace(state, "the setup was verified into " + platform::PathText(copy));
    return copy;
}

bool StartSetup(RunState& state, const std::filesystem::path& copy) {
    try {
        platform::StartProcess(copy);
        return true;
    } catch (const ServiceError& failure) {
        TellNotInstalled(state, DescribeFailure(failure));
        return false;
    }
}

void RemoveEarlierSetupCopies() {
    platform::RemovePrivateFolders(kSetupCopyPrefix, std::chrono::minutes(1));
}

}  // namespace tvk
