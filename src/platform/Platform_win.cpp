#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <winsock2.h>
#include <ws2tcpip.h>
// after winsock2.h, which must come before windows.h
#include <iphlpapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "common/ServiceError.h"
#include "platform/Platform.h"
#include "platform/WindowsAccess.h"
#include "platform/WindowsText.h"

namespace tvk::platform {

std::filesystem::path ProgramFolder() {
    std::wstring file(MAX_PATH, L'\0');
    for (;;) {
        const DWORD units =
            ::GetModuleFileNameW(nullptr, file.data(), static_cast<DWORD>(file.size()));
        if (units == 0) return std::filesystem::current_path();
        if (units < file.size()) {
            file.resize(units);
            return std::filesystem::path(file).parent_path();
        }
        file.resize(file.size() * 2);  // a long path: try again with more room
    }
}

std::string CommandLineText(int, char**) {
    // The arguments as typed, not as the C runtime split and re-coded them:
    // the program's own name is skipped the way Windows reads it (quoted, or
    // up to the first blank), and the blanks after it.
    std::wstring_view line = ::GetCommandLineW();
    size_t at = 0;
    if (!line.empty() && line[0] == L'"') {
        const size_t close = line.find(L'"', 1);
        at = close == std::wstring_view::npos ? line.size() : close + 1;
    } else {
        while (at < line.size() && line[at] != L' ' && line[at] != L'\t') ++at;
    }
    while (at < line.size() && (line[at] == L' ' || line[at] == L'\t')) ++at;
    return Utf8(line.substr(at));
}

void StartProcess(const std::filesystem::path& program) {
    // Through the shell, as Explorer starts a program: a setup whose manifest
    // (or name) asks for administrator rights gets the UAC prompt, where
    // CreateProcess fails with ERROR_ELEVATION_REQUIRED. No window of the
    // service is open any more when the setup starts, so the prompt has no
    // owner; the shell's own error boxes are off, the caller tells the user.
    // Wine runs the setup without elevating it.
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const std::wstring folder = program.parent_path().wstring();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = program.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    const bool started = ::ShellExecuteExW(&info);
    const DWORD error = ::GetLastError();
    if (SUCCEEDED(com)) ::CoUninitialize();
    if (!started) throw WindowsError("Cannot start " + PathText(program), error);
    if (info.hProcess != nullptr) {
        ::AllowSetForegroundWindow(::GetProcessId(info.hProcess));
        ::CloseHandle(info.hProcess);
    }
}

void AttachToParentConsole() {
    // A GUI-subsystem program gets no console of its own, so none flashes up
    // when the application starts the service; started from cmd or
    // PowerShell it writes its lines to theirs. Output that was redirected
    // keeps its file or pipe.
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    if (err != nullptr && err != INVALID_HANDLE_VALUE) return;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::freopen("CONOUT$", "w", stderr);
    std::freopen("CONOUT$", "w", stdout);
}

void WriteText(std::FILE* out, std::string_view utf8) {
    // A console shows UTF-16 as it is; bytes would go through the console's
    // code page and lose æ, ø and å. A file or pipe gets the UTF-8 bytes.
    std::fflush(out);
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(out)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
        const std::wstring wide = Wide(utf8);
        DWORD written = 0;
        ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), out);
    std::fflush(out);
}

namespace {

// Under wine the desktop is the Unix host's display, and without one wine
// draws into nothing: a window there would wait for a click that never comes.
bool UnderWine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool IsSet(const wchar_t* name) {
    const DWORD units = ::GetEnvironmentVariableW(name, nullptr, 0);
    return units > 1;
}

}  // namespace

bool HasDisplay() {
    // A service or a scheduled task without a desktop runs in a window
    // station that nobody sees; a window there would wait for ever too.
    USEROBJECTFLAGS flags{};
    HWINSTA station = ::GetProcessWindowStation();
    if (station == nullptr ||
        !::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) ||
        (flags.dwFlags & WSF_VISIBLE) == 0)
        return false;
    return !UnderWine() || IsSet(L"DISPLAY") || IsSet(L"WAYLAND_DISPLAY");
}

bool CanCreateFilesIn(const std::filesystem::path& folder) {
    // Only an attempt tells: the access list decides, not the attributes.
    const std::filesystem::path probe = folder / L"tvkUpdateService.probe";
    HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
        return true;
    }
    // A probe left by a run that was killed: the folder could be written then.
    return ::GetLastError() == ERROR_FILE_EXISTS && ::DeleteFileW(probe.c_str());
}

std::filesystem::path MachineDataFolder() {
    wchar_t* programData = nullptr;
    if (::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &programData) != S_OK) {
        ::CoTaskMemFree(programData);
        throw ServiceError(ENOENT, "The ProgramData folder is unknown");
    }
    const std::filesystem::path base = std::filesystem::path(programData) / L"Velkor";
    ::CoTaskMemFree(programData);
    const std::filesystem::path folder = base / L"UpdateService";
    // Every user's run writes here: the users may change what is in it, as an
    // application's shared data folder is set up; the system and the
    // administrators have full control.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)", SDDL_REVISION_1, &descriptor,
        nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    for (const std::filesystem::path& step : {base, folder}) {
        if (!::CreateDirectoryW(step.c_str(), descriptor ? &attributes : nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS) {
            const DWORD error = ::GetLastError();
            ::LocalFree(descriptor);
            throw LastError("Cannot create " + PathText(step), error);
        }
    }
    ::LocalFree(descriptor);
    return folder;
}

int WriteRefusal(const std::filesystem::path& path) {
    // A rename would replace a read-only file that a write in place could not.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    const bool readOnly =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    return readOnly ? EACCES : 0;
}

bool ReadFile(const std::filesystem::path& path, std::string& bytes) {
    // Windows refuses to open a folder as "access denied"; callers are told
    // what it is, as on other systems.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw ErrnoError(EISDIR, "Cannot read " + PathText(path));
    // Sharing every access, so that the service's own reading never stops
    // another run from replacing or deleting the file.
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
        throw WindowsError("Cannot open " + PathText(path), error);
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(file);
        throw ErrnoError(EMFILE, "Cannot open " + PathText(path));
    }
    bytes.clear();
    struct _stat64 st {};
    if (::_fstat64(fd, &st) == 0 && (st.st_mode & _S_IFREG) != 0)
        bytes.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const int n = ::_read(fd, buffer, sizeof buffer);
        if (n < 0) {
            const int err = errno;
            ::_close(fd);
            throw ErrnoError(err, "Cannot read " + PathText(path));
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::_close(fd);
    return true;
}

RegularFile::RegularFile(const std::filesystem::path& path) : path_(path) {
    // The reparse point itself is opened, not its target, so that it can be
    // refused. Every access is shared: the download that wrote the file may
    // still hold it, and a check copies the bytes it reads, so a later write
    // changes nothing of what was checked.
    HANDLE file = ::CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw WindowsError("Cannot open " + PathText(path));
    BY_HANDLE_FILE_INFORMATION info{};
    const bool regular =
        ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    if (!regular) {
        ::CloseHandle(file);
        throw ServiceError(EINVAL, "Cannot open " + PathText(path) +
                                       ": it is not a regular file (a link or a folder)");
    }
    handle_ = reinterpret_cast<intptr_t>(file);
}

RegularFile::~RegularFile() { ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

size_t RegularFile::Read(char* buffer, size_t size) {
    DWORD read = 0;
    const DWORD asked = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    if (!::ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, asked, &read, nullptr))
        throw LastError("Cannot read " + PathText(path_));
    return read;
}

int RemoveFile(const std::filesystem::path& path) {
    if (RetriedWhileBusy([&] { return ::DeleteFileW(path.c_str()) != 0; })) return 0;
    return static_cast<int>(::GetLastError());
}

bool CreateExclusiveFile(const std::filesystem::path& path) {
    PrivateAccess access(PrivateAccess::Of::File);
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, access.Attributes(),
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
        return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return false;
    throw WindowsError("Cannot create " + PathText(path), error);
}

namespace {

bool IsUsable(const IP_ADAPTER_ADDRESSES& adapter) {
    if (adapter.OperStatus != IfOperStatusUp || adapter.IfType == IF_TYPE_SOFTWARE_LOOPBACK)
        return false;
    for (auto* unicast = adapter.FirstUnicastAddress; unicast != nullptr; unicast = unicast->Next) {
        const sockaddr* address = unicast->Address.lpSockaddr;
        if (address == nullptr) continue;
        if (address->sa_family == AF_INET) return true;
        if (address->sa_family == AF_INET6) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
            if (!IN6_IS_ADDR_LINKLOCAL(&v6->sin6_addr) && !IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr))
                return true;
        }
    }
    return false;
}

}  // namespace

bool HasUsableNetworkInterface() {
    constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                             GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_FRIENDLY_NAME;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result =
            ::GetAdaptersAddresses(AF_UNSPEC, kFlags, nullptr,
                                   reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result == ERROR_NO_DATA) return false;
    if (result != NO_ERROR) throw LastError("GetAdaptersAddresses", result);
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
         adapter != nullptr; adapter = adapter->Next) {
        if (IsUsable(*adapter)) return true;
    }
    return false;
}

std::tm LocalTime(std::time_t time) {
    std::tm local{};
    ::localtime_s(&local, &time);
    return local;
}

}  // namespace tvk::platform
