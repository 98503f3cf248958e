#include "components/MhtBuilder.h"

#include "MhtBuilder_test.h"

namespace tvk {
namespace {

TEST(MhtBuilder, MessageOfAPageCarriesItsPictures) {
    TempFolder folder;
    WriteAll(folder / "logo.png", kPng);
    WriteAll(folder / "page.htm", "<body><img src=\"logo.png\">Med vennlig hilsen,</body>");
    auto message = CreateMhtBuilder()->HtmlFileToMessage((folder / "page.htm").string());
    message->AddRecipient("", "kunde@firma.no");
    const test::ParsedMail mail = ParseMail(message->ToMime());
    EXPECT_EQ(mail.Part("image/png").content, kPng);
    EXPECT_NE(mail.Part("text/html").content.find("cid:" + mail.Part("image/png").contentId),
              std::string::npos);
    EXPECT_EQ(mail.Part("text/plain").content, "Med vennlig hilsen,");
}

TEST(MhtBuilder, MissingPageIsAnError) {
    TempFolder folder;
    const auto builder = CreateMhtBuilder();
    const std::string missing = (folder / "gone.htm").string();
    EXPECT_EQ(test::ErrorOf([&] { builder->HtmlFileToMessage(missing); }).Number(), ENOENT);
    EXPECT_EQ(test::ErrorOf([&] {
                  builder->HtmlFileToMhtFile(missing, (folder / "x.mht").string());
              }).Number(),
              ENOENT);
    EXPECT_FALSE(std::filesystem::exists(folder / "x.mht"));
}

}  // namespace
}  // namespace tvk
