#include "run/ServiceSettings.h"

#include "common/ServiceError.h"
#include "platform/Platform.h"
#include "state/Trace.h"

namespace tvk {

namespace {

bool IsBlank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

}  // namespace

void ReadServiceSettings(RunState& state) {
    SettingsFile& ini = *state.settingsFile;
    const std::string path = platform::PathText(state.programFolder / kServiceSettingsFile);
    auto read = [&](const char* key) { return ini.LesINIStreng(kServiceSection, key, path); };

    ServiceSettings& settings = state.ServiceSettings;
    if (IsBlank(read("Host"))) {
        // All four together: an address set of one host and another's paths
        // would send reports and downloads to the wrong places. A program
        // folder that cannot be written (Program Files for a standard user)
        // keeps the file as it is, and the run uses the defaults.
        try {
            ini.SkrivINIStreng(kServiceSection, "Host", kDefaultHost, path);
            ini.SkrivINIStreng(kServiceSection, "Info", kDefaultInfo, path);
            ini.SkrivINIStreng(kServiceSection, "LogHost", kDefaultLogHost, path);
            ini.SkrivINIStreng(kServiceSection, "LogPath", kDefaultLogPath, path);
        } catch (const ServiceError& failure) {
            Trace(state, "the defaults stay unwritten: " + DescribeFailure(failure));
            settings = {kDefaultHost, kDefaultInfo, kDefaultLogHost, kDefaultLogPath,
                        read("Test") == "1"};
            return;
        }
    }

    settings.Host = read("Host");
    settings.Info = read("Info");
    settings.LogHost = read("LogHost");
    settings.LogPath = read("LogPath");
    settings.Test = read("Test") == "1";
}

}  // namespace tvk
