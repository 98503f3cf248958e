#include "components/settings/IniFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "IniFile_test.h"
#include "TestSupport.h"
#include "common/ServiceError.h"

namespace tvk {
namespace {

using test::ReadAll;
using test::TempFolder;
using test::WriteAll;

TEST_F(IniFileTest, ReplacingAValueKeepsEveryOtherByte) {
    WriteAll(Path(), kCrlfFile);
    Write("UpdateService", "Host", "http://new.example/files");
    std::string expected = kCrlfFile;
    expected.replace(expected.find("http://old.example\r"), 18, "http://new.example/files");
    EXPECT_EQ(ReadAll(Path()), expected);
    EXPECT_EQ(Read("UpdateService", "Host"), "http://new.example/files");
}

TEST_F(IniFileTest, NewKeyGoesAfterTheLastKeyOfItsSection) {
    WriteAll(Path(), kCrlfFile);
    Write("UpdateService", "LogPath", "/velkor/us/log");
    Write("Database", "Timeout", "30");
    std::string expected = kCrlfFile;
    expected.insert(expected.find("\r\n\r\n\r\n[Printer]") + 2, "LogPath=/velkor/us/log\r\n");
    expected.insert(expected.find("\r\n\r\n[UpdateService]") + 2, "Timeout=30\r\n");
    EXPECT_EQ(ReadAll(Path()), expected);
}

TEST_F(IniFileTest, NewKeyInASectionWithoutKeysFollowsTheHeader) {
    WriteAll(Path(), "[A]\r\n; nothing yet\r\n[B]\r\nx=1\r\n");
    Write("A", "k", "v");
    EXPECT_EQ(ReadAll(Path()), "[A]\r\nk=v\r\n; nothing yet\r\n[B]\r\nx=1\r\n");
}

// Any CR or LF ends a line, as Windows reads it; CR CR LF and LF CR (files
// converted twice) are one line end each, and a file keeps its own.
TEST_F(IniFileTest, EveryLineEndIsReadAndKept) {
    for (const std::string eol : {"\n", "\r", "\r\r\n", "\n\r"}) {
        SCOPED_TRACE(::testing::PrintToString(eol));
        auto lines = [&](std::initializer_list<std::string> list) {
            std::string text;
            for (const std::string& line : list) text += line + eol;
            return text;
        };
        WriteAll(Path(), lines({"[UpdateService]", "Host=a", "Test=1", "", "[Other]", "x=1"}));
        EXPECT_EQ(Read("UpdateService", "Test"), "1");
        Write("UpdateService", "Host", "b");
        Write("UpdateService", "Info", "c");
        Write("New", "k", "v");
        EXPECT_EQ(ReadAll(Path()), lines({"[UpdateService]", "Host=b", "Test=1", "Info=c", "",
                                          "[Other]", "x=1", "", "[New]", "k=v"}));
    }
}

TEST_F(IniFileTest, CreatesTheFileAndAppendsSections) {
    Write("UpdateService", "Host", "http://h");
    EXPECT_EQ(ReadAll(Path()), "[UpdateService]\r\nHost=http://h\r\n");

    // A last line without an ending gets one before anything is added.
    WriteAll(Path(), "[A]\r\nx=1");
    Write("B", "y", "2");
    EXPECT_EQ(ReadAll(Path()), "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    WriteAll(Path(), "[A]\r\nx=1");
    Write("A", "z", "3");
    EXPECT_EQ(ReadAll(Path()), "[A]\r\nx=1\r\nz=3\r\n");
}

TEST_F(IniFileTest, MissingFileSectionOrKeyReadsEmpty) {
    EXPECT_EQ(Read("UpdateService", "Host"), "");
    EXPECT_FALSE(std::filesystem::exists(Path()));
    WriteAll(Path(), kCrlfFile);
    EXPECT_EQ(Read("Nowhere", "Host"), "");
    EXPECT_EQ(Read("UpdateService", "Test"), "");
    EXPECT_EQ(Read("UpdateService", "Name"), "");  // a key of another section
    EXPECT_EQ(Read("", "Host"), "");
    EXPECT_EQ(Read("UpdateService", ""), "");
}

TEST_F(IniFileTest, NamesAreComparedWithoutRegardToCase) {
    WriteAll(Path(), "[updateSERVICE]\r\nHOST=a\r\n[Firma]\r\n\xC6RE=\xF8\r\n");
    EXPECT_EQ(Read("UpdateService", "host"), "a");
    EXPECT_EQ(Read(" UpdateService ", " Host "), "a");
    EXPECT_EQ(Read("FIRMA", "ære"), "ø");
    Write("UPDATESERVICE", "Host", "b");
    EXPECT_EQ(ReadAll(Path()), "[updateSERVICE]\r\nHOST=b\r\n[Firma]\r\n\xC6RE=\xF8\r\n");
}

TEST_F(IniFileTest, FirstOccurrenceCountsForReadingAndWriting) {
    WriteAll(Path(), "[S]\nk=1\nk=2\nonly2nd=x\n[S]\nk=3\nlater=y\n");
    EXPECT_EQ(Read("S", "k"), "1");
    EXPECT_EQ(Read("S", "later"), "");
    Write("S", "k", "9");
    Write("S", "later", "z");
    EXPECT_EQ(ReadAll(Path()), "[S]\nk=9\nk=2\nonly2nd=x\nlater=z\n[S]\nk=3\nlater=y\n");
    EXPECT_EQ(Read("S", "later"), "z");
}

TEST_F(IniFileTest, ValuesAreTrimmedAndLoseMatchingQuotes) {
    WriteAll(Path(),
             "[S]\n"
             "plain = \t value with  inner  blanks \t\n"
             "double=  \" leading blank\"  \n"
             "single='  both  '\n"
             "mismatched=\"abc'\n"
             "lonequote=\"\n"
             "empty=\n"
             "eq=a=b\n"
             "crlf=x\r\n");
    EXPECT_EQ(Read("S", "plain"), "value with  inner  blanks");
    EXPECT_EQ(Read("S", "double"), " leading blank");
    EXPECT_EQ(Read("S", "single"), "  both  ");
    EXPECT_EQ(Read("S", "mismatched"), "\"abc'");
    EXPECT_EQ(Read("S", "lonequote"), "\"");
    EXPECT_EQ(Read("S", "empty"), "");
    EXPECT_EQ(Read("S", "eq"), "a=b");
    EXPECT_EQ(Read("S", "crlf"), "x");
}

TEST_F(IniFileTest, CommentsStrayLinesAndKeysOutsideSectionsAreNotValues) {
    WriteAll(Path(),
             "Host=before any section\n"
             "[S]\n"
             ";Host=commented\n"
             "  ; Info=commented too\n"
             "no equals sign here\n"
             "=no key\n"
             "[broken header\n"
             "Info=i\n");
    EXPECT_EQ(Read("S", "Host"), "");
    EXPECT_EQ(Read("S", "Info"), "i");
    Write("S", "Host", "h");
    EXPECT_EQ(ReadAll(Path()),
              "Host=before any section\n[S]\n;Host=commented\n  ; Info=commented too\n"
              "no equals sign here\n=no key\n[broken header\nInfo=i\nHost=h\n");
}

TEST_F(IniFileTest, EveryWrittenValueReadsBackUnchanged) {
    const std::string values[] = {"http://h/files", " leading", "trailing\t", "\"quoted\"",
                                  "'single'",       "\"",       "",           "a=b;c",
                                  "Bjørn Æsøy €",   "[x]"};
    for (const auto& value : values) {
        Write("S", "k", value);
        EXPECT_EQ(Read("S", "k"), value) << "file: " << ReadAll(Path());
    }
}

TEST_F(IniFileTest, TextsAreWindows1252InTheFile) {
    WriteAll(Path(), "[Kunde]\r\nNavn=S\xF8r-Tr\xF8ndelag \x80\r\n");
    EXPECT_EQ(Read("Kunde", "Navn"), "Sør-Trøndelag €");
    Write("Kunde", "Navn", "Bjørn");
    Write("Område", "Sted", "Ås");
    EXPECT_EQ(ReadAll(Path()),
              "[Kunde]\r\nNavn=Bj\xF8rn\r\n\r\n[Omr\xE5"
              "de]\r\nSted=\xC5s\r\n");
}

// A file "saved as Unicode" by hand, with its byte-order mark, is read and
// stays in its encoding.
TEST_F(IniFileTest, ByteOrderMarksAreKeptAndNameTheEncoding) {
    auto utf16le = [](const std::u16string& text) {
        std::string bytes = "\xFF\xFE";
        for (char16_t unit : text) bytes += {char(unit & 0xFF), char(unit >> 8)};
        return bytes;
    };
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        std::string before, after;
    } cases[] = {
        {bom + "[S]\r\nName=Bjørn\r\n", bom + "[S]\r\nName=Åse\r\nSted=日本 𝄞\r\n"},
        {utf16le(u"[S]\r\nName=Bjørn\r\n"), utf16le(u"[S]\r\nName=Åse\r\nSted=日本 𝄞\r\n")},
    };
    for (const auto& c : cases) {
        WriteAll(Path(), c.before);
        EXPECT_EQ(Read("S", "Name"), "Bjørn");
        Write("S", "Name", "Åse");
        Write("S", "Sted", "日本 𝄞");
        EXPECT_EQ(ReadAll(Path()), c.after);
    }
}

TEST_F(IniFileTest, InputThatWouldBreakTheFileIsRefusedAndTheFileUntouched) {
    WriteAll(Path(), kCrlfFile);
    struct Case {
        std::string section, key, value;
    } cases[] = {
        {"", "k", "v"},         {"  ", "k", "v"},
        {"a]b", "k", "v"},      {"a\nb", "k", "v"},
        {"S", "", "v"},         {"S", "a=b", "v"},
        {"S", "a\rb", "v"},     {"S", ";k", "v"},
        {"S", "[k", "v"},       {"S", "k", "one\ntwo"},
        {"S", "k", "one\rtwo"}, {"S", "k", std::string("a\0b", 3)},
        {"S", "k", "日本"},     {"UpdateService", "Host", "bad\xFFutf8"},
    };
    for (const auto& c : cases) {
        try {
            Write(c.section, c.key, c.value);
            ADD_FAILURE() << "accepted [" << c.section << "] " << c.key << "=" << c.value;
        } catch (const ServiceError& e) {
            EXPECT_EQ(e.Number(), 5) << e.what();
        }
    }
    EXPECT_EQ(ReadAll(Path()), kCrlfFile);
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(IniFileTest, UnreadableFileIsAFailureNotAnEmptyValue) {
    std::filesystem::create_directory(Path());
    try {
        Read("S", "k");
        FAIL() << "a folder read as a settings file";
    } catch (const ServiceError& e) {
        EXPECT_EQ(e.Number(), EISDIR);
    }
    EXPECT_THROW(Write("S", "k", "v"), ServiceError);
}

TEST_F(IniFileTest, WriteIntoAMissingFolderFailsWithTheSystemsError) {
    std::string path = (folder_ / "missing" / "Velkor5.ini").string();
    try {
        ini_.SkrivINIStreng("S", "k", "v", path);
        FAIL() << "wrote into a folder that does not exist";
    } catch (const ServiceError& e) {
        EXPECT_EQ(e.Number(), test::kNoSuchFolder);
    }
    EXPECT_EQ(FilesInFolder(), 0u);
}

}  // namespace
}  // namespace tvk
