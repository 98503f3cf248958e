#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "platform/Platform.h"

namespace tvk::platform {

namespace {

[[noreturn]] void ThrowErrno(const std::string& what, const std::filesystem::path& path) {
    int err = errno;
    throw ServiceError(err, what + " " + path.string() + ": " + std::strerror(err));
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

bool FileExists(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::vector<std::filesystem::path> ListFiles(const std::filesystem::path& folder,
                                             const std::string& extension) {
    const std::string wanted = LowerCaseText(extension);
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (name.starts_with('.') || !entry.is_regular_file(ec)) continue;
        if (name.size() > wanted.size() && LowerCaseText(name).ends_with(wanted)) files.push_back(entry.path());
    }
    return files;
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

namespace {

// A settings file may be a symbolic link that an administrator set up; the
// new content belongs at the link's target, and the link stays.
std::filesystem::path ResolvedTarget(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec)) return path;
    std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : target;
}

// The rename is only durable once the folder itself is on disk.
void SyncFolder(const std::filesystem::path& file) {
    std::filesystem::path folder = file.parent_path();
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The umask, read where Linux shows it, since umask() can only be read by
// setting it. Elsewhere it is set to 077 for that moment, which can only make
// a file created meanwhile more private, never less.
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Umask:"))
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return mask;
}

}  // namespace

void RemoveStaleTemporaries(const std::filesystem::path& target) {
    const std::string prefix = target.filename().string() + ".";
    const auto stale = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix) ||
            !std::all_of(name.begin() + prefix.size(), name.end(),
                         [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            continue;
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && entry.last_write_time(ignored) < stale)
            std::filesystem::remove(entry.path(), ignored);
    }
}

void WriteFileAtomically(const std::filesystem::path& requested, const std::string& bytes,
                         NewFileAccess access, Durability durability) {
    const std::filesystem::path path = ResolvedTarget(requested);
    RemoveStaleTemporaries(path);
    // Replacing by rename needs only the folder's permission; a file its owner
    // made read-only must stay as it is, as a write in place would.
    // (A read-only file system says so at the temporary file.)
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0 && errno != EROFS)
        ThrowErrno("Cannot write", path);
    std::string tmpl = path.string() + ".XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) ThrowErrno("Cannot create a temporary file beside", path);
    std::filesystem::path tmp = tmpl;

    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int err = errno ? errno : ENOSPC;
            ::close(fd);
            ::unlink(tmp.c_str());
            errno = err;
            ThrowErrno("Cannot write", path);
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    try {
        CommitReplacement(fd, tmp, path, access, durability);
    } catch (...) {
        ::unlink(tmp.c_str());
        throw;
    }
}

void CommitReplacement(int fd, const std::filesystem::path& temp,
                       const std::filesystem::path& target, NewFileAccess access,
                       Durability durability) {
    struct stat st {};
    mode_t mode = (access == NewFileAccess::OwnerOnly ? 0600 : 0644) & ~CurrentUmask();
    if (::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;
    ::fchmod(fd, mode);
    const bool flushed = durability == Durability::Flushed;
    if (flushed && ::fsync(fd) != 0) {
        int err = errno;
        ::close(fd);
        errno = err;
        ThrowErrno("Cannot write", target);
    }
    if (::close(fd) != 0) ThrowErrno("Cannot write", target);
    if (::rename(temp.c_str(), target.c_str()) != 0) ThrowErrno("Cannot replace", target);
    if (flushed) SyncFolder(target);
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

}  // namespace tvk::platform
