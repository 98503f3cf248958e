#include "components/signature/ReleaseSignature.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace tvk {
namespace {

// Signatures made by the minisign tool itself, in both of its forms, against
// the keys a build may trust: one, or two while a key is being rotated.
TEST(ReleaseSignature, AcceptsMinisignsOwnSignaturesByAnyTrustedKeyAndNothingElse) {
    test::TempFolder folder;
    test::ReleaseKeyPair oldKey = test::MakeReleaseKeyPair(folder.Path(), "old");
    test::ReleaseKeyPair newKey = test::MakeReleaseKeyPair(folder.Path(), "new");
    const std::vector<ReleaseKey> rotating = {ParseReleaseKey(oldKey.publicKey),
                                              ParseReleaseKey(newKey.publicKey)};
    const std::vector<ReleaseKey> onlyNew = {rotating[1]};
    const std::string content = "[Update]\r\nBuild=512\r\n";
    std::string signature = test::ReleaseSignatureOf(content, newKey.secretKey);
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
        {"prehashed, old key", test::ReleaseSignatureOf(content, oldKey.secretKey), content,
         rotating, nullptr},
        {"legacy", test::ReleaseSignatureOf(content, newKey.secretKey, true), content, onlyNew,
         nullptr},
        {"retired key", test::ReleaseSignatureOf(content, oldKey.secretKey), content, onlyNew,
         "a key this build does not trust"},
        {"other content", signature, content + " ", rotating,
         "its signature does not match its content"},
        {"legacy, other content", test::ReleaseSignatureOf(content, newKey.secretKey, true),
         "x" + content, rotating, "its signature does not match its content"},
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
