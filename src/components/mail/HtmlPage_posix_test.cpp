// Linux only: a symbolic link to a picture outside the page's folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "components/mail/HtmlPage.h"

namespace tvk {
namespace {

using test::TempFolder;
using test::WriteAll;

const std::string kPng("\x89PNG\r\n\x1a\n\0\0logo", 14);

TEST(HtmlPage, OnlyPicturesAndStyleSheetsBesideThePageArePacked) {
    TempFolder outside;
    TempFolder folder;
    std::filesystem::create_directory(folder / "img");
    WriteAll(folder / "img" / "logo.png", kPng);
    WriteAll(folder / "style.css", "body{color:red}");
    WriteAll(folder / "my pic.gif", "GIF89a");
    WriteAll(folder / "notes.txt", "private");
    WriteAll(outside / "secret.png", "secret");
    std::filesystem::create_symlink(outside / "secret.png", folder / "link.png");
    const std::string secret = (outside / "secret.png").string();
    WriteAll(folder / "page.htm",
             "<html><head><link rel=\"stylesheet\" href=\"style.css\"></head><body>"
             "<img src=\"img/logo.png\"><IMG SRC='file://" +
                 (folder / "img" / "logo.png").string() +
                 "'><img src=my%20pic.gif>"
                 "<img src=\"notes.txt\"><img src=\"../" +
                 outside.Path().filename().string() + "/secret.png\"><img src=\"file://" + secret +
                 "\"><img src=\"link.png\">"
                 "<img src=\"http://www.orbe.no/logo.png\"><a href=\"img/logo.png\">logo</a>"
                 "<img src=\"missing.png\"></body></html>");

    const HtmlBody body = ReadHtmlPage((folder / "page.htm").string());
    ASSERT_EQ(body.related.size(), 3u);  // css, logo (twice referred to), gif
    EXPECT_EQ(body.related[0].mediaType, "text/css");
    EXPECT_EQ(body.related[0].bytes, "body{color:red}");
    EXPECT_EQ(body.related[1].mediaType, "image/png");
    EXPECT_EQ(body.related[1].bytes, kPng);
    EXPECT_EQ(body.related[1].location, "img/logo.png");
    EXPECT_EQ(body.related[2].mediaType, "image/gif");
    const std::string logo = "cid:" + body.related[1].contentId;
    EXPECT_NE(body.html.find("<img src=\"" + logo + "\"><IMG SRC='" + logo + "'><img src=cid:"),
              std::string::npos)
        << body.html;
    EXPECT_NE(body.html.find("href=\"cid:" + body.related[0].contentId + "\""), std::string::npos);
    for (const char* kept : {"src=\"notes.txt\"", "/secret.png\"", "src=\"link.png\"",
                             "src=\"http://www.orbe.no/logo.png\"", "<a href=\"img/logo.png\">",
                             "src=\"missing.png\""})
        EXPECT_NE(body.html.find(kept), std::string::npos) << kept;
    for (const RelatedPart& part : body.related) EXPECT_NE(part.bytes, "secret");
}

}  // namespace
}  // namespace tvk
