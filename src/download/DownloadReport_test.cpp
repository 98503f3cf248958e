#include "download/DownloadReport.h"

#include <gtest/gtest.h>

namespace tvk {
namespace {

TEST(DownloadReport, NamesFollowTheServerClock) {
    EXPECT_EQ(ReportFileName({2019, 10, 29, 14, 30, 5}), "VK191029143005.xml");
    EXPECT_EQ(ReportFileName({2020, 3, 2, 9, 5, 3}), "VK200302090503.xml");
    EXPECT_EQ(ReportFileName({2020, 3, 2, 21, 5, 0}), "VK200302210500.xml");
}

TEST(DownloadReport, IsoDates) {
    EXPECT_EQ(FormatIsoDate(DateTime{2019, 10, 29, 14, 30, 5}, true), "2019-10-29T14:30:05");
    EXPECT_EQ(FormatIsoDate(DateTime{2019, 10, 29, 14, 30, 5}, false), "2019-10-29");
    EXPECT_EQ(FormatIsoDate(DateTime{999, 1, 2, 0, 0, 0}, false), "999-01-02");
    EXPECT_EQ(FormatIsoDate(std::nullopt, true), "");
}

TEST(DownloadReport, CompanyNameEscapingAmpersandFirst) {
    EXPECT_EQ(EscapeCompanyName("A&B <Bygg> \"AS\" 'x'"), "A&amp;B &lt;Bygg&gt; \"AS\" 'x'");
    EXPECT_EQ(EscapeCompanyName("Smith &amp; Co"), "Smith &amp;amp; Co");
}

TEST(DownloadReport, TheLineIsLatin1WithReferencesForTheRest) {
    DownloadReportValues values{.company = "Ærlig & Sønn <AS> €",
                                .installedBuild = -1,
                                .downloadedBuild = 512,
                                .databaseVersion = "5.0<b>",
                                .serverVersion = "",
                                .finished = {2026, 12, 8, 21, 5, 9}};
    EXPECT_EQ(BuildReportLine(values),
              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Download>"
              "<Firma>\xC6rlig &amp; S\xF8nn &lt;AS&gt; &#8364;</Firma>"
              "<BuildPC>-1</BuildPC><BuildHentet>512</BuildHentet>"
              "<DatabaseVersjon>5.0&lt;b&gt;</DatabaseVersjon><SQLServerVersjon></SQLServerVersjon>"
              "<Ferdig>2026-12-08T21:05:09</Ferdig></Download>\r\n");
}

TEST(DownloadReport, LogHostLosesItsSchemeInAnyCase) {
    EXPECT_EQ(ReportHost("FTP://Log.Tavrin.NO:2121"), "log.tavrin.no:2121");
    EXPECT_EQ(ReportHost("ftp.tavrin.no"), "ftp.tavrin.no");
}

}  // namespace
}  // namespace tvk
