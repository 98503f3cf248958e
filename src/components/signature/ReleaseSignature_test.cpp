#include "components/signature/ReleaseSignature.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include "TestSupport.h"

namespace tvk {
namespace {

// The maker's signature turned into minisign's legacy form by its algorithm
// id alone, which no signature covers: it then signs the 64 bytes of the
// content's BLAKE2b-512 hash as if they were the content.
std::string AsLegacyForm(std::string signature) {
    const size_t begin = signature.find('\n') + 1, end = signature.find('\n', begin);
    std::string raw(74, '\0');
    size_t length = 0;
    sodium_base642bin(reinterpret_cast<unsigned char*>(raw.data()), raw.size(), &signature[begin],
                      end - begin, nullptr, &length, nullptr, sodium_base64_VARIANT_ORIGINAL);
    raw[1] = 'd';
    std::string line(sodium_base64_ENCODED_LEN(raw.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(line.data(), line.size(), reinterpret_cast<unsigned char*>(raw.data()),
                      raw.size(), sodium_base64_VARIANT_ORIGINAL);
    line.pop_back();  // its terminating NUL
    return signature.replace(begin, end - begin, line);
}

std::string Blake2b512(const std::string& content) {
    std::string digest(crypto_generichash_BYTES_MAX, '\0');
    crypto_generichash(reinterpret_cast<unsigned char*>(digest.data()), digest.size(),
                       reinterpret_cast<const unsigned char*>(content.data()), content.size(),
                       nullptr, 0);
    return digest;
}

// Signatures made by the minisign tool itself against the keys a build may
// trust: one, or two while a key is being rotated. Only the prehashed form,
// with a trusted comment that names the file, is taken.
TEST(ReleaseSignature, AcceptsMinisignsOwnSignaturesByAnyTrustedKeyAndNothingElse) {
    ASSERT_GE(sodium_init(), 0);
    test::TempFolder folder;
    test::ReleaseKeyPair oldKey = test::MakeReleaseKeyPair(folder.Path(), "old");
    test::ReleaseKeyPair newKey = test::MakeReleaseKeyPair(folder.Path(), "new");
    const std::vector<ReleaseKey> rotating = {ParseReleaseKey(oldKey.publicKey),
                                              ParseReleaseKey(newKey.publicKey)};
    const std::vector<ReleaseKey> onlyNew = {rotating[1]};
    const std::string content = "[Update]\r\nBuild=512\r\n";
    const std::string comment = "file:update.ini build:512";
    std::string signature = test::ReleaseSignatureOf(content, comment, newKey.secretKey);
    std::string commentMoved = signature;
    commentMoved.insert(commentMoved.find("\ntrusted comment: ") + 18, "x");
    struct Case {
        const char* name;
        std::string signature;
        std::string content;
        const std::vector<ReleaseKey>& trusted;
        const char* refusal;  // nullptr: verifies
    } cases[] = {
        {"prehashed, new key", signature, content, rotating, nullptr},
        {"prehashed, old key", test::ReleaseSignatureOf(content, comment, oldKey.secretKey),
         content, rotating, nullptr},
        {"minisign's own comment, another letter case",
         test::ReleaseSignatureOf(content, "timestamp:1765000000\tfile:Update.INI\thashed",
                                  newKey.secretKey),
         content, onlyNew, nullptr},
        {"legacy", test::ReleaseSignatureOf(content, comment, newKey.secretKey, true), content,
         onlyNew, "legacy form"},
        {"ED turned into Ed, over the hash", AsLegacyForm(signature), Blake2b512(content), rotating,
         "legacy form"},
        {"made for another file",
         test::ReleaseSignatureOf(content, "file:update.ini.bak build:512", newKey.secretKey),
         content, rotating, "made for another file"},
        {"a comment naming no file",
         test::ReleaseSignatureOf(content, "update.ini", newKey.secretKey), content, rotating,
         "made for another file"},
        {"retired key", test::ReleaseSignatureOf(content, comment, oldKey.secretKey), content,
         onlyNew, "a key this build does not trust"},
        {"other content", signature, content + " ", rotating,
         "its signature does not match its content"},
        {"changed trusted comment", commentMoved, content, rotating,
         "the trusted comment of its signature does not verify"},
        {"an HTML page", "<html>Not Found</html>", content, rotating, "not a minisign signature"},
        {"cut short", signature.substr(0, signature.size() / 2), content, rotating,
         "not a minisign signature"},
    };
    for (const Case& c : cases) {
        const auto file = folder / "signed";
        test::WriteAll(file, c.content);
        for (bool fromFile : {false, true}) {
            auto verify = [&] {
                ReleaseSignature signature(c.signature, "update.ini");
                if (fromFile) return (void)signature.VerifyFile(file, c.trusted);
                signature.Verify(c.content, c.trusted);
            };
            if (c.refusal == nullptr) {
                EXPECT_NO_THROW(verify()) << c.name;
                continue;
            }
            ServiceError error = test::ErrorOf(verify);
            EXPECT_EQ(error.Number(), ErrorNumber::SignatureRefused) << c.name;
            EXPECT_EQ(error.Description().rfind("update.ini is refused: ", 0), 0u) << c.name;
            EXPECT_NE(error.Description().find(c.refusal), std::string::npos)
                << c.name << ": " << error.Description();
        }
    }
}

}  // namespace
}  // namespace tvk
