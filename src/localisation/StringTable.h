#pragma once

#include <cstdint>
#include <string>

#include "localisation/StringResources.h"
#include "platform/Dialogs.h"
#include "state/RunState.h"

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

// The program's own table in one language, for the windows: a damaged block
// shows its fault box through `dialogs` (none: no box), as above.
class StringTableTexts : public Texts {
  public:
    explicit StringTableTexts(int32_t languageId, Dialogs* dialogs = nullptr)
        : languageId_(languageId), dialogs_(dialogs) {}
    // The run's language and the run's dialogs.
    explicit StringTableTexts(const RunState& state)
        : StringTableTexts(state.LanguageId, state.dialogs) {}

    std::string Text(int32_t id) const override;
    int32_t LanguageId() const override { return languageId_; }

  private:
    int32_t languageId_;
    Dialogs* dialogs_;
};

}  // namespace tvk
