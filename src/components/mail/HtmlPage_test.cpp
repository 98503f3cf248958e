#include "components/mail/HtmlPage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

namespace tvk {
namespace {

using test::TempFolder;
using test::WriteAll;

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

}  // namespace
}  // namespace tvk
