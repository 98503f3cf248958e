#pragma once

namespace tvk {

// Exit status of the process; README lists them for administrators.
enum class ExitCode : int {
    Normal = 0,            // the run ended normally, also offline or with nothing new
    StartupFailure = 1,    // a failure before the update run that has no message of its own
    CommandLine = 2,       // the command line could not be read
    CustomerSettings = 3,  // "Error getting mail settings:"
    UpdateInfo = 4,        // "Error getting update info: "
    DatabaseTooOld = 5,    // the database server is older than the release supports
    SetupRefused = 6,      // the setup was refused (and deleted) or could not be started
};

// Thrown where a run ends the process from deep inside a step; it unwinds to
// Main, which returns the code. What the step still had to do (a message, a
// disconnect) has been done before it is thrown.
struct RunEnded {
    ExitCode code = ExitCode::Normal;
};

}  // namespace tvk
