// The file operations that the standard library makes the same on every system.
#include <algorithm>
#include <cctype>
#include <chrono>

#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "platform/Platform.h"
#include "platform/ReplacementFile.h"
#include "platform/TempNames.h"

namespace tvk::platform {

bool FileExists(const std::filesystem::path& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

std::vector<std::filesystem::path> ListFiles(const std::filesystem::path& folder,
                                             const std::string& extension) {
    const std::string wanted = LowerCaseText(extension);
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = PathText(entry.path().filename());
        if (name.starts_with('.') || !entry.is_regular_file(ec)) continue;
        if (name.size() > wanted.size() && LowerCaseText(name).ends_with(wanted))
            files.push_back(entry.path());
    }
    return files;
}

namespace {

// A settings file may be a symbolic link that an administrator set up; the
// new content belongs at the link's target, and the link stays.
std::filesystem::path ResolvedTarget(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec)) return path;
    std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : target;
}

}  // namespace

void RemoveStaleTemporaries(const std::filesystem::path& target) {
    const std::string prefix = PathText(target.filename()) + ".";
    const auto stale = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path(), ec)) {
        const std::string name = PathText(entry.path().filename());
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix) ||
            !std::all_of(name.begin() + prefix.size(), name.end(),
                         [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            continue;
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && entry.last_write_time(ignored) < stale)
            std::filesystem::remove(entry.path(), ignored);
    }
}

void RemovePrivateFolders(const std::string& prefix, std::chrono::minutes age) {
    const auto stale = std::filesystem::file_time_type::clock::now() - age;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(TextPath(TempFolderPath()), ec)) {
        std::error_code ignored;
        if (!PathText(entry.path().filename()).starts_with(prefix) || !IsOwnFolder(entry.path()) ||
            entry.last_write_time(ignored) >= stale)
            continue;
        std::filesystem::remove_all(entry.path(), ignored);
    }
}

void WriteFileAtomically(const std::filesystem::path& requested, const std::string& bytes,
                         NewFileAccess access, Durability durability) {
    const std::filesystem::path path = ResolvedTarget(requested);
    RemoveStaleTemporaries(path);
    // Replacing by rename needs only the folder's permission; a file its owner
    // made read-only must stay as it is, as a write in place would.
    if (const int refused = WriteRefusal(path); refused != 0)
        throw ErrnoError(refused, "Cannot write " + PathText(path));
    ReplacementFile file(path, ".XXXXXX", ReplacementFile::Leftover::Removed, access);
    if (!file.Append(bytes)) throw file.WriteFailure("Cannot write " + PathText(path));
    file.Commit(durability);
}

}  // namespace tvk::platform
