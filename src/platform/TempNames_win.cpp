#include <cerrno>
#include <random>

#include "common/ServiceError.h"
#include "platform/Platform.h"
#include "platform/TempNames.h"
#include "platform/WindowsAccess.h"
#include "platform/WindowsText.h"

namespace tvk::platform {

// The wide functions rather than their ANSI twins, so that a user name
// outside the code page still gives a usable folder.

std::string TempFolderPath() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD units = ::GetTempPathW(MAX_PATH + 1, folder);
    if (units == 0 || units > MAX_PATH) return {};
    return Utf8(std::wstring_view(folder, units));
}

std::string LongPathName(const std::string& path) {
    if (path.empty()) return {};
    const std::wstring wide = Wide(path);
    std::wstring longer(MAX_PATH, L'\0');
    DWORD units = ::GetLongPathNameW(wide.c_str(), longer.data(), MAX_PATH);
    if (units >= MAX_PATH) {
        longer.resize(units);
        units = ::GetLongPathNameW(wide.c_str(), longer.data(), units);
    }
    if (units == 0 || units >= longer.size()) return {};
    longer.resize(units);
    return Utf8(longer);
}

std::string CreateUniqueTempFile(const std::string& folder, const std::string& prefix) {
    // An empty folder would put the file in the working folder, wherever that is.
    if (folder.empty())
        throw ErrnoError(ENOENT, "Cannot create a temporary file: no temporary folder");
    wchar_t path[MAX_PATH];
    // Number 0: Windows picks a free number and creates the file, so no other
    // caller is ever handed the same name.
    if (::GetTempFileNameW(Wide(folder).c_str(), Wide(prefix).c_str(), 0, path) == 0)
        throw LastError("Cannot create a temporary file in " + folder);
    return Utf8(path);
}

bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING an existing name is refused.
    if (::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0)) return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return false;
    throw LastError("Cannot move " + from + " to " + to, error);
}

char FolderSeparator() { return '\\'; }

std::filesystem::path CreatePrivateFolder(const std::string& prefix) {
    const std::string folder = TempFolderPath();
    if (folder.empty())
        throw ErrnoError(ENOENT, "Cannot create a private folder: no temporary folder");
    PrivateAccess access(PrivateAccess::Of::Folder);
    std::random_device random;
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
        const std::filesystem::path path = TextPath(folder) / TextPath(name);
        if (::CreateDirectoryW(path.c_str(), access.Attributes())) return path;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw LastError("Cannot create a private folder in " + folder);
}

// The temporary folder is the user's own; a link planted there is no folder of ours.
bool IsOwnFolder(const std::filesystem::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace tvk::platform
