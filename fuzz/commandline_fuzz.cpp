// The command line, as any caller (or anything that starts the program) may
// write it.
//
// The input is the argument text. Only CommandLineError may come out of the
// parser. When it parses, "/debug" is noticed wherever it stands, and the
// connection text is the text after the first "/conn:" of the line with
// "/debug" removed, in the caller's letter case, at most 9999 characters;
// "none" without the option.

#include <exception>

#include "FuzzSupport.h"
#include "run/CommandLine.h"

namespace tvk::fuzz {
namespace {

constexpr size_t kMaxConnectionText = 9999;

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The line without any "/debug", in any letter case, found left to right.
std::string WithoutDebugSwitch(std::string_view given) {
    const std::string lower = AsciiLower(given);
    const std::string_view kSwitch = "/debug";
    std::string out;
    size_t i = 0;
    while (i < given.size()) {
        if (lower.compare(i, kSwitch.size(), kSwitch) == 0) {
            i += kSwitch.size();
        } else {
            out += given[i++];
        }
    }
    return out;
}

void Check(std::string_view input) {
    CommandLine parsed;
    try {
        parsed = ParseCommandLine(input);
    } catch (const CommandLineError& error) {
        FUZZ_CHECK(std::string_view(error.what()).starts_with("Invalid command line: "),
                   error.what());
        return;
    } catch (const std::exception& error) {
        Fail(__FILE__, __LINE__,
             "escaped: " + std::string(error.what()) + " for " + Escaped(input));
    }

    const std::string lower = AsciiLower(input);
    FUZZ_CHECK(parsed.debug == (lower.find("/debug") != std::string::npos), Escaped(input));

    const std::string rest = WithoutDebugSwitch(input);
    const size_t option = AsciiLower(rest).find("/conn:");
    const std::string expected =
        option == std::string::npos ? "none" : rest.substr(option + 6, kMaxConnectionText);
    FUZZ_CHECK(parsed.ConnectionText == expected, Escaped(parsed.ConnectionText) + " instead of " +
                                                      Escaped(expected) + " from " +
                                                      Escaped(input));
    if (lower.find("/debug") == std::string::npos && option != std::string::npos)
        FUZZ_CHECK(input.find(parsed.ConnectionText) != std::string_view::npos, Escaped(input));

    if (parsed.helpRequested) {
        const CommandLine defaults;
        FUZZ_CHECK(parsed.RunMode == defaults.RunMode && parsed.LanguageId == defaults.LanguageId &&
                       parsed.MainInstallation == defaults.MainInstallation,
                   "help with values: " + Escaped(input));
    }
}

}  // namespace
}  // namespace tvk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvk::fuzz::Check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
