#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tvk {

// What the caller put on the command line. main.ini is applied by start-up,
// which knows the program folder.
struct CommandLine {
    int16_t RunMode = 1;
    int32_t LanguageId = 1044;
    bool MainInstallation = true;
    std::string ConnectionText = "none";
    bool debug = false;
    bool helpRequested = false;
};

// A non-empty command line that does not carry four usable values.
class CommandLineError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The usage text shown with a command-line error and for /? or --help.
std::string CommandLineUsage();

// Whether the argument text asks for the trace (/debug), even an unusable one.
bool DebugRequested(std::string_view text);

// Parses the argument text (without the program's own path). The connection
// text keeps its letter case; the rest of the line is read in lower case.
// Throws CommandLineError naming the problem.
CommandLine ParseCommandLine(std::string_view text);

}  // namespace tvk
