#include "run/CommandLine.h"

#include <vector>

#include "common/AsciiText.h"
#include "common/NumberRules.h"
#include "common/ServiceError.h"
#include "common/TextSplit.h"

namespace tvk {

namespace {

constexpr std::string_view kDebugSwitch = "/debug";
constexpr std::string_view kConnOption = "/conn:";
constexpr size_t kMaxConnectionText = 9999;

// Removes every occurrence of `pattern` (lower case) from `lower`, in one pass
// from left to right, and the same byte ranges from `given`. Joining the rest
// does not create new matches, as with a plain text replace.
void RemoveAll(std::string& lower, std::string& given, std::string_view pattern) {
    if (pattern.empty()) return;
    std::string newLower, newGiven;
    size_t from = 0;
    for (size_t at; (at = lower.find(pattern, from)) != std::string::npos;
         from = at + pattern.size()) {
        newLower.append(lower, from, at - from);
        newGiven.append(given, from, at - from);
    }
    newLower.append(lower, from);
    newGiven.append(given, from);
    lower = std::move(newLower);
    given = std::move(newGiven);
}

bool IsHelpRequest(const std::string& line) {
    return line == "/?" || line == "-h" || line == "--help" || line == "/help" || line == "-?";
}

[[noreturn]] void Refuse(const std::string& problem) {
    throw CommandLineError("Invalid command line: " + problem);
}

}  // namespace

std::string CommandLineUsage() {
    return "Usage: tvkUpdateService [<run mode> <identifier> <language id> <main installation>] "
           "[/debug] [/conn:<connection text>]\n"
           "  run mode           8 for an interactive check; any other number for a background "
           "check\n"
           "  identifier         a word of the caller's choosing; not used\n"
           "  language id        1030, 1031, 1044, 1053 or 2057\n"
           "  main installation  true, false or a number (0 is false)\n"
           "  /conn:             must come last: the rest of the line is the connection text\n"
           "                     (none, sqlite:<file>, or an ODBC connection string)\n"
           "Without values: a background check of the main installation in Norwegian (1 x 1044 "
           "true).\n"
           "Example: tvkUpdateService 8 velkor 2057 true /conn:sqlite:Velkor.db";
}

bool DebugRequested(std::string_view text) {
    return AsciiLowerCopy(text).find(kDebugSwitch) != std::string::npos;
}

CommandLine ParseCommandLine(std::string_view text) {
    CommandLine result;
    std::string given(text);
    // Only ASCII letters are lowered, so that a position in the lowered line is
    // the same position in the line as given.
    std::string lower = AsciiLowerCopy(given);

    result.debug = DebugRequested(text);
    if (result.debug) RemoveAll(lower, given, kDebugSwitch);

    std::string line;
    if (size_t at = lower.find(kConnOption); at != std::string::npos) {
        std::string connection = given.substr(at + kConnOption.size(), kMaxConnectionText);
        RemoveAll(lower, given, std::string(kConnOption) + AsciiLowerCopy(connection));
        line = std::string(TrimAscii(lower, " "));
        result.ConnectionText = connection;
    } else {
        line = lower;
    }

    if (line.empty()) return result;
    if (IsHelpRequest(std::string(TrimAscii(line, " ")))) {
        result.helpRequested = true;
        return result;
    }

    std::vector<std::string> values = SplitAt(line, ' ');
    if (values.size() < 4)
        Refuse("expected four values separated by single spaces, found " +
               std::to_string(values.size()) + " in \"" + line + "\"");

    try {
        result.RunMode = LeadingWholeNumber16(values[0]);
    } catch (const ServiceError&) {
        Refuse("the run mode \"" + values[0] + "\" is outside the range -32768 to 32767");
    }
    try {
        result.LanguageId = StrictWholeNumber32(values[2]);
    } catch (const ServiceError&) {
        Refuse("the language id \"" + values[2] + "\" is not a whole number");
    }
    try {
        result.MainInstallation = ToBoolean(values[3]);
    } catch (const ServiceError&) {
        Refuse("the main-installation flag \"" + values[3] + "\" is not true, false or a number");
    }
    return result;
}

}  // namespace tvk
