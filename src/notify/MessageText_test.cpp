#include "notify/MessageText.h"

#include <stdlib.h>

#include <filesystem>
#include <optional>

#include "TestSupport.h"
#include "components/TransferError.h"
#include "localisation/StringTable.h"
#include "platform/Platform.h"
#include "state/RunState.h"

namespace tvk {
namespace {

TEST(ReplacePlaceholders, LeavesTextWithoutMatchingPlaceholdersAlone) {
    EXPECT_EQ(ReplacePlaceholders("no placeholders @ here", {"a", "b"}), "no placeholders @ here");
    EXPECT_EQ(ReplacePlaceholders("@1 and @2", {}), "@1 and @2");
    EXPECT_EQ(ReplacePlaceholders("@1 @2 @3", {"a", "b"}), "a b @3");
    EXPECT_EQ(ReplacePlaceholders("", {"a"}), "");
}

TEST(ReplacePlaceholders, ReplacesEveryOccurrenceHighestNumberFirst) {
    EXPECT_EQ(ReplacePlaceholders("@1-@1-@1", {"x"}), "x-x-x");
    // Fewer than ten arguments: "@10" is the first one followed by a zero.
    EXPECT_EQ(ReplacePlaceholders("@10", {"a", "b"}), "a0");
    std::vector<std::string> twelve;
    for (int i = 1; i <= 12; ++i) twelve.push_back("v" + std::to_string(i));
    EXPECT_EQ(ReplacePlaceholders("@12/@1/@10", twelve), "v12/v1/v10");
}

TEST(ReplacePlaceholders, InsertedTextIsSearchedOnlyByLowerNumbers) {
    EXPECT_EQ(ReplacePlaceholders("[@2]", {"one", "has @1"}), "[has one]");
    EXPECT_EQ(ReplacePlaceholders("[@1]", {"@1@1", "two"}), "[@1@1]");
    EXPECT_EQ(ReplacePlaceholders("[@1]", {"@2", "two"}), "[@2]");
    EXPECT_EQ(ReplacePlaceholders("@1@1", {"@"}), "@@");
}

// A plain sentence of what happened, then the technical detail.
TEST(DescribeTransferFailure, LeadsWithWhatHappenedThenTheNumberAndDescription) {
    using enum TransferCause;
    const struct {
        int language;
        TransferError failure;
        const char* told;
    } cases[] = {
        {2057, {NotOnServer, 404, "x"}, "a.exe is not on the update server (404 - x)"},
        {1044, {NotOnServer, 410, "x"}, "a.exe finnes ikke på oppdateringsserveren (410 - x)"},
        {2057, {NoConnection, 7, "x"}, "The update server could not be reached (7 - x)"},
        {1031,
         {ConnectionLost, 18, "x"},
         "Die Verbindung zum Aktualisierungsserver wurde unterbrochen (18 - x)"},
        {2057, {DiskFull, 28, "x"}, "The disk is full (28 - x)"},
        {1053, {NoPermission, 13, "x"}, "Det saknas behörighet att skriva i mappen /u (13 - x)"},
        {1030, {Other, 60, "x"}, "a.exe kunne ikke hentes fra opdateringsserveren (60 - x)"},
        {2057, {Refused, -1, "a.exe is refused: why"}, "a.exe is refused: why"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DescribeTransferFailure(StringTableTexts(c.language), c.failure, "a.exe", "/u/"),
                  c.told);
}

class NoticePageTest : public ::testing::Test {
  protected:
    void SetUp() override { state_.UpdateInfo.Build = 5123; }
    // The page as written, checked to be a lower-case ".htm" file in the temp folder.
    std::string WrittenPage() {
        const std::filesystem::path path = WriteNoticePage(state_);
        EXPECT_EQ(path.parent_path(), std::filesystem::canonical(folder_.Path()));
        const std::string name = path.filename().string();
        EXPECT_TRUE(name.starts_with("tvk") && name.ends_with(".htm")) << name;
        EXPECT_EQ(name.find_first_of("ABCDEF"), std::string::npos) << name;
        return test::ReadAll(path);
    }

    test::TempFolder folder_;
    test::TempFolderAt temp_{folder_.Path()};
    RunState state_;
};

const char* const kPageStart =
    "<html><body><span style='font-size:10.0pt;font-family:\"Tahoma\",\"sans-serif\"'>";

TEST_F(NoticePageTest, EnglishPage) {
    state_.LanguageId = 2057;
    EXPECT_EQ(WrittenPage(),
              std::string(kPageStart) +
                  "Overview of changes in this version is available on our web pages."
                  "<BR><BR>Regards, <BR>Orbe Support Velkor<BR>"
                  "<a href=\"http://www.orbe.co.uk/Support\">www.orbe.co.uk/Support</a>"
                  "</span></body></html>");
}

TEST_F(NoticePageTest, NorwegianPageIsWindows1252) {
    state_.LanguageId = 1044;
    EXPECT_EQ(WrittenPage(),
              std::string(kPageStart) +
                  "Oversikt over endringer i denne versjonen finner du p\xE5 v\xE5re supportsider."
                  "<BR><BR>Med vennlig hilsen,<BR>Orbe Support Velkor<BR>"
                  "<a href=\"http://www.orbe.no/Support\">www.orbe.no/Support</a>"
                  "</span></body></html>");
}

}  // namespace
}  // namespace tvk
