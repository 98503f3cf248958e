#include "database/CustomerSettings.h"

#include <cstdio>

#include "common/NumberRules.h"
#include "common/ServiceError.h"
#include "state/RunEnded.h"

namespace tvk {

namespace {

constexpr int kProductVersionPosition = 3;  // Character_Value

void ReadSettingsRow(Database& db, CustomerSettings& settings) {
    auto rs = db.Recordset(kCustomerSettingsQuery);
    if (rs->IsEOF()) {
        settings = CustomerSettings{};
    } else {
        settings.UpdateServiceSendMail = ToTruthValue(rs->Fields("UpdateServiceSendMail"));
        settings.UpdateServiceSendTo = ToText(rs->Fields("UpdateServiceSendTo"));
        settings.UpdateServiceMailSent = ToTruthValue(rs->Fields("UpdateServiceMailSent"));
        settings.MailServer = ToText(rs->Fields("MailServer"));
        settings.MailBrukerid = ToText(rs->Fields("MailBrukerid"));
        settings.MailPassord = ToText(rs->Fields("MailPassord"));
        settings.MailDomene = ToText(rs->Fields("MailDomene"));
        settings.MailAvsender = ToText(rs->Fields("MailAvsender"));
        settings.Serienummer = ToText(rs->Fields("Serienummer"));
        settings.RegFirma = ToText(rs->Fields("RegFirma"));
        settings.Postnummer = ToText(rs->Fields("Postnummer"));
    }
    rs->Close();
}

void ReadProductVersion(Database& db, std::string& productVersion) {
    auto rs = db.Recordset(kProductVersionQuery);
    if (rs->IsEOF()) return;
    FieldValue value = rs->Fields(kProductVersionPosition);
    if (value.IsNull()) throw ServiceError(94, "Invalid use of Null");
    productVersion = ToText(value);
}

}  // namespace

bool ToTruthValue(const FieldValue& value) {
    if (value.IsNull()) return false;
    if (value.IsInteger()) return value.AsInteger() != 0;
    if (value.IsReal()) return value.AsReal() != 0.0;
    return ToBoolean(value.AsText());
}

std::string ToText(const FieldValue& value) {
    if (value.IsNull()) return {};
    if (value.IsInteger()) return std::to_string(value.AsInteger());
    if (value.IsReal()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.15g", value.AsReal());
        return buffer;
    }
    return value.AsText();
}

void ReadCustomerSettings(RunState& state) {
    try {
        Database& db = *state.database;
        db.SetConnectionString(state.ConnectionText);
        db.Connect();
        ReadSettingsRow(db, state.CustomerSettings);
        ReadProductVersion(db, state.SqlServerProductVersion);
    } catch (const std::exception& failure) {
        state.dialogs->ShowMessage(
            {.text = "Error getting mail settings:" + DescribeFailure(failure),
             .title = kProgramTitle,
             .icon = MessageIcon::None,
             .buttons = MessageButtons::Ok});
        throw RunEnded{ExitCode::CustomerSettings};
    }
}

DateTime GetSqlServerDate(RunState& state) {
    auto rs = state.database->Recordset("SQLServerDate");
    DateTime now = DateTime::Parse(ToText(rs->Fields("SQLServerDate")));
    rs->Close();
    return now;
}

}  // namespace tvk
