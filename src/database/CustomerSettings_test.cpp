#include "database/CustomerSettings.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "common/ServiceError.h"
#include "components/database/DatabaseComponent.h"
#include "state/RunEnded.h"

namespace tvk {
namespace {

class CustomerSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state.programFolder = folder.Path();
        state.dialogs = &dialogs;
        state.database = std::make_unique<DatabaseComponent>(folder.Path());
        state.ConnectionText = "none";  // creates Velkor.db with its schema
        setup.SetConnectionString("sqlite:Velkor.db");
    }

    // Changes the database behind the service's back, as the application would.
    void Execute(const std::string& statement) {
        if (!setupOpen) {
            DatabaseComponent creator(folder.Path());
            creator.SetConnectionString("none");
            creator.Connect();
            creator.Disconnect();
            setup.Connect();
            setupOpen = true;
        }
        setup.Recordset(statement, true);
    }

    int ReadEndingCode() {
        try {
            ReadCustomerSettings(state);
        } catch (const RunEnded& ended) {
            return static_cast<int>(ended.code);
        }
        return -1;
    }

    test::TempFolder folder;
    test::RecordingDialogs dialogs;
    RunState state;
    DatabaseComponent setup{folder.Path()};
    bool setupOpen = false;
};

TEST_F(CustomerSettingsTest, ReadsTheFirstRowAndTheProductVersion) {
    Execute("DELETE FROM Innstillinger");
    Execute(
        "INSERT INTO Innstillinger VALUES ('S1', 'Ærlig AS', 150, 1, 'a@b.no;c@d.no', 0, "
        "'smtp.local', 'bruker', 'passord', 'DOMENE', 'avsender@b.no')");
    Execute(
        "INSERT INTO Innstillinger VALUES ('S2', 'Andre', '9999', 0, '', 1, '', '', '', '', '')");
    ReadCustomerSettings(state);
    const CustomerSettings& s = state.CustomerSettings;
    EXPECT_EQ(s.RegFirma, "Ærlig AS");
    EXPECT_EQ(s.Postnummer, "150");  // a number keeps no leading zeros
    EXPECT_TRUE(s.UpdateServiceSendMail);
    EXPECT_FALSE(s.UpdateServiceMailSent);
    EXPECT_EQ(s.UpdateServiceSendTo, "a@b.no;c@d.no");
    EXPECT_EQ(s.MailServer, "smtp.local");
    EXPECT_EQ(s.MailPassord, "passord");
    EXPECT_EQ(s.MailAvsender, "avsender@b.no");
    EXPECT_EQ(state.SqlServerProductVersion.substr(0, 3), "16.");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(CustomerSettingsTest, NullsAndAnEmptyTableReadAsFalseAndEmptyText) {
    Execute(
        "UPDATE Innstillinger SET RegFirma=NULL, UpdateServiceSendMail=NULL, "
        "UpdateServiceMailSent=NULL, MailServer=NULL");
    state.CustomerSettings.RegFirma = "stale";
    ReadCustomerSettings(state);
    EXPECT_EQ(state.CustomerSettings.RegFirma, "");
    EXPECT_FALSE(state.CustomerSettings.UpdateServiceSendMail);
    EXPECT_EQ(state.CustomerSettings.MailServer, "");

    Execute("DELETE FROM Innstillinger");
    state.CustomerSettings.MailServer = "stale";
    state.CustomerSettings.UpdateServiceSendMail = true;
    state.database->Disconnect();
    ReadCustomerSettings(state);
    EXPECT_EQ(state.CustomerSettings.MailServer, "");
    EXPECT_FALSE(state.CustomerSettings.UpdateServiceSendMail);
}

TEST_F(CustomerSettingsTest, NoVersionRowLeavesTheVersionAsStartUpSetIt) {
    Execute("DELETE FROM xp_msver");
    state.SqlServerProductVersion = "";
    ReadCustomerSettings(state);
    EXPECT_EQ(state.SqlServerProductVersion, "");
}

TEST_F(CustomerSettingsTest, FailuresShowTheMessageAndEndTheRun) {
    // A column the service does not even use still makes the query fail.
    Execute("ALTER TABLE Innstillinger RENAME COLUMN Serienummer TO Serial");
    EXPECT_EQ(ReadEndingCode(), static_cast<int>(ExitCode::CustomerSettings));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text.rfind(
                  "Error getting mail settings:1 - no such column: Serienummer", 0),
              0u)
        << dialogs.shown[0].text;
    EXPECT_EQ(dialogs.shown[0].title, "tvkUpdateService");
    EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::None);
}

TEST_F(CustomerSettingsTest, ValuesThatCannotBeConvertedAreFailures) {
    Execute("UPDATE Innstillinger SET UpdateServiceSendMail='kanskje'");
    EXPECT_EQ(ReadEndingCode(), static_cast<int>(ExitCode::CustomerSettings));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_NE(dialogs.shown[0].text.find(":13 - Type mismatch"), std::string::npos)
        << dialogs.shown[0].text;

    Execute("UPDATE Innstillinger SET UpdateServiceSendMail='True'");
    Execute("UPDATE xp_msver SET Character_Value=NULL");
    state.database->Disconnect();
    EXPECT_EQ(ReadEndingCode(), static_cast<int>(ExitCode::CustomerSettings));
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, "Error getting mail settings:94 - Invalid use of Null");
}

TEST_F(CustomerSettingsTest, ServerDateComesFromTheView) {
    ReadCustomerSettings(state);
    DateTime now = GetSqlServerDate(state);
    EXPECT_GE(now.year, 2024);
    Execute("DROP VIEW SQLServerDate");
    Execute("CREATE VIEW SQLServerDate AS SELECT 'not a date' AS SQLServerDate");
    EXPECT_THROW(GetSqlServerDate(state), ServiceError);
}

TEST(FieldConversions, TruthValuesAndTexts) {
    EXPECT_FALSE(ToTruthValue(FieldValue()));
    EXPECT_TRUE(ToTruthValue(FieldValue::Integer(-1)));
    EXPECT_FALSE(ToTruthValue(FieldValue::Integer(0)));
    EXPECT_TRUE(ToTruthValue(FieldValue::Real(0.5)));
    EXPECT_TRUE(ToTruthValue(FieldValue::Text("1")));
    EXPECT_FALSE(ToTruthValue(FieldValue::Text("False")));
    EXPECT_THROW(ToTruthValue(FieldValue::Text("")), ServiceError);
    EXPECT_EQ(ToText(FieldValue()), "");
    EXPECT_EQ(ToText(FieldValue::Integer(150)), "150");
    EXPECT_EQ(ToText(FieldValue::Real(1.5)), "1.5");
    EXPECT_EQ(ToText(FieldValue::Text("0150")), "0150");
}

}  // namespace
}  // namespace tvk
