#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <regex>
#include <thread>

#include "DatabaseFixtures.h"
#include "TestSupport.h"
#include "common/ServiceError.h"
#include "components/database/DatabaseComponent.h"
#include "platform/Platform.h"

// Shared by the tests of either system and those of one system only.
namespace tvk {

using test::ErrorOf;
using test::MakeDatabase;
using test::SqliteOdbcDriverMissing;

inline std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(platform::PathText(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

constexpr const char* kSettingsQuery =
    "SELECT Serienummer, RegFirma, Postnummer, UpdateServiceSendMail, UpdateServiceSendTo, "
    "UpdateServiceMailSent, MailServer, MailBrukerid, MailPassord, MailDomene, MailAvsender "
    "FROM Innstillinger";

class DatabaseComponentTest : public ::testing::Test {
  protected:
    test::TempFolder folder;
    DatabaseComponent database{folder.Path()};
};

}  // namespace tvk
