// The service's own settings, read at every start from the application's
// Velkor5.ini, which users and other programs edit.
//
// The input is the file. Reading must not fail on any content. Afterwards
// the update host is never blank: a file without one gets the four address
// defaults, written so that they read back; a file with one is left byte for
// byte as it was, and its values are the settings.

#include <exception>
#include <fstream>
#include <iterator>

#include "FuzzSupport.h"
#include "components/settings/IniFile.h"
#include "run/ServiceSettings.h"

namespace tvk::fuzz {
namespace {

bool IsBlank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Check(std::string_view bytes) {
    RunState state;
    state.programFolder = ProcessTempFolder();
    state.settingsFile = std::make_unique<IniFile>();
    const std::filesystem::path path = state.programFolder / kServiceSettingsFile;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    auto read = [&](const char* key) {
        return state.settingsFile->LesINIStreng(kServiceSection, key, path.string());
    };
    const std::string hostBefore = read("Host");
    const std::string infoBefore = read("Info");

    try {
        ReadServiceSettings(state);
    } catch (const std::exception& error) {
        Fail(__FILE__, __LINE__, std::string(error.what()) + " for " + Escaped(bytes));
    }

    const ServiceSettings& settings = state.ServiceSettings;
    FUZZ_CHECK(!IsBlank(settings.Host), "blank host from " + Escaped(bytes));
    if (IsBlank(hostBefore)) {
        FUZZ_CHECK(settings.Host == kDefaultHost && settings.Info == kDefaultInfo &&
                       settings.LogHost == kDefaultLogHost && settings.LogPath == kDefaultLogPath,
                   "defaults not read back from " + Escaped(FileBytes(path)));
    } else {
        FUZZ_CHECK(FileBytes(path) == bytes, "a file with a host was changed: " + Escaped(bytes));
        FUZZ_CHECK(settings.Host == hostBefore && settings.Info == infoBefore, Escaped(bytes));
    }
    FUZZ_CHECK(settings.Test == (read("Test") == "1"), Escaped(bytes));
}

}  // namespace
}  // namespace tvk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvk::fuzz::Check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
