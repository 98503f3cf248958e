#include "components/transfer/CurlTransferPartFile.h"

#include <algorithm>

namespace tvk {

namespace {

// Large setup programs would otherwise pile up as dirty pages and make the
// final fsync a long pause at 100 %; handing them to the disk every few MiB
// spreads that work over the download.
constexpr int64_t kWriteBackStep = 8 * 1024 * 1024;

}  // namespace

CurlTransferPartFile::CurlTransferPartFile(std::filesystem::path target)
    : file_(std::move(target), ".part", platform::ReplacementFile::Leftover::Kept) {}

bool CurlTransferPartFile::Append(const char* data, size_t size) {
    if (!file_.Append(data, size)) return false;
    if (file_.Size() - flushedUpTo_ >= kWriteBackStep) {
        file_.StartWriteBack(flushedUpTo_);
        flushedUpTo_ = file_.Size();
    }
    return true;
}

bool CurlTransferPartFile::TruncateTo(int64_t size) {
    if (!file_.TruncateTo(size)) return false;
    flushedUpTo_ = std::min(flushedUpTo_, size);
    return true;
}

void CurlTransferPartFile::Commit() { file_.Commit(); }

}  // namespace tvk
