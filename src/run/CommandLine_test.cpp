#include "run/CommandLine.h"

#include <gtest/gtest.h>

namespace tvk {
namespace {

TEST(CommandLine, EmptyOrDebugOnlyLineGivesDefaults) {
    for (const char* text : {"", "/debug", "/DEBUG", "/debug/debug"}) {
        CommandLine line = ParseCommandLine(text);
        EXPECT_EQ(line.RunMode, 1) << text;
        EXPECT_EQ(line.LanguageId, 1044) << text;
        EXPECT_TRUE(line.MainInstallation) << text;
        EXPECT_EQ(line.ConnectionText, "none") << text;
    }
    EXPECT_TRUE(ParseCommandLine("/debug").debug);
    EXPECT_FALSE(ParseCommandLine("").debug);
}

TEST(CommandLine, FourValuesAndConnectionTextKeepingItsCase) {
    CommandLine line = ParseCommandLine("8 x 2057 FALSE /conn:Driver={SQL Server};PWD=SeCrEt");
    EXPECT_EQ(line.RunMode, 8);
    EXPECT_EQ(line.LanguageId, 2057);
    EXPECT_FALSE(line.MainInstallation);
    EXPECT_EQ(line.ConnectionText, "Driver={SQL Server};PWD=SeCrEt");
}

TEST(CommandLine, EverythingAfterConnOptionBelongsToTheConnectionText) {
    CommandLine line = ParseCommandLine("8 x 1030 true /conn:sqlite:a.db 1 y 2057 false");
    EXPECT_EQ(line.ConnectionText, "sqlite:a.db 1 y 2057 false");
    EXPECT_EQ(line.LanguageId, 1030);
    EXPECT_TRUE(line.MainInstallation);
    // Only the option and its text go; an option alone leaves the defaults.
    EXPECT_EQ(ParseCommandLine("/CONN:None").ConnectionText, "None");
    EXPECT_EQ(ParseCommandLine("  /conn:x").RunMode, 1);
}

TEST(CommandLine, DebugIsRemovedEverywhereWithoutTrimming) {
    CommandLine line = ParseCommandLine("8 /debug 2057 true /conn:a/debugb");
    // "8  2057 true": the blanks around the switch stay, so value 2 is empty.
    EXPECT_EQ(line.RunMode, 8);
    EXPECT_EQ(line.LanguageId, 2057);
    EXPECT_EQ(line.ConnectionText, "ab");
    // Removal is one pass: joining the rest makes no new switch.
    EXPECT_THROW(ParseCommandLine("/de/debugbug"), CommandLineError);
}

TEST(CommandLine, LeadingDebugShiftsTheValues) {
    // The leading blank stays: value 1 is empty (run mode 0) and the caller's
    // identifier lands on the language id.
    CommandLine line = ParseCommandLine("/debug 8 1031 2057 true");
    EXPECT_EQ(line.RunMode, 0);
    EXPECT_EQ(line.LanguageId, 1031);
    EXPECT_TRUE(line.MainInstallation);
    EXPECT_THROW(ParseCommandLine("/debug 8 velkor 2057 true"), CommandLineError);
}

TEST(CommandLine, RunModeIsTheLeadingNumberRounded) {
    EXPECT_EQ(ParseCommandLine("8a x 1044 1").RunMode, 8);
    EXPECT_EQ(ParseCommandLine("a x 1044 1").RunMode, 0);
    EXPECT_EQ(ParseCommandLine("8.5 x 1044 1").RunMode, 8);
    EXPECT_EQ(ParseCommandLine("7.5 x 1044 1").RunMode, 8);
    EXPECT_EQ(ParseCommandLine("-32768 x 1044 1").RunMode, -32768);
    EXPECT_THROW(ParseCommandLine("32768 x 1044 1"), CommandLineError);
}

TEST(CommandLine, MainInstallationFlag) {
    EXPECT_FALSE(ParseCommandLine("1 x 1044 0").MainInstallation);
    EXPECT_TRUE(ParseCommandLine("1 x 1044 1").MainInstallation);
    EXPECT_TRUE(ParseCommandLine("1 x 1044 -1").MainInstallation);
    EXPECT_TRUE(ParseCommandLine("1 x 1044 True").MainInstallation);
    EXPECT_THROW(ParseCommandLine("1 x 1044 yes"), CommandLineError);
}

TEST(CommandLine, UnusableLinesNameTheProblem) {
    auto problem = [](const char* text) {
        try {
            ParseCommandLine(text);
        } catch (const CommandLineError& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_NE(problem("8 x 2057").find("expected four values"), std::string::npos);
    // Two blanks make an empty value, so this line has only three usable places.
    EXPECT_NE(problem("8  2057").find("found 3"), std::string::npos);
    EXPECT_NE(problem("8 x 20x7 true").find("language id \"20x7\""), std::string::npos);
    EXPECT_NE(problem("8 x 2057 maybe").find("\"maybe\""), std::string::npos);
    EXPECT_EQ(problem("8 x 2057 true extra values"), "accepted");
}

TEST(CommandLine, HelpIsRecognised) {
    EXPECT_TRUE(ParseCommandLine("--help").helpRequested);
    EXPECT_TRUE(ParseCommandLine("/?").helpRequested);
    EXPECT_NE(CommandLineUsage().find("/conn:"), std::string::npos);
}

}  // namespace
}  // namespace tvk
