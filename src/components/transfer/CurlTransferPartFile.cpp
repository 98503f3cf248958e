#include "components/transfer/CurlTransferPartFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "common/ServiceError.h"
#include "platform/Platform.h"

namespace tvk {

namespace {

// Large setup programs would otherwise pile up as dirty pages and make the
// final fsync a long pause at 100 %; handing them to the disk every few MiB
// spreads that work over the download.
constexpr int64_t kWriteBackStep = 8 * 1024 * 1024;

[[noreturn]] void ThrowErrno(int err, const std::string& what, const std::filesystem::path& path) {
    throw ServiceError(err, what + " " + path.string() + ": " + std::strerror(err));
}

}  // namespace

CurlTransferPartFile::CurlTransferPartFile(std::filesystem::path target)
    : target_(std::move(target)), part_(target_.string() + ".part") {
    // No following a link planted under the ".part" name: the body goes here only.
    fd_ = ::open(part_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd_ < 0) ThrowErrno(errno, "Cannot create", part_);
}

CurlTransferPartFile::~CurlTransferPartFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool CurlTransferPartFile::Append(const char* data, size_t size) {
    if (fd_ < 0) return Fail(EBADF);
    while (size > 0) {
        ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(n < 0 ? errno : ENOSPC);
        data += n;
        size -= static_cast<size_t>(n);
        size_ += n;
    }
    if (size_ - flushedUpTo_ >= kWriteBackStep) StartWriteBack();
    return true;
}

bool CurlTransferPartFile::TruncateTo(int64_t size) {
    if (fd_ < 0) return Fail(EBADF);
    if (size == size_) return true;
    if (::ftruncate(fd_, size) != 0 || ::lseek(fd_, size, SEEK_SET) != size) return Fail(errno);
    size_ = size;
    flushedUpTo_ = std::min(flushedUpTo_, size);
    return true;
}

void CurlTransferPartFile::StartWriteBack() {
#ifdef __linux__
    ::sync_file_range(fd_, flushedUpTo_, size_ - flushedUpTo_, SYNC_FILE_RANGE_WRITE);
#endif
    flushedUpTo_ = size_;
}

void CurlTransferPartFile::Commit() {
    if (fd_ < 0) ThrowErrno(EBADF, "Cannot write", part_);
    int fd = fd_;
    fd_ = -1;
    platform::CommitReplacement(fd, part_, target_);
}

bool CurlTransferPartFile::Fail(int err) {
    error_ = err;
    return false;
}

}  // namespace tvk
