#pragma once

#include <cstdint>
#include <string>

#include "localisation/StringResources.h"
#include "platform/Dialogs.h"
#include "run/RunState.h"

namespace tvk {

// The text of string `id` in the run's language from the program's own table,
// as UTF-8; "" when the language or the id has no text. Only the run's
// language is tried: a missing translation shows as an empty text.
std::string LoadLocalString(const RunState& state, int32_t id);

// The same over any resources. A fault while reading a block (a damaged one)
// shows one critical box "<number>:<description>" titled kProgramTitle and
// gives "".
std::string LoadLocalString(const StringResources& resources, Dialogs& dialogs, int32_t languageId,
                            int32_t id);

}  // namespace tvk
