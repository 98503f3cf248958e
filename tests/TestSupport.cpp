#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/Platform.h"

namespace tvk::test {

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadAll(path));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TempFolderAt::TempFolderAt(const std::filesystem::path& folder) {
    if (const char* old = std::getenv(kTempFolderVariable)) saved_ = old;
    std::filesystem::create_directories(folder);
    SetEnvironment(kTempFolderVariable, platform::PathText(folder));
}

void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string BuildReleaseKey() { return TVK_BUILD_DIR "/release-signing.key"; }

ProgramFolder::ProgramFolder() {
    const std::filesystem::path build = TVK_BUILD_DIR;
    std::filesystem::copy_file(build / ProgramFileName("tvkUpdateService"), Executable());
    for (const auto& entry : std::filesystem::directory_iterator(build)) {
        if (entry.is_regular_file() && IsSharedLibrary(entry.path()))
            std::filesystem::copy_file(entry.path(), Path() / entry.path().filename());
    }
}

}  // namespace tvk::test
