#pragma once

#include "common/DateTime.h"
#include "components/Database.h"
#include "state/RunState.h"

namespace tvk {

inline constexpr const char* kCustomerSettingsQuery =
    "SELECT Serienummer, RegFirma, Postnummer, UpdateServiceSendMail, UpdateServiceSendTo, "
    "UpdateServiceMailSent, MailServer, MailBrukerid, MailPassord, MailDomene, MailAvsender "
    "FROM Innstillinger";
inline constexpr const char* kProductVersionQuery = "EXECUTE master..xp_msver 'ProductVersion'";

// Opens the run's database connection, reads the Innstillinger row into
// state.CustomerSettings and the server's product version into
// state.SqlServerProductVersion. The connection stays open. On any failure it
// shows "Error getting mail settings:" and ends the run (RunEnded) without
// disconnecting.
void ReadCustomerSettings(RunState& state);

// The database server's current date and time. Failures reach the caller.
DateTime GetSqlServerDate(RunState& state);

// Conversions of field values: a null reads as false or as empty text.
bool ToTruthValue(const FieldValue& value);
std::string ToText(const FieldValue& value);

}  // namespace tvk
