#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
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

// The SHA-256 of `bytes`, by the library that checks the signatures.
std::array<unsigned char, 32> Sha256Of(std::string_view bytes);

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
// its own signature. Only minisign's default prehashed form (BLAKE2b-512) is
// taken: the algorithm id is covered by neither signature, so a legacy
// signature would let a prehashed one pass for the 64 bytes of its hash.
//
// The trusted comment must name the file it was made for, "file:<name>"
// (letter case ignored), and for a setup also "build:<build>", so that a
// signature of another file or another build is refused. Its fields are
// separated by tabs, as minisign writes its own comment, or by blanks in a
// comment without a tab. Every refusal is a ServiceError with number
// ErrorNumber::SignatureRefused whose text names `signedName` and the reason.
class ReleaseSignature {
  public:
    // Throws when the text is not a minisign signature in the prehashed form.
    ReleaseSignature(std::string_view text, std::string signedName,
                     std::optional<int64_t> build = std::nullopt);

    void Verify(std::string_view content, const std::vector<ReleaseKey>& trusted) const;
    // The content in pieces: `next` fills up to `size` bytes of `buffer` and
    // returns how many, 0 at the end; it throws to stop.
    using NextPiece = std::function<size_t(char* buffer, size_t size)>;
    SignedFileFacts VerifyPieces(const NextPiece& next,
                                 const std::vector<ReleaseKey>& trusted) const;
    // Reads a regular file once, never through a link.
    SignedFileFacts VerifyFile(const std::filesystem::path& file,
                               const std::vector<ReleaseKey>& trusted) const;

  private:
    const ReleaseKey& SignerAmong(const std::vector<ReleaseKey>& trusted) const;
    void Check(const ReleaseKey& key, const unsigned char* digest, size_t size) const;
    void CheckComment() const;
    [[noreturn]] void Refuse(const std::string& reason) const;

    std::string signedName_;
    std::optional<int64_t> build_;
    std::array<unsigned char, 8> keyId_{};
    std::array<unsigned char, 64> signature_{};
    std::string trustedComment_;
    std::array<unsigned char, 64> commentSignature_{};
};

}  // namespace tvk
