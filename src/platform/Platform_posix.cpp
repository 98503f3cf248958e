#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <thread>

#include "common/ServiceError.h"
#include "platform/Platform.h"

namespace tvk::platform {

namespace {

[[noreturn]] void ThrowErrno(const std::string& what, const std::filesystem::path& path) {
    throw ErrnoError(errno, what + " " + path.string());
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

std::filesystem::path ProgramFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path();
    return exe.parent_path();
}

std::string CommandLineText(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

void StartProcess(const std::filesystem::path& program) {
    const std::string file = program.string();
    // A setup fetched over HTTP arrives without execute permission; starting
    // it is what the user asked for, so it gets the permission it lacks.
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR) == 0) {
        mode_t mode = st.st_mode | S_IXUSR;
        if (st.st_mode & S_IRGRP) mode |= S_IXGRP;
        if (st.st_mode & S_IROTH) mode |= S_IXOTH;
        if (::chmod(file.c_str(), mode & 07777) != 0) ThrowErrno("Cannot make executable", program);
    }
    char* argv[] = {const_cast<char*>(file.c_str()), nullptr};
    pid_t pid = 0;
    // posix_spawn reports a failed exec (missing file, no execute permission)
    // as its result, so the caller learns of it like of any other failure.
    int err = ::posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv, environ);
    if (err != 0) {
        errno = err;
        ThrowErrno("Cannot start", program);
    }
}

void AttachToParentConsole() {}

void WriteText(std::FILE* out, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), out);
    std::fflush(out);
}

bool HasDisplay() {
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM");
}

bool SucceedsInChildProcess(const std::function<bool()>& work, std::chrono::milliseconds limit) {
    pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // What the child says or how it dies is its answer, not the user's business.
        int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
        rlimit noCore{};  // zero: no core file
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::_exit(work() ? 0 : 1);
    }
    auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    pid_t done = 0;
    while (((done = ::waitpid(pid, &status, WNOHANG)) == 0 || (done < 0 && errno == EINTR)) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (done <= 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool CanCreateFilesIn(const std::filesystem::path& folder) {
    // access() knows a read-only mount as well as the permission bits.
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::filesystem::path MachineDataFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::filesystem::path base;
    if (state != nullptr && *state == '/')
        base = state;
    else if (home != nullptr && *home == '/')
        base = std::filesystem::path(home) / ".local" / "state";
    else
        throw ServiceError(ENOENT, "No state folder: neither XDG_STATE_HOME nor HOME is set");
    const std::filesystem::path folder = base / "Velkor" / "UpdateService";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw ServiceError(ec.value(), "Cannot create " + folder.string() + ": " + ec.message());
    return folder;
}

int WriteRefusal(const std::filesystem::path& path) {
    // A read-only file system says so at the temporary file, not here.
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0 && errno != EROFS)
        return errno;
    return 0;
}

bool ReadFile(const std::filesystem::path& path, std::string& bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        ThrowErrno("Cannot open", path);
    }
    bytes.clear();
    // One allocation of the file's size, rather than doubling while reading.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        bytes.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            errno = err;
            ThrowErrno("Cannot read", path);
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

RegularFile::RegularFile(const std::filesystem::path& path) : path_(path) {
    // O_NONBLOCK: a FIFO planted under the name must not hang the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ELOOP)
        throw ServiceError(ELOOP, "Cannot open " + path.string() + ": it is a symbolic link");
    if (fd < 0) ThrowErrno("Cannot open", path);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw ServiceError(EINVAL, "Cannot open " + path.string() + ": it is not a regular file");
    }
    handle_ = fd;
}

RegularFile::~RegularFile() { ::close(static_cast<int>(handle_)); }

size_t RegularFile::Read(char* buffer, size_t size) {
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(handle_), buffer, size);
        if (n >= 0) return static_cast<size_t>(n);
        if (errno != EINTR) ThrowErrno("Cannot read", path_);
    }
}

int RemoveFile(const std::filesystem::path& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

bool CreateExclusiveFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno == EEXIST) return false;
    throw ErrnoError(errno, "Cannot create " + path.string());
}

namespace {

bool IsUsable(const ifaddrs& entry) {
    const unsigned flags = entry.ifa_flags;
    // IFF_RUNNING is the carrier: an interface that is up without a cable or
    // peer cannot reach anything.
    if (!(flags & IFF_UP) || !(flags & IFF_RUNNING) || (flags & IFF_LOOPBACK)) return false;
    if (entry.ifa_addr == nullptr) return false;
    switch (entry.ifa_addr->sa_family) {
        case AF_INET:
            return true;
        case AF_INET6: {
            const auto* address = reinterpret_cast<const sockaddr_in6*>(entry.ifa_addr);
            return !IN6_IS_ADDR_LINKLOCAL(&address->sin6_addr) &&
                   !IN6_IS_ADDR_LOOPBACK(&address->sin6_addr);
        }
        default:
            return false;  // AF_PACKET entries describe the link, not an address
    }
}

}  // namespace

bool HasUsableNetworkInterface() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) throw ErrnoError(errno, "getifaddrs");
    std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, ::freeifaddrs);
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (IsUsable(*entry)) return true;
    }
    return false;
}

std::tm LocalTime(std::time_t time) {
    std::tm local{};
    ::localtime_r(&time, &local);
    return local;
}

}  // namespace tvk::platform
