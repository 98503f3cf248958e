// Linux only: the POSIX file mode (0600) of the file written.
#include "MhtBuilder_test.h"

namespace tvk {
namespace {

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

}  // namespace
}  // namespace tvk
