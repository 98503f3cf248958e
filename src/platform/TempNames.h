#pragma once

#include <chrono>
#include <filesystem>
#include <string>

// Where a failure below is "with the errno", a failed Windows call gives
// Windows' own error number and text instead, which an administrator can
// look up.
namespace tvk::platform {

// The user's temporary folder as the environment names it: TMPDIR when it is
// set and names an existing folder, else /tmp. Not resolved; may lack a
// trailing separator.
std::string TempFolderPath();

// The long form of `path`: the absolute path with every symbolic link, "."
// and ".." resolved. "" when it cannot be obtained (for example, the folder
// does not exist).
std::string LongPathName(const std::string& path);

// Creates a new, empty file "<prefix><HEX>.TMP" in `folder` (which may end
// with '/' or not) and returns its full path. The file is created exclusively
// and readable by its owner only, so no two callers, in this process or in
// any other, are ever handed the same name. Throws ServiceError with the errno
// when no file can be created.
std::string CreateUniqueTempFile(const std::string& folder, const std::string& prefix);

// Moves the file `from` to the new name `to` unless a file of that name
// already exists: false then, and nothing has changed. An existing file is
// never replaced, since a name in a shared temporary folder may belong to
// someone else. Throws ServiceError with the errno on any other failure.
bool MoveWithoutReplacing(const std::string& from, const std::string& to);

// Creates a new folder "<prefix>XXXXXX" (six letters that make a name nobody
// holds) in the user's temporary folder, that only this user (and, on
// Windows, the system and the administrators, so that an elevated setup can
// read it) may read or write. Throws ServiceError with the errno.
std::filesystem::path CreatePrivateFolder(const std::string& prefix);

// Removes the folders CreatePrivateFolder made with `prefix` that belong to
// this user and are older than `age`, with what they hold; one still in use
// (a program running from it, on Windows) is left for a later call.
void RemovePrivateFolders(const std::string& prefix, std::chrono::minutes age);

// A folder of this user's, reached without a link.
bool IsOwnFolder(const std::filesystem::path& path);

// The character that ends a folder's name in the paths above.
char FolderSeparator();

}  // namespace tvk::platform
