#include "components/mail/HtmlPage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

namespace tvk {
namespace {

using test::TempFolder;
using test::WriteAll;

const std::string kPng("\x89PNG\r\n\x1a\n\0\0logo", 14);

// The notice page as the service writes it: one line, Windows-1252.
const std::string kNoticePage =
    "<html><body><span style='font-size:10.0pt;font-family:\"Tahoma\",\"sans-serif\"'>"
    "Oversikt over endringer finner du p\xe5 v\xe5re nettsider.<BR><BR>Med vennlig hilsen,"
    "<BR>Orbe Support Velkor<BR><a href=\"http://www.orbe.no/support\">www.orbe.no/support</a>"
    " \xf8/\xe5</span></body></html>";

TEST(HtmlPage, PageInWindows1252BecomesUtf8HtmlWithPlainText) {
    TempFolder folder;
    WriteAll(folder / "notice.htm", kNoticePage);
    const HtmlBody body = ReadHtmlPage((folder / "notice.htm").string());
    EXPECT_NE(body.html.find("Med vennlig hilsen,<BR>Orbe Support Velkor"), std::string::npos);
    EXPECT_NE(body.html.find("p\xc3\xa5 v\xc3\xa5re nettsider"), std::string::npos);
    EXPECT_NE(body.html.find(" ø/å</span>"), std::string::npos);
    EXPECT_TRUE(body.related.empty());
    EXPECT_EQ(body.plainText,
              "Oversikt over endringer finner du på våre nettsider.\r\n\r\nMed vennlig hilsen,\r\n"
              "Orbe Support Velkor\r\nwww.orbe.no/support ø/å");
}

TEST(HtmlPage, DeclaredCharsetFollowsTheContent) {
    TempFolder folder;
    WriteAll(
        folder / "a.htm",
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"
        "<title>T</title></head><body>\xe6\xf8\xe5 &lt;&#229;&#xE6;&gt;</body></html>");
    WriteAll(folder / "b.htm", "<meta charset='UTF-8'><p>\xc3\xa6\xc3\xb8\xc3\xa5</p>");
    WriteAll(folder / "c.htm", "\xEF\xBB\xBF<p>\xc3\xa6\xc3\xb8\xc3\xa5</p>");

    const HtmlBody a = ReadHtmlPage((folder / "a.htm").string());
    EXPECT_NE(a.html.find("content=\"text/html; charset=utf-8\""), std::string::npos) << a.html;
    EXPECT_NE(a.html.find("<body>æøå"), std::string::npos);
    EXPECT_EQ(a.plainText, "æøå <åæ>");  // the title is not body text
    const HtmlBody b = ReadHtmlPage((folder / "b.htm").string());
    EXPECT_EQ(b.html, "<meta charset='utf-8'><p>æøå</p>");
    const HtmlBody c = ReadHtmlPage((folder / "c.htm").string());
    EXPECT_EQ(c.html, "<p>æøå</p>");
}

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
