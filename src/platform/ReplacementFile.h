#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "common/ServiceError.h"
#include "platform/Platform.h"

namespace tvk::platform {

// The next version of `target`, written beside it under another name; the
// target changes only by Commit()'s rename, so that a failure or a crash
// leaves it as it was.
class ReplacementFile {
  public:
    // What becomes of a file that is never committed: removed with the object,
    // or kept for a later attempt to continue.
    enum class Leftover { Removed, Kept };

    // The file "<target><suffix>", to become the target with `access`. A
    // suffix ending in "XXXXXX" has those letters made into a name nobody
    // holds, created readable by its owner alone. Any other name is created or emptied, a link
    // found under it is not followed, and it is held for this object's life: while one run writes
    // it, another one's attempt throws ServiceError EBUSY (Windows: ERROR_SHARING_VIOLATION) and
    // leaves it as it is. Throws ServiceError with the errno (Windows: Windows' own error number).
    ReplacementFile(std::filesystem::path target, const std::string& suffix,
                    Leftover leftover = Leftover::Removed,
                    NewFileAccess access = NewFileAccess::Shared);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // False after a failure; Error() then holds the errno (Windows: Windows'
    // own error number). For callbacks that cannot throw.
    bool Append(const char* data, size_t size);
    bool Append(const std::string& bytes) { return Append(bytes.data(), bytes.size()); }
    // Drops everything from `size` on; the next append continues there.
    bool TruncateTo(int64_t size);
    // Hands what was written since `from` to the disk without waiting for it,
    // so that the flush at Commit() is short.
    void StartWriteBack(int64_t from);

    int64_t Size() const { return size_; }
    int Error() const { return error_; }
    // Error() as a ServiceError: "<what>: <the system's text for it>".
    ServiceError WriteFailure(const std::string& what) const;
    const std::filesystem::path& Path() const { return path_; }
    const std::filesystem::path& Target() const { return target_; }

    // Makes the file the target: gives it the permissions of the file it
    // replaces (those of its access for a new one; always the owner's alone
    // for OwnerOnly on Windows), flushes it as `durability` asks, and renames
    // it over the target. On failure the file stays or goes as its Leftover
    // says. Throws ServiceError as the constructor does.
    void Commit(Durability durability = Durability::Flushed);

  private:
    bool Fail(int err);

    std::filesystem::path target_;
    std::filesystem::path path_;
    Leftover leftover_;
    NewFileAccess access_;
#ifdef _WIN32
    void* handle_ = nullptr;  // a HANDLE
#else
    int fd_ = -1;
#endif
    int64_t size_ = 0;
    int error_ = 0;
    bool committed_ = false;
};

// Whether another run holds `path` as a ReplacementFile of a fixed name (a
// download in progress). False for a missing file.
bool IsHeldByWriter(const std::filesystem::path& path);

}  // namespace tvk::platform
