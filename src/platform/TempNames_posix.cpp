#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "common/ServiceError.h"
#include "platform/TempNames.h"

namespace tvk::platform {

namespace {

// A folder of this many of our names is full in practice; further tries would
// only spin.
constexpr int kMaxTries = 100;

[[noreturn]] void ThrowErrno(int err, const std::string& what) { throw ErrnoError(err, what); }

bool IsFolder(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Seeded per call from the system's entropy, the process id and the clock, so
// that processes started together, or forked from one parent, draw apart.
std::mt19937 NameGenerator() {
    std::random_device device;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::seed_seq seed{device(), device(), static_cast<unsigned>(::getpid()),
                       static_cast<unsigned>(now), static_cast<unsigned>(now >> 32)};
    return std::mt19937(seed);
}

std::string HexName(const std::string& prefix, uint32_t number) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(number));
    return prefix + hex + ".TMP";
}

}  // namespace

std::string TempFolderPath() {
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir != nullptr && *tmpdir != '\0' && IsFolder(tmpdir)) return tmpdir;
    return "/tmp";
}

std::string LongPathName(const std::string& path) {
    if (path.empty()) return {};
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return {};
    return resolved;
}

std::string CreateUniqueTempFile(const std::string& folder, const std::string& prefix) {
    // An empty folder would put the file in the working folder, wherever that is.
    if (folder.empty()) ThrowErrno(ENOENT, "Cannot create a temporary file: no temporary folder");
    const std::string base =
        folder.back() == FolderSeparator() ? folder : folder + FolderSeparator();
    std::mt19937 generator = NameGenerator();
    for (int attempt = 0; attempt < kMaxTries; ++attempt) {
        const std::string path = base + HexName(prefix, generator());
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno == EINTR || errno == EEXIST) continue;
        ThrowErrno(errno, "Cannot create a temporary file in " + folder);
    }
    ThrowErrno(EEXIST, "Cannot create a temporary file in " + folder);
}

bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST) return false;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        ThrowErrno(errno, "Cannot move " + from + " to " + to);

    // File systems without the exclusive rename: a hard link is exclusive too.
    if (::link(from.c_str(), to.c_str()) != 0) {
        if (errno == EEXIST) return false;
        ThrowErrno(errno, "Cannot move " + from + " to " + to);
    }
    if (::unlink(from.c_str()) != 0) {
        const int err = errno;
        ::unlink(to.c_str());
        ThrowErrno(err, "Cannot move " + from + " to " + to);
    }
    return true;
}

char FolderSeparator() { return '/'; }

std::filesystem::path CreatePrivateFolder(const std::string& prefix) {
    const std::string folder = TempFolderPath();
    std::string path = folder + "/" + prefix + "XXXXXX";
    // mkdtemp makes the folder with mode 0700.
    if (::mkdtemp(path.data()) == nullptr)
        ThrowErrno(errno, "Cannot create a private folder in " + folder);
    return path;
}

bool IsOwnFolder(const std::filesystem::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

}  // namespace tvk::platform
