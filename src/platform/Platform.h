#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Where a failure below is "with the errno", a failed Windows call gives
// Windows' own error number and text instead, which an administrator can
// look up.
namespace tvk::platform {

// A path as the program's UTF-8 text, and back. Windows names files in
// UTF-16, so the conversion is never left to the narrow code page.
inline std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
inline std::filesystem::path TextPath(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The folder of the running executable (symbolic links resolved).
std::filesystem::path ProgramFolder();

// The program's argument text as one line, without the program's own path.
std::string CommandLineText(int argc, char** argv);

// True for hidden and read-only files too; false for folders.
bool FileExists(const std::filesystem::path& path);

// The regular files of a folder whose names end with `extension` (compared
// without regard to case), hidden ones (a leading dot) left out. A missing
// folder has none.
std::vector<std::filesystem::path> ListFiles(const std::filesystem::path& folder,
                                             const std::string& extension);

// Starts a program file as a new process, without arguments, and does not
// wait for it; a file without execute permission is given it first. On
// Windows through the shell, so that a setup that needs administrator rights
// is elevated after the user's consent. Throws ServiceError with the errno
// (Windows: Windows' own number, 1223 for a refused consent) when it cannot
// be started.
void StartProcess(const std::filesystem::path& program);

// Windows: when standard error leads nowhere (a GUI-subsystem program),
// writes to the console of the program that started this one, if any.
void AttachToParentConsole();

// Writes UTF-8 text to `out` and flushes it; a Windows console gets it as
// UTF-16, so that every letter shows.
void WriteText(std::FILE* out, std::string_view utf8);

// A graphical display is available: DISPLAY or WAYLAND_DISPLAY is set, or a Qt
// platform has been chosen with QT_QPA_PLATFORM.
bool HasDisplay();

// Who may read a file the service creates: everyone (0644), or its owner
// alone (0600) for a file that can hold a secret; in both cases less what the
// umask takes away. A file that is replaced keeps the permissions it had. On
// Windows a shared file has the folder's access list and a private one a list
// of its own for the user, the system and the administrators, also when it
// replaces a file.
enum class NewFileAccess { Shared, OwnerOnly };

// What a replaced file must survive. The user's data is flushed to disk
// before and after the rename, so that a power cut leaves the old or the new
// file; a copy of a file kept elsewhere need only never be half-written, and
// a power cut may cost its latest version.
enum class Durability { Flushed, Cached };

// Whether this user may create files in `folder`: a folder under Program
// Files is not, for a standard user (a 64-bit program gets no VirtualStore),
// nor one on a read-only mount.
bool CanCreateFilesIn(const std::filesystem::path& folder);

// The per-machine folder for what the service writes when the program folder
// cannot be written, created on first use. Windows: "Velkor\UpdateService"
// in %ProgramData%, where every user of the machine may change what is in it.
// Linux: "Velkor/UpdateService" in the user's state folder ($XDG_STATE_HOME,
// else ~/.local/state). Throws ServiceError with the errno.
std::filesystem::path MachineDataFolder();

// Runs `work` in a throw-away child process, with its output discarded and no
// core dump, and tells whether it returned true within `limit`. A child still
// running then is killed. For steps that may end or hang the whole process
// (a display library that aborts, a server that never answers). Linux only:
// its one user is the X display check of the windows module.
bool SucceedsInChildProcess(const std::function<bool()>& work, std::chrono::milliseconds limit);

// Writes `bytes` to `path` so that the file holds either its old or its new
// content, never a part: a temporary file in the same folder, then renamed
// over the target. Throws ServiceError with the errno.
void WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes,
                         NewFileAccess access = NewFileAccess::Shared,
                         Durability durability = Durability::Flushed);

// Removes what a killed writer of `target` left beside it: temporary files
// named like WriteFileAtomically's ("<name>.XXXXXX") that are older than a
// minute, so that a write in progress elsewhere keeps its file.
void RemoveStaleTemporaries(const std::filesystem::path& target);

// 0 when `path` is missing or may be written; else the errno of what keeps
// its owner from writing it (read-only, immutable).
int WriteRefusal(const std::filesystem::path& path);

// Reads the whole file into `bytes`. False when the file does not exist;
// any other failure throws ServiceError with the errno.
bool ReadFile(const std::filesystem::path& path, std::string& bytes);

// A file opened for reading only if it is a regular file whose own name is
// not a link (nor, on Windows, any other reparse point): what lies in a
// folder others can write to is read as the file found there, never as what a
// link points at. Throws ServiceError with the errno.
class RegularFile {
  public:
    explicit RegularFile(const std::filesystem::path& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Up to `size` bytes; 0 at the end. Throws ServiceError with the errno.
    size_t Read(char* buffer, size_t size);

  private:
    std::filesystem::path path_;
    intptr_t handle_ = -1;  // a descriptor, or a Windows HANDLE
};

// Removes a file (not a folder): 0, or the errno of the failure.
int RemoveFile(const std::filesystem::path& path);

// Creates the empty file `path`, readable by its owner alone (Windows: by
// the user, the system and the administrators), unless a file of that name
// exists: false then. Throws ServiceError with the errno.
bool CreateExclusiveFile(const std::filesystem::path& path);

// Whether any network interface could carry traffic to the outside, as the
// kernel sees it for the process's network namespace: one that is up and
// running, not loopback, and holds an IPv4 address or an IPv6 address that is
// not link-local (a link-local address appears on every interface that comes
// up, cabled to anything or not). Throws ServiceError with the errno when the
// kernel cannot be asked.
bool HasUsableNetworkInterface();

// The proxy that the user's Windows settings name for `url`
// ("http://host:port", or "" to go direct) and where that came from: the
// fixed proxy of Internet Options with its bypass list, its automatic
// configuration script, or automatic detection (WPAD). `found` is false where
// the settings name none, and on other systems, where libcurl reads the proxy
// variables itself.
struct SystemProxy {
    bool found = false;
    std::string proxy;
    std::string source;
};
SystemProxy SystemProxyFor(const std::string& url);

// The calendar time `time` on this machine's clock and time zone.
std::tm LocalTime(std::time_t time);

}  // namespace tvk::platform
