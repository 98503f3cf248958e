#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "components/TransferComponent.h"
#include "run/RunState.h"

namespace tvk {

// Every file of a release lies on the update host with its minisign
// signature beside it, under the file's name followed by this.
inline constexpr const char* kSignatureSuffix = ".minisig";
// Far above any real descriptor (a few hundred bytes) or signature.
inline constexpr size_t kDescriptorLimit = 1024 * 1024;
inline constexpr size_t kSignatureLimit = 64 * 1024;

// Fetches the signature of `url` (the file named `name`). Its failures name
// the signature, keeping the fetch's number.
std::string FetchSignature(TransferComponent& transfer, const std::string& url,
                           const std::string& name);

// The maker's word on a setup program: its signature from the update host
// and, when the signed descriptor names them, its size and SHA-256, which
// keep an older signed setup from passing for this release.
struct SetupCheck {
    std::string name;       // the setup's name on the host, for messages
    std::string signature;  // the text of its ".minisig" file
    int64_t size = -1;
    std::string sha256;

    // Throws ServiceError (SignatureRefused) naming the reason.
    void Verify(const std::filesystem::path& setup) const;
    // The same, as a download applies it before the file gets its name.
    DownloadCheck ForDownload() const;
};

// The check for the descriptor's setup, with its signature fetched from the
// update host through the run's transfer component. When that fails, the
// user is told why the update cannot be installed (string 226); nothing then.
std::optional<SetupCheck> FetchSetupCheck(RunState& state);

// Verifies `setup` before it is reported or started. A setup that fails is
// deleted, and the user is told why, as above; false then.
bool AcceptSetup(RunState& state, const std::filesystem::path& setup, const SetupCheck& check);

}  // namespace tvk
