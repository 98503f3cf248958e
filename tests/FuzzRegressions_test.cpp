// Inputs the fuzz targets (fuzz/) found to break a rule, kept as ordinary
// tests so that the fault cannot come back unnoticed. Each input is also a
// seed in tests/fuzz/<target>/.

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "components/settings/IniFile.h"

namespace tvk {
namespace {

using test::TempFolder;
using test::WriteAll;

// A settings file whose last line ends in a CR without its LF (a file cut
// between the two, or written by a tool with old Mac line endings). The CR
// ends the line, as any CR does; a write after it must leave the value on
// that line as it was.
// (tests/fuzz/ini/regression-lone-cr-at-end)
class LoneCarriageReturnAtEnd : public ::testing::Test {
  protected:
    std::string Path() const { return (folder_ / "Velkor5.ini").string(); }
    std::string Read(const std::string& section, const std::string& key) {
        return ini_.LesINIStreng(section, key, Path());
    }

    TempFolder folder_;
    IniFile ini_;
};

TEST_F(LoneCarriageReturnAtEnd, AddingASectionKeepsTheValueOnTheLastLine) {
    for (const std::string file : {"[e]\ne=o\r", "[UpdateService]\r\nHost=http://a\r"}) {
        SCOPED_TRACE(::testing::PrintToString(file));
        WriteAll(Path(), file);
        const std::string host = Read("e", "e") + Read("UpdateService", "Host");

        ini_.SkrivINIStreng("Other", "Key", "1", Path());

        EXPECT_EQ(Read("e", "e") + Read("UpdateService", "Host"), host);
        EXPECT_EQ(Read("Other", "Key"), "1");
    }
}

TEST_F(LoneCarriageReturnAtEnd, AddingAKeyKeepsTheValueOnTheLastLine) {
    for (const std::string file :
         {"[UpdateService]\nHost=http://a\r", "[UpdateService]\r\nHost=http://a\r"}) {
        SCOPED_TRACE(::testing::PrintToString(file));
        WriteAll(Path(), file);
        const std::string host = Read("UpdateService", "Host");

        ini_.SkrivINIStreng("UpdateService", "Info", "http://b", Path());

        EXPECT_EQ(Read("UpdateService", "Host"), host);
        EXPECT_EQ(Read("UpdateService", "Info"), "http://b");
    }
}

}  // namespace
}  // namespace tvk
