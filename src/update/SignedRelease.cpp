#include "update/SignedRelease.h"

#include <system_error>

#include "common/ServiceError.h"
#include "components/signature/ReleaseSignature.h"
#include "localisation/StringTable.h"
#include "notify/MessageText.h"
#include "run/Trace.h"

namespace tvk {

namespace {

// Tells the user why the update cannot be installed (string 226).
void TellSetupRefused(RunState& state, const std::string& reason) {
    Trace(state, "the setup is refused: " + reason);
    state.dialogs->ShowMessage({.text = ReplacePlaceholders(LoadLocalString(state, 226), {reason}),
                                .title = LoadLocalString(state, 100),
                                .icon = MessageIcon::Critical});
}

}  // namespace

std::string FetchSignature(TransferComponent& transfer, const std::string& url,
                           const std::string& name) {
    try {
        return transfer.FetchHTTP(url + kSignatureSuffix, kSignatureLimit);
    } catch (const ServiceError& failure) {
        throw ServiceError(failure.Number(), "The signature " + name + kSignatureSuffix +
                                                 " could not be fetched: " + failure.Description());
    }
}

void SetupCheck::Verify(const std::filesystem::path& setup) const {
    SignedFileFacts facts =
        ReleaseSignature(signature, name).VerifyFile(setup, TrustedReleaseKeys());
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

DownloadCheck SetupCheck::ForDownload() const {
    return {.size = size,
            .verify = [check = *this](const std::filesystem::path& body) { check.Verify(body); }};
}

std::optional<SetupCheck> FetchSetupCheck(RunState& state) {
    const UpdateInfo& info = state.UpdateInfo;
    SetupCheck check{
        .name = info.Setup + ".exe", .signature = "", .size = info.Size, .sha256 = info.Sha256};
    try {
        state.transfer->Asynchronous(false);
        check.signature = FetchSignature(*state.transfer,
                                         state.ServiceSettings.Host + "/" + check.name, check.name);
    } catch (const ServiceError& failure) {
        TellSetupRefused(state, failure.Description());
        return std::nullopt;
    }
    return check;
}

bool AcceptSetup(RunState& state, const std::filesystem::path& setup, const SetupCheck& check) {
    try {
        check.Verify(setup);
        return true;
    } catch (const ServiceError& refusal) {
        std::error_code ignored;
        std::filesystem::remove(setup, ignored);
        TellSetupRefused(state, refusal.Description());
        return false;
    }
}

}  // namespace tvk
