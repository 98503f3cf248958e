#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <random>

#include "common/ServiceError.h"
#include "platform/ReplacementFile.h"
#include "platform/WindowsText.h"

namespace tvk::platform {

namespace {

// Binary, so that no line end is ever rewritten, and not handed to the
// setup or any other child the service starts.
constexpr int kWriteFlags = _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT;
constexpr int kMaxTries = 100;

std::string RandomLetters(std::mt19937& generator) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
    std::string letters(6, 'X');
    for (char& c : letters) c = kLetters[pick(generator)];
    return letters;
}

}  // namespace

ReplacementFile::ReplacementFile(std::filesystem::path target, const std::string& suffix,
                                 Leftover leftover)
    : target_(std::move(target)), leftover_(leftover) {
    const std::string base = PathText(target_);
    if (suffix.ends_with("XXXXXX")) {
        std::random_device device;
        std::mt19937 generator(device());
        const std::string stem = base + suffix.substr(0, suffix.size() - 6);
        for (int attempt = 0; attempt < kMaxTries && fd_ < 0; ++attempt) {
            path_ = TextPath(stem + RandomLetters(generator));
            fd_ = ::_wopen(path_.c_str(), kWriteFlags | _O_EXCL, _S_IREAD | _S_IWRITE);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        if (fd_ < 0) throw ErrnoError(errno, "Cannot create a temporary file beside " + base);
        return;
    }
    path_ = TextPath(base + suffix);
    // A file Windows keeps as a link is replaced by a plain one, not followed.
    const DWORD attributes = ::GetFileAttributesW(path_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        ::DeleteFileW(path_.c_str());
    fd_ = ::_wopen(path_.c_str(), kWriteFlags | _O_TRUNC, _S_IREAD | _S_IWRITE);
    if (fd_ < 0) throw ErrnoError(errno, "Cannot create " + PathText(path_));
}

ReplacementFile::~ReplacementFile() {
    if (fd_ >= 0) ::_close(fd_);
    if (!committed_ && leftover_ == Leftover::Removed) RemoveFile(path_);
}

bool ReplacementFile::Append(const char* data, size_t size) {
    if (fd_ < 0) return Fail(EBADF);
    while (size > 0) {
        const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
        const int n = ::_write(fd_, data, chunk);
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
    if (const errno_t err = ::_chsize_s(fd_, size); err != 0) return Fail(err);
    if (::_lseeki64(fd_, size, SEEK_SET) != size) return Fail(errno);
    size_ = size;
    return true;
}

// Windows writes back on its own; the flush at Commit() waits for the rest.
void ReplacementFile::StartWriteBack(int64_t) {}

void ReplacementFile::Commit(NewFileAccess, Durability durability) {
    // Who may read a file is its access list on Windows: a new file inherits
    // the folder's, and a replaced one keeps its own through ReplaceFileW.
    if (fd_ < 0) throw ErrnoError(EBADF, "Cannot write " + PathText(path_));
    const int fd = fd_;
    fd_ = -1;
    const bool flushed = durability == Durability::Flushed;
    if (flushed && ::_commit(fd) != 0) {
        const int err = errno;
        ::_close(fd);
        throw ErrnoError(err, "Cannot write " + PathText(target_));
    }
    if (::_close(fd) != 0) throw ErrnoError(errno, "Cannot write " + PathText(target_));
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (flushed ? MOVEFILE_WRITE_THROUGH : 0);
    const bool replaced = RetriedWhileBusy([&] {
        if (::ReplaceFileW(target_.c_str(), path_.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                           nullptr, nullptr))
            return true;
        // No file to replace yet: the first version gets the name by a move.
        return ::GetLastError() == ERROR_FILE_NOT_FOUND &&
               ::MoveFileExW(path_.c_str(), target_.c_str(), flags);
    });
    if (!replaced) throw WindowsError("Cannot replace " + PathText(target_));
    committed_ = true;
}

bool ReplacementFile::Fail(int err) {
    error_ = err;
    return false;
}

}  // namespace tvk::platform
