#include <optional>
#include <random>

#include "common/ServiceError.h"
#include "platform/ReplacementFile.h"
#include "platform/WindowsAccess.h"
#include "platform/WindowsText.h"

namespace tvk::platform {

namespace {

constexpr int kMaxTries = 100;

std::string RandomLetters(std::mt19937& generator) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
    std::string letters(6, 'X');
    for (char& c : letters) c = kLetters[pick(generator)];
    return letters;
}

// Readers share the file as it is written (the check of a download reads
// its part file). Write access is never shared, so that a second writer is
// refused with ERROR_SHARING_VIOLATION before it can empty the file; nor,
// for a held file of a fixed name, is deletion. The handle is not handed to
// the setup or any other child the service starts.
HANDLE OpenForWriting(const std::filesystem::path& path, DWORD creation, DWORD share,
                      SECURITY_ATTRIBUTES* security = nullptr) {
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, share, security, creation,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ReplacementFile::ReplacementFile(std::filesystem::path target, const std::string& suffix,
                                 Leftover leftover, NewFileAccess access)
    : target_(std::move(target)), leftover_(leftover), access_(access) {
    const std::string base = PathText(target_);
    HANDLE file = INVALID_HANDLE_VALUE;
    if (suffix.ends_with("XXXXXX")) {
        std::random_device device;
        std::mt19937 generator(device());
        const std::string stem = base + suffix.substr(0, suffix.size() - 6);
        // A file that can hold a secret is private from its first byte on.
        std::optional<PrivateAccess> secret;
        if (access_ == NewFileAccess::OwnerOnly) secret.emplace(PrivateAccess::Of::File);
        DWORD error = ERROR_FILE_EXISTS;
        for (int attempt = 0; attempt < kMaxTries && error == ERROR_FILE_EXISTS; ++attempt) {
            path_ = TextPath(stem + RandomLetters(generator));
            file = OpenForWriting(path_, CREATE_NEW, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  secret ? secret->Attributes() : nullptr);
            error = file == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
        }
        if (file == INVALID_HANDLE_VALUE)
            throw WindowsError("Cannot create a temporary file beside " + base, error);
        handle_ = file;
        return;
    }
    path_ = TextPath(base + suffix);
    // A file Windows keeps as a link is replaced by a plain one, not followed.
    const DWORD attributes = ::GetFileAttributesW(path_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        ::DeleteFileW(path_.c_str());
    // A scanner's moment is waited out; another run's download is not, and
    // the sharing violation that remains says so.
    RetriedWhileBusy([&] {
        file = OpenForWriting(path_, OPEN_ALWAYS, FILE_SHARE_READ);
        return file != INVALID_HANDLE_VALUE;
    });
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION)
            throw ServiceError(error,
                               "Cannot write " + PathText(path_) + ": another run is writing it");
        throw WindowsError("Cannot create " + PathText(path_), error);
    }
    if (!::SetEndOfFile(file)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(file);
        throw WindowsError("Cannot create " + PathText(path_), error);
    }
    handle_ = file;
}

ReplacementFile::~ReplacementFile() {
    if (handle_ != nullptr) ::CloseHandle(handle_);
    if (!committed_ && leftover_ == Leftover::Removed) RemoveFile(path_);
}

bool ReplacementFile::Append(const char* data, size_t size) {
    if (handle_ == nullptr) return Fail(ERROR_INVALID_HANDLE);
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(handle_, data, chunk, &written, nullptr))
            return Fail(static_cast<int>(::GetLastError()));
        if (written == 0) return Fail(ERROR_DISK_FULL);
        data += written;
        size -= written;
        size_ += written;
    }
    return true;
}

bool ReplacementFile::TruncateTo(int64_t size) {
    if (handle_ == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (size == size_) return true;
    LARGE_INTEGER at{};
    at.QuadPart = size;
    if (!::SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) || !::SetEndOfFile(handle_))
        return Fail(static_cast<int>(::GetLastError()));
    size_ = size;
    return true;
}

// Windows writes back on its own; the flush at Commit() waits for the rest.
void ReplacementFile::StartWriteBack(int64_t) {}

void ReplacementFile::Commit(Durability durability) {
    // Who may read a file is its access list on Windows. A shared file that
    // is new inherits the folder's, and a replaced one keeps its own through
    // ReplaceFileW. A private one keeps its own list by a move, which
    // Windows documents to carry a file's security descriptor along within
    // a volume; ReplaceFileW would give it the replaced file's.
    if (handle_ == nullptr)
        throw WindowsError("Cannot write " + PathText(path_), ERROR_INVALID_HANDLE);
    const HANDLE file = handle_;
    handle_ = nullptr;
    const bool flushed = durability == Durability::Flushed;
    if (flushed && !::FlushFileBuffers(file)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(file);
        throw WindowsError("Cannot write " + PathText(target_), error);
    }
    // Windows renames no file that is open without shared deletion, so the
    // handle goes first.
    if (!::CloseHandle(file)) throw WindowsError("Cannot write " + PathText(target_));
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (flushed ? MOVEFILE_WRITE_THROUGH : 0);
    const bool replaced = RetriedWhileBusy([&] {
        if (access_ == NewFileAccess::OwnerOnly)
            return ::MoveFileExW(path_.c_str(), target_.c_str(), flags) != 0;
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

ServiceError ReplacementFile::WriteFailure(const std::string& what) const {
    return WindowsError(what, static_cast<DWORD>(error_));
}

bool ReplacementFile::Fail(int err) {
    error_ = err;
    return false;
}

bool IsHeldByWriter(const std::filesystem::path& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
        return false;
    }
    return ::GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace tvk::platform
