#include "components/MhtBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "SmtpParsedMail.h"
#include "TestSupport.h"
#include "common/ServiceError.h"

namespace tvk {
namespace {

using test::ParseMail;
using test::TempFolder;
using test::WriteAll;

const std::string kPng("\x89PNG\r\n\x1a\n\0\0logo", 14);

TEST(MhtBuilder, MhtFileIsMultipartRelatedWithThePageFirst) {
    TempFolder folder;
    WriteAll(folder / "logo.png", kPng);
    WriteAll(folder / "page.htm",
             "<html><head><title>Nytt i Velkor</title></head><body><img src=\"logo.png\">"
             "Med vennlig hilsen,<BR>\xf8/\xe5</body></html>");
    const std::string mhtPath = (folder / "page.mht").string();
    WriteAll(mhtPath, "old content");
    EXPECT_EQ(CreateMhtBuilder()->HtmlFileToMhtFile((folder / "page.htm").string(), mhtPath), 1);

    const test::ParsedMail mht = ParseMail(test::ReadAll(mhtPath));
    EXPECT_EQ(mht.subject, "Nytt i Velkor");
    ASSERT_EQ(mht.parts.size(), 3u);
    EXPECT_EQ(mht.parts[0].mediaType, "multipart/related");
    EXPECT_EQ(mht.parts[0].typeParameter, "text/html");
    EXPECT_EQ(mht.parts[1].mediaType, "text/html");
    EXPECT_EQ(mht.parts[1].charset, "utf-8");
    EXPECT_NE(mht.parts[1].content.find("Med vennlig hilsen,<BR>ø/å"), std::string::npos);
    EXPECT_EQ(mht.parts[2].mediaType, "image/png");
    EXPECT_EQ(mht.parts[2].content, kPng);
    EXPECT_NE(mht.parts[1].content.find("src=\"cid:" + mht.parts[2].contentId + "\""),
              std::string::npos);

    const std::string fresh = (folder / "fresh.mht").string();
    EXPECT_EQ(CreateMhtBuilder()->HtmlFileToMhtFile((folder / "page.htm").string(), fresh), 1);
    EXPECT_EQ(std::filesystem::status(fresh).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

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
