// The build-time compiler of resources/strings.rc: its parser and block
// builder (header-only, shared with the compiler) and the program itself.
#include "../../resources/StringTableParser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "TestSupport.h"

namespace tvk::rc {
namespace {

const std::string kHeader = "#pragma code_page(65001)\nLANGUAGE 0x14, 0x01\n";

TEST(StringTableParser, ReadsLanguagesIdsAndTexts) {
    const std::string script =
        "\xEF\xBB\xBF// comment\r\n"
        "#pragma code_page(65001)\r\n"
        "\r\n"
        "LANGUAGE 0x14, 0x01\r\n"
        "STRINGTABLE\r\n"
        "BEGIN\r\n"
        "    100 \" Velkor \"\"quoted\"\" \"\r\n"
        "  // a comment in the table\r\n"
        "\t201\t\"Bl\xC3\xA5 \xF0\x9F\x98\x80\"\r\n"
        "END\r\n"
        "LANGUAGE 9, 2\n"
        "STRINGTABLE\nBEGIN\n100 \"English\"\nEND\n";
    const std::vector<StringEntry> entries = ParseStringScript(script);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].language, 1044);
    EXPECT_EQ(entries[0].id, 100);
    EXPECT_EQ(entries[0].text, u" Velkor \"quoted\" ");
    EXPECT_EQ(entries[1].id, 201);
    EXPECT_EQ(entries[1].text, u"Blå \U0001F600");
    EXPECT_EQ(entries[1].line, 9);
    EXPECT_EQ(entries[2].language, 2057);
    EXPECT_EQ(entries[2].text, u"English");
}

TEST(StringTableParser, RejectsWhatItDoesNotUnderstandWithTheLine) {
    const struct {
        std::string script;
        int line;
        std::string message;
    } cases[] = {
        {"LANGUAGE 0x14, 0x01\nSTRINGTABLE\n", 2, "before #pragma code_page(65001)"},
        {"#pragma code_page(1252)\n", 1, "not understood"},
        {"#pragma code_page(65001)\nSTRINGTABLE\n", 2, "before any LANGUAGE"},
        {"#pragma code_page(65001)\nLANGUAGE 0x400, 1\n", 2, "language out of range"},
        {"#pragma code_page(65001)\nLANGUAGE LANG_NORWEGIAN, 1\n", 2, "expected a number"},
        {kHeader + "STRINGTABLE\n{\n", 4, "expected BEGIN"},
        {kHeader + "STRINGTABLE\nBEGIN\n100 \"a\"\n", 5, "without END"},
        {kHeader + "STRINGTABLE\nBEGIN\nIDS_TITLE \"a\"\nEND\n", 5, "expected a string id"},
        {kHeader + "STRINGTABLE\nBEGIN\n65536 \"a\"\nEND\n", 5, "id out of range"},
        {kHeader + "STRINGTABLE\nBEGIN\n100\"a\"\nEND\n", 5, "blank and a quoted text"},
        {kHeader + "STRINGTABLE\nBEGIN\n100 a\nEND\n", 5, "blank and a quoted text"},
        {kHeader + "STRINGTABLE\nBEGIN\n100 \"a\nEND\n", 5, "unterminated"},
        {kHeader + "STRINGTABLE\nBEGIN\n100 \"a\" b\nEND\n", 5, "after the closing quote"},
        {kHeader + "STRINGTABLE\nBEGIN\n100 \"a\\n\"\nEND\n", 5, "backslash"},
        {kHeader + "STRINGTABLE\nBEGIN\n100 \"\"\nEND\n", 5, "empty text"},
        {kHeader + "STRINGTABLE\nBEGIN\n100 \"a\"\n\n100 \"b\"\nEND\n", 7, "first at line 5"},
        {kHeader + "STRINGTABLE\nBEGIN\n100 \"\xC3\x28\"\nEND\n", 5, "invalid UTF-8"},
        {kHeader + "STRINGTABLE\nBEGIN\n100 \"\xC0\xAF\"\nEND\n", 5, "invalid UTF-8"},
        {kHeader + "STRINGTABLE\nBEGIN\n100 \"\xED\xA0\x80\"\nEND\n", 5, "invalid UTF-8"},
        {kHeader + "STRINGTABLE\nBEGIN\n100 \"\xF4\x90\x80\x80\"\nEND\n", 5, "invalid UTF-8"},
        {kHeader + "// \xE2\x82\n", 3, "invalid UTF-8"},
    };
    for (const auto& c : cases) {
        try {
            ParseStringScript(c.script);
            ADD_FAILURE() << "accepted: " << c.script;
        } catch (const ScriptError& error) {
            EXPECT_EQ(error.Line(), c.line) << c.script;
            EXPECT_NE(error.Message().find(c.message), std::string::npos)
                << error.what() << "\nwanted: " << c.message;
        }
    }
}

TEST(StringTableParser, BuildsOneSixteenEntryBlockPerBlockAndLanguage) {
    const StringBlockMap blocks = BuildStringBlocks({
        {1044, 17, u"A", 1},
        {1044, 31, u"B\u00F8", 2},
        {2057, 17, u"E", 3},
        {1044, 0, u"Z", 4},
    });
    ASSERT_EQ(blocks.size(), 3u);
    // Block 2 holds ids 16 to 31: 16 empty, 17 "A", 18 to 30 empty, 31 "Bø".
    std::vector<unsigned char> expected = {0, 0, 1, 0, 'A', 0};
    for (int id = 18; id < 31; ++id) expected.insert(expected.end(), {0, 0});
    expected.insert(expected.end(), {2, 0, 'B', 0, 0xF8, 0});
    EXPECT_EQ(blocks.at({2, 1044}), expected);
    EXPECT_EQ(blocks.at({2, 2057}).size(), 16u * 2 + 2);
    EXPECT_EQ(blocks.at({1, 1044}).size(), 16u * 2 + 2);
}

}  // namespace
}  // namespace tvk::rc
