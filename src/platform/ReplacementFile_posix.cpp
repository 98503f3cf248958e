#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "common/ServiceError.h"
#include "platform/ReplacementFile.h"

namespace tvk::platform {

namespace {

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

ReplacementFile::ReplacementFile(std::filesystem::path target, const std::string& suffix,
                                 Leftover leftover, NewFileAccess access)
    : target_(std::move(target)), leftover_(leftover), access_(access) {
    std::string name = target_.string() + suffix;
    if (suffix.ends_with("XXXXXX")) {
        fd_ = ::mkstemp(name.data());
        if (fd_ < 0)
            throw ErrnoError(errno, "Cannot create a temporary file beside " + target_.string());
        path_ = name;
        return;
    }
    path_ = name;
    // No following a link planted under the name: the content goes here only.
    // The lock comes before the emptying, so that a run that finds the file
    // held leaves the other run's bytes alone.
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd_ < 0) throw ErrnoError(errno, "Cannot create " + path_.string());
    int err = ::flock(fd_, LOCK_EX | LOCK_NB) != 0 ? errno : 0;
    if (err == 0 && ::ftruncate(fd_, 0) != 0) err = errno;
    if (err == 0) return;
    ::close(fd_);
    fd_ = -1;
    if (err == EWOULDBLOCK)
        throw ServiceError(EBUSY, "Cannot write " + path_.string() + ": another run is writing it");
    throw ErrnoError(err, "Cannot create " + path_.string());
}

bool IsHeldByWriter(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

ReplacementFile::~ReplacementFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && leftover_ == Leftover::Removed) RemoveFile(path_);
}

bool ReplacementFile::Append(const char* data, size_t size) {
    if (fd_ < 0) return Fail(EBADF);
    while (size > 0) {
        ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(n < 0 ? errno : ENOSPC);
        data += n;
        size -= static_cast<size_t>(n);
        size_ += n;
    }
    return true;
}

bool ReplacementFile::TruncateTo(int64_t size) {
    if (fd_ < 0) return Fail(EBADF);
    if (size == size_) return true;
    if (::ftruncate(fd_, size) != 0 || ::lseek(fd_, size, SEEK_SET) != size) return Fail(errno);
    size_ = size;
    return true;
}

void ReplacementFile::StartWriteBack(int64_t from) {
#ifdef __linux__
    if (fd_ >= 0 && size_ > from) ::sync_file_range(fd_, from, size_ - from, SYNC_FILE_RANGE_WRITE);
#endif
}

void ReplacementFile::Commit(Durability durability) {
    if (fd_ < 0) throw ErrnoError(EBADF, "Cannot write " + path_.string());
    const int fd = fd_;
    fd_ = -1;
    struct stat st {};
    mode_t mode = (access_ == NewFileAccess::OwnerOnly ? 0600 : 0644) & ~CurrentUmask();
    if (::stat(target_.c_str(), &st) == 0) mode = st.st_mode & 07777;
    ::fchmod(fd, mode);
    const bool flushed = durability == Durability::Flushed;
    if (flushed && ::fsync(fd) != 0) {
        int err = errno;
        ::close(fd);
        throw ErrnoError(err, "Cannot write " + target_.string());
    }
    // Renamed while still open, so that a held file is never free under its
    // own name for another run to take or delete.
    if (::rename(path_.c_str(), target_.c_str()) != 0) {
        int err = errno;
        ::close(fd);
        throw ErrnoError(err, "Cannot replace " + target_.string());
    }
    committed_ = true;
    if (::close(fd) != 0) throw ErrnoError(errno, "Cannot write " + target_.string());
    if (flushed) SyncFolder(target_);
}

ServiceError ReplacementFile::WriteFailure(const std::string& what) const {
    return ErrnoError(error_, what);
}

bool ReplacementFile::Fail(int err) {
    error_ = err;
    return false;
}

}  // namespace tvk::platform
