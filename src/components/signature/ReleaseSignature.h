#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tvk {

// A maker's public key in minisign's format: the key id and the Ed25519 key.
struct ReleaseKey {
    std::array<unsigned char, 8> id{};
    std::array<unsigned char, 32> publicKey{};
};

// The base64 line of a minisign public key ("RWQ..."). Throws ServiceError
// (InvalidArgument) for anything else.
ReleaseKey ParseReleaseKey(std::string_view line);

// The keys this build trusts, built in at configure time.
const std::vector<ReleaseKey>& TrustedReleaseKeys();
// The public key file of a build that made its own key pair; empty for a
// build configured with the maker's keys.
std::string DevelopmentKeyFile();

// What a pass over a signed file learnt besides the signature.
struct SignedFileFacts {
    int64_t size = 0;
    std::string sha256;  // lower-case hex
};

// A detached minisign signature (the text of a ".minisig" file): the
// signature of the content by one key, and the maker's trusted comment with
// its own signature. Both the default prehashed form (BLAKE2b-512) and the
// legacy form are taken. Every refusal is a ServiceError with number
// ErrorNumber::SignatureRefused whose text names `signedName` and the reason.
class ReleaseSignature {
  public:
    // Throws when the text is not a minisign signature.
    ReleaseSignature(std::string_view text, std::string signedName);

    void Verify(std::string_view content, const std::vector<ReleaseKey>& trusted) const;
    // Reads the file once, in pieces for a prehashed signature.
    SignedFileFacts VerifyFile(const std::filesystem::path& file,
                               const std::vector<ReleaseKey>& trusted) const;

  private:
    const ReleaseKey& SignerAmong(const std::vector<ReleaseKey>& trusted) const;
    void Check(const ReleaseKey& key, const unsigned char* message, size_t size) const;
    [[noreturn]] void Refuse(const std::string& reason) const;

    std::string signedName_;
    bool prehashed_ = true;
    std::array<unsigned char, 8> keyId_{};
    std::array<unsigned char, 64> signature_{};
    std::string trustedComment_;
    std::array<unsigned char, 64> commentSignature_{};
};

}  // namespace tvk
