#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "platform/ReplacementFile.h"

namespace tvk {

// The growing body of an asynchronous download, kept as the target's name
// followed by ".part". The target itself changes only by the final rename, so
// a crash or a power cut never leaves a truncated file under the real name.
// A failed or abandoned download leaves the ".part" file behind: it is what a
// reconnect resumes from, and its owner deletes it after a failure.
class CurlTransferPartFile {
  public:
    // Creates or empties the ".part" file beside `target`: a left-over one may
    // belong to an older release, so a new download never continues it.
    // Throws ServiceError with the errno.
    explicit CurlTransferPartFile(std::filesystem::path target);

    // False after a write failure; Error() then holds the errno.
    bool Append(const char* data, size_t size);
    // Drops everything from `size` on (a server that starts over or resumes
    // earlier than asked).
    bool TruncateTo(int64_t size);

    int64_t Size() const { return file_.Size(); }
    int Error() const { return file_.Error(); }
    ServiceError WriteFailure(const std::string& what) const { return file_.WriteFailure(what); }
    const std::filesystem::path& Target() const { return file_.Target(); }
    const std::filesystem::path& PartPath() const { return file_.Path(); }

    // Flushes the body to disk and renames it to the target, replacing an
    // existing file (whose permissions the new one keeps). Throws ServiceError.
    void Commit();

  private:
    platform::ReplacementFile file_;
    int64_t flushedUpTo_ = 0;
};

}  // namespace tvk
