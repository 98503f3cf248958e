#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "TestSupport.h"
#include "common/ServiceError.h"
#include "components/settings/IniFile.h"

// Shared by the tests of either system and those of one system only.
namespace tvk {

using test::ReadAll;
using test::TempFolder;
using test::WriteAll;

class IniFileTest : public ::testing::Test {
  protected:
    std::string Path() const { return (folder_ / "Velkor5.ini").string(); }
    std::string Read(const std::string& section, const std::string& key) {
        return ini_.LesINIStreng(section, key, Path());
    }
    void Write(const std::string& section, const std::string& key, const std::string& value) {
        ini_.SkrivINIStreng(section, key, value, Path());
    }
    size_t FilesInFolder() const {
        auto entries = std::filesystem::directory_iterator(folder_.Path());
        return static_cast<size_t>(std::distance(begin(entries), end(entries)));
    }

    TempFolder folder_;
    IniFile ini_;
};

const std::string kCrlfFile =
    "; Velkor settings\r\n"
    "[Database]\r\n"
    "Server = sql01 \r\n"
    "\r\n"
    "[UpdateService]\r\n"
    "Host=http://old.example\r\n"
    "  ; the information page\r\n"
    "Info=http://old.example/info\r\n"
    "\r\n"
    "\r\n"
    "[Printer]\r\n"
    "Name=Laser\r\n";

}  // namespace tvk
