#include "update/TempFiles.h"

#include <cerrno>
#include <functional>

#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "platform/Platform.h"
#include "platform/ReplacementFile.h"
#include "platform/TempNames.h"

namespace tvk {

namespace {

constexpr const char* kPrefix = "tvk";

// A name with the wanted extension is only taken when no file holds it yet;
// each clash costs a fresh number. Clashes need another program's leftovers
// under the very same number, so a few tries are plenty.
constexpr int kMaxTries = 16;

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.rfind(platform::FolderSeparator()) + 1);
}
std::string NameOf(const std::string& path) {
    return path.substr(path.rfind(platform::FolderSeparator()) + 1);
}

// The text goes in under a name of its own and replaces the fresh file only
// whole; a link someone put in the fresh file's place is replaced, not followed.
void WriteBytes(const std::string& path, const std::string& bytes) {
    platform::ReplacementFile file(platform::TextPath(path), ".XXXXXX",
                                   platform::ReplacementFile::Leftover::Removed,
                                   platform::NewFileAccess::OwnerOnly);
    if (!file.Append(bytes)) throw file.WriteFailure("Cannot write " + path);
    file.Commit(platform::Durability::Cached);
}

// Runs `step` on the fresh file at `path`; when it fails, the file goes too.
template <class Step>
auto RemovingOnFailure(const std::string& path, Step&& step) {
    try {
        return step();
    } catch (...) {
        platform::RemoveFile(platform::TextPath(path));
        throw;
    }
}

// Gets a fresh ".TMP" file, lets `prepare` fill it, and moves it to the name
// `target` makes of its path. A clash with an existing file gives up that
// number and starts over, so nobody's file is replaced.
std::string MakeFreshFile(const std::string& extension,
                          const std::function<std::string(const std::string&)>& target,
                          const std::function<void(const std::string&)>& prepare) {
    std::string lastTarget;
    for (int attempt = 0; attempt < kMaxTries; ++attempt) {
        const std::string fresh = platform::CreateUniqueTempFile(GetTempDir(), kPrefix);
        RemovingOnFailure(fresh, [&] { prepare(fresh); });
        if (extension.empty()) return fresh;
        lastTarget = target(fresh);
        if (RemovingOnFailure(fresh,
                              [&] { return platform::MoveWithoutReplacing(fresh, lastTarget); }))
            return lastTarget;
        platform::RemoveFile(platform::TextPath(fresh));
    }
    throw ErrnoError(EEXIST, "Cannot create a temporary file " + lastTarget);
}

}  // namespace

std::string GetTempDir() {
    std::string folder = platform::LongPathName(platform::TempFolderPath());
    if (!folder.empty() && folder.back() != platform::FolderSeparator())
        folder += platform::FolderSeparator();
    return folder;
}

std::string GetTempFileName(const std::string& extension) {
    // The platform's name ends in "TMP"; the dot stays and the extension follows.
    const auto target = [&](const std::string& fresh) {
        return fresh.substr(0, fresh.size() - 3) + extension;
    };
    return MakeFreshFile(extension, target, [](const std::string&) {});
}

std::string WriteTempFile(const std::string& text, const std::string& extension) {
    // Only the name is lower-cased: on a case-sensitive file system the folder
    // in small letters may not exist.
    const auto target = [&](const std::string& fresh) {
        std::string name = LowerCaseText(NameOf(fresh));
        const std::string ownExtension = ".tmp";
        if (name.ends_with(ownExtension)) name.resize(name.size() - ownExtension.size());
        return FolderOf(fresh) + name + "." + extension;
    };
    // Written before the move, so the final name only ever holds the whole text.
    const std::string bytes = Utf8ToWindows1252(text);
    return MakeFreshFile(extension, target,
                         [&](const std::string& fresh) { WriteBytes(fresh, bytes); });
}

}  // namespace tvk
