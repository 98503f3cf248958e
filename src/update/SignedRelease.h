#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "components/TransferComponent.h"
#include "components/signature/ReleaseSignature.h"
#include "state/RunState.h"

namespace tvk {

// Every file of a release lies on the update host with its minisign
// signature beside it, under the file's name followed by this.
inline constexpr const char* kSignatureSuffix = ".minisig";
// Far above any real descriptor (a few hundred bytes) or signature.
inline constexpr size_t kDescriptorLimit = 1024 * 1024;
inline constexpr size_t kSignatureLimit = 64 * 1024;

// Fetches the signature of `url` (the file named `name`). Its failures name
// the signature, keeping the fetch's number and cause.
std::string FetchSignature(TransferComponent& transfer, const std::string& url,
                           const std::string& name);

// The maker's word on a setup program: its signature from the update host,
// the descriptor's build, which the signature's trusted comment must name,
// and, when the signed descriptor names them, its size and SHA-256, which
// keep an older signed setup from passing for this release.
struct SetupCheck {
    std::string name;       // the setup's name on the host, for messages
    std::string signature;  // the text of its ".minisig" file
    int64_t build = 0;
    int64_t size = -1;
    std::string sha256;

    // Throws ServiceError (SignatureRefused) naming the reason.
    void Verify(const std::filesystem::path& setup) const;
    // Verifies `setup` while it copies it into a private folder made for
    // this one start, and returns the copy: nothing of the update folder,
    // which others can write to, is read after the check, and no library
    // planted beside the setup lies beside the copy. Throws as Verify.
    std::filesystem::path CopyVerified(const std::filesystem::path& setup) const;
    // The same, as a download applies it before the file gets its name.
    DownloadCheck ForDownload() const;

  private:
    void CheckFacts(const SignedFileFacts& facts) const;
};

// Tells the user why the update cannot be installed (string 226).
void TellNotInstalled(RunState& state, const std::string& reason);

// The check for the descriptor's setup, with its signature fetched from the
// update host through the run's transfer component. When that fails, the
// user is told why the update cannot be installed (string 226), in a plain
// sentence first (the setup is not on the update server, ...); nothing then.
std::optional<SetupCheck> FetchSetupCheck(RunState& state);

// Verifies `setup` before it is reported. A setup that fails is deleted, and
// the user is told why, as above; false then.
bool AcceptSetup(RunState& state, const std::filesystem::path& setup, const SetupCheck& check);
// The same for a setup about to start: the verified private copy to start.
std::optional<std::filesystem::path> CopyAcceptedSetup(RunState& state,
                                                       const std::filesystem::path& setup,
                                                       const SetupCheck& check);

// Starts the verified copy of the setup. One that cannot start (the user
// refused the administrator's consent, say) is not installed, and the user is
// told why, as above; false then.
bool StartSetup(RunState& state, const std::filesystem::path& copy);

// Removes the private copies of setups that earlier runs started; the setup
// may still have been running when its run ended.
void RemoveEarlierSetupCopies();

}  // namespace tvk
