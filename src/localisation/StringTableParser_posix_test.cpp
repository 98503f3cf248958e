// Linux only: runs the built compiler through the POSIX shell (sh quoting, 2> redirection).
// The build-time compiler of resources/strings.rc: its parser and block
// builder (header-only, shared with the compiler) and the program itself.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "../../resources/StringTableParser.h"
#include "TestSupport.h"

namespace tvk::rc {
namespace {

const std::string kHeader = "#pragma code_page(65001)\nLANGUAGE 0x14, 0x01\n";

// The program the build runs: a clear message with file and line, a failing
// exit status, and an output left untouched when nothing changed.
TEST(StringTableCompiler, ReportsErrorsAndRewritesOnlyChangedOutput) {
    test::TempFolder folder;
    const std::string compiler = std::string(TVK_BUILD_DIR) + "/tvkStringTableCompiler";
    const auto run = [&](const std::string& script) {
        test::WriteAll(folder / "in.rc", script);
        const std::string command = "'" + compiler + "' '" + (folder / "in.rc").string() + "' '" +
                                    (folder / "out.cpp").string() + "' 2>'" +
                                    (folder / "err.txt").string() + "'";
        return std::system(command.c_str());
    };
    EXPECT_NE(run(kHeader + "STRINGTABLE\nBEGIN\n100 \"a\" \"b\"\nEND\n"), 0);
    EXPECT_NE(test::ReadAll(folder / "err.txt").find("in.rc:5: error: unexpected text"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder / "out.cpp"));

    ASSERT_EQ(run(kHeader + "STRINGTABLE\nBEGIN\n100 \"a\"\nEND\n"), 0);
    const std::string output = test::ReadAll(folder / "out.cpp");
    EXPECT_NE(output.find("{7, 1044, kBlock7Language1044"), std::string::npos);
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(folder / "out.cpp", old);
    ASSERT_EQ(run(kHeader + "STRINGTABLE\nBEGIN\n100 \"a\"\nEND\n"), 0);
    EXPECT_EQ(std::filesystem::last_write_time(folder / "out.cpp"), old);
    ASSERT_EQ(run(kHeader + "STRINGTABLE\nBEGIN\n100 \"b\"\nEND\n"), 0);
    EXPECT_NE(std::filesystem::last_write_time(folder / "out.cpp"), old);
}

}  // namespace
}  // namespace tvk::rc
