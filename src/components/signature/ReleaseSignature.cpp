#include "components/signature/ReleaseSignature.h"

#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "platform/Platform.h"

namespace tvk {

namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment:";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";

void InitialiseSodiumOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (sodium_init() < 0)
            throw ServiceError(ErrorNumber::SignatureRefused, "The signature library cannot start");
    });
}

// Exactly `size` bytes of standard base64, or nothing.
template <size_t N>
bool DecodeBase64(std::string_view text, std::array<unsigned char, N>& out) {
    size_t length = 0;
    const char* end = nullptr;
    std::array<unsigned char, N + 3> buffer{};
    if (sodium_base642bin(buffer.data(), buffer.size(), text.data(), text.size(), nullptr, &length,
                          &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size() || length != N)
        return false;
    std::copy_n(buffer.begin(), N, out.begin());
    return true;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// As minisign prints it, so that the maker can match it with a key file.
std::string KeyIdText(const std::array<unsigned char, 8>& id) {
    std::string text;
    char digits[3];
    for (auto byte = id.rbegin(); byte != id.rend(); ++byte) {
        std::snprintf(digits, sizeof digits, "%02X", *byte);
        text += digits;
    }
    return text;
}

std::string Hex(const unsigned char* bytes, size_t size) {
    std::string text(size * 2 + 1, '\0');
    sodium_bin2hex(text.data(), text.size(), bytes, size);
    text.pop_back();
    return text;
}

// The value of the field "<name>:" of a trusted comment, if it has one.
std::optional<std::string_view> CommentField(std::string_view comment, std::string_view name) {
    const char separator = comment.find('\t') == std::string_view::npos ? ' ' : '\t';
    while (!comment.empty()) {
        const size_t end = comment.find(separator);
        std::string_view field = comment.substr(0, end);
        if (field.size() > name.size() && field.starts_with(name) && field[name.size()] == ':')
            return field.substr(name.size() + 1);
        if (end == std::string_view::npos) break;
        comment.remove_prefix(end + 1);
    }
    return std::nullopt;
}

}  // namespace

ReleaseKey ParseReleaseKey(std::string_view line) {
    std::array<unsigned char, 42> raw{};
    if (!DecodeBase64(line, raw) || raw[0] != 'E' || raw[1] != 'd')
        throw ServiceError(ErrorNumber::InvalidArgument,
                           "\"" + std::string(line) + "\" is not a minisign public key");
    ReleaseKey key;
    std::copy_n(raw.begin() + 2, key.id.size(), key.id.begin());
    std::copy_n(raw.begin() + 10, key.publicKey.size(), key.publicKey.begin());
    return key;
}

std::array<unsigned char, 32> Sha256Of(std::string_view bytes) {
    InitialiseSodiumOnce();
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                       bytes.size());
    return digest;
}

ReleaseSignature::ReleaseSignature(std::string_view text, std::string signedName,
                                   std::optional<int64_t> build)
    : signedName_(std::move(signedName)), build_(build) {
    std::vector<std::string_view> lines = Lines(text);
    std::array<unsigned char, 74> raw{};
    if (lines.size() < 4 || !lines[0].starts_with(kUntrustedPrefix) ||
        !DecodeBase64(lines[1], raw) || !lines[2].starts_with(kTrustedPrefix) ||
        !DecodeBase64(lines[3], commentSignature_))
        Refuse("its signature is not a minisign signature");
    if (raw[0] == 'E' && raw[1] == 'd')
        Refuse("its signature is in minisign's legacy form, which is not taken");
    if (raw[0] != 'E' || raw[1] != 'D')
        Refuse("its signature uses an algorithm this build does not know");
    std::copy_n(raw.begin() + 2, keyId_.size(), keyId_.begin());
    std::copy_n(raw.begin() + 10, signature_.size(), signature_.begin());
    trustedComment_ = lines[2].substr(kTrustedPrefix.size());
}

const ReleaseKey& ReleaseSignature::SignerAmong(const std::vector<ReleaseKey>& trusted) const {
    auto key = std::find_if(trusted.begin(), trusted.end(),
                            [&](const ReleaseKey& k) { return k.id == keyId_; });
    if (key == trusted.end())
        Refuse("it is signed by a key this build does not trust (key id " + KeyIdText(keyId_) +
               ")");
    return *key;
}

void ReleaseSignature::Check(const ReleaseKey& key, const unsigned char* digest,
                             size_t size) const {
    if (crypto_sign_verify_detached(signature_.data(), digest, size, key.publicKey.data()) != 0)
        Refuse("its signature does not match its content");
    // The comment's signature covers the content's signature too, so that a
    // comment cannot be moved to another file.
    std::string signedComment(reinterpret_cast<const char*>(signature_.data()), signature_.size());
    signedComment += trustedComment_;
    if (crypto_sign_verify_detached(commentSignature_.data(),
                                    reinterpret_cast<const unsigned char*>(signedComment.data()),
                                    signedComment.size(), key.publicKey.data()) != 0)
        Refuse("the trusted comment of its signature does not verify");
    CheckComment();
}

// A signature the maker made for another file, or for the setup of another
// build, holds for its own content; only the comment tells them apart.
void ReleaseSignature::CheckComment() const {
    const std::optional<std::string_view> file = CommentField(trustedComment_, "file");
    if (!file || !EqualsIgnoreCase(*file, signedName_))
        Refuse("its signature was made for another file (its trusted comment lacks file:" +
               signedName_ + ")");
    if (!build_) return;
    const std::optional<std::string_view> build = CommentField(trustedComment_, "build");
    if (!build || *build != std::to_string(*build_))
        Refuse("its signature was made for another build (its trusted comment lacks build:" +
               std::to_string(*build_) + ")");
}

void ReleaseSignature::Verify(std::string_view content,
                              const std::vector<ReleaseKey>& trusted) const {
    InitialiseSodiumOnce();
    const ReleaseKey& key = SignerAmong(trusted);
    std::array<unsigned char, crypto_generichash_BYTES_MAX> digest{};
    crypto_generichash(digest.data(), digest.size(),
                       reinterpret_cast<const unsigned char*>(content.data()), content.size(),
                       nullptr, 0);
    Check(key, digest.data(), digest.size());
}

SignedFileFacts ReleaseSignature::VerifyPieces(const NextPiece& next,
                                               const std::vector<ReleaseKey>& trusted) const {
    InitialiseSodiumOnce();
    const ReleaseKey& key = SignerAmong(trusted);
    crypto_generichash_state blake{};
    crypto_hash_sha256_state sha{};
    crypto_generichash_init(&blake, nullptr, 0, crypto_generichash_BYTES_MAX);
    crypto_hash_sha256_init(&sha);
    SignedFileFacts facts;
    std::vector<char> piece(1 << 20);
    while (const size_t count = next(piece.data(), piece.size())) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(piece.data());
        facts.size += static_cast<int64_t>(count);
        crypto_hash_sha256_update(&sha, bytes, count);
        crypto_generichash_update(&blake, bytes, count);
    }
    std::array<unsigned char, crypto_hash_sha256_BYTES> sha256{};
    crypto_hash_sha256_final(&sha, sha256.data());
    facts.sha256 = Hex(sha256.data(), sha256.size());
    std::array<unsigned char, crypto_generichash_BYTES_MAX> digest{};
    crypto_generichash_final(&blake, digest.data(), digest.size());
    Check(key, digest.data(), digest.size());
    return facts;
}

SignedFileFacts ReleaseSignature::VerifyFile(const std::filesystem::path& file,
                                             const std::vector<ReleaseKey>& trusted) const {
    std::optional<platform::RegularFile> in;
    try {
        in.emplace(file);
    } catch (const ServiceError& failure) {
        Refuse("it cannot be read: " + failure.Description());
    }
    return VerifyPieces([&](char* buffer, size_t size) { return in->Read(buffer, size); }, trusted);
}

void ReleaseSignature::Refuse(const std::string& reason) const {
    throw ServiceError(ErrorNumber::SignatureRefused, signedName_ + " is refused: " + reason);
}

}  // namespace tvk
