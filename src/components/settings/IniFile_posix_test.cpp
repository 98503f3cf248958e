// Linux only: a file size limit (setrlimit, SIGXFSZ); peak memory measured in a forked child.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>

#include "ChildProcess.h"
#include "IniFile_test.h"
#include "TestSupport.h"
#include "common/ServiceError.h"
#include "components/settings/IniFile.h"

namespace tvk {
namespace {

using test::ReadAll;
using test::TempFolder;
using test::WriteAll;

// Limits the size of files this process may write, as a full disk would; the
// write then fails with EFBIG instead of a signal.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit old_{};
    void (*oldHandler_)(int);
};

TEST_F(IniFileTest, FailedWriteLeavesTheOriginalIntact) {
    WriteAll(Path(), kCrlfFile);
    try {
        FileSizeLimit limit(16);
        Write("UpdateService", "Host", "http://new.example");
        FAIL() << "the write passed the file size limit";
    } catch (const ServiceError& e) {
        EXPECT_EQ(e.Number(), EFBIG);
    }
    EXPECT_EQ(ReadAll(Path()), kCrlfFile);
    EXPECT_EQ(FilesInFolder(), 1u);  // no temporary file left behind
}

// How far the process's peak memory rises while `work` runs, in KiB; measured
// in a child, so that what the test process held before does not count.
long PeakMemoryGrowthKiB(const std::function<void()>& work) {
    std::optional<long> growth = test::ChildProcess([&] {
                                     rusage before{}, after{};
                                     ::getrusage(RUSAGE_SELF, &before);
                                     work();
                                     ::getrusage(RUSAGE_SELF, &after);
                                     return after.ru_maxrss - before.ru_maxrss;
                                 }).Wait();
    if (!growth) ADD_FAILURE() << "no measure";
    return growth.value_or(-1);
}

TEST_F(IniFileTest, MemoryGrowsOnlyInProportionToTheFile) {
    constexpr long kFileKiB = 16 * 1024;
    WriteAll(Path(), "[S]\nk=v" + std::string(kFileKiB * 1024, '\n'));
    // Reading holds the file once; a write holds its new content beside it.
    EXPECT_LE(PeakMemoryGrowthKiB([&] { Read("S", "k"); }), 2 * kFileKiB);
    EXPECT_LE(PeakMemoryGrowthKiB([&] { Write("S", "k2", "x"); }), 3 * kFileKiB);
}

}  // namespace
}  // namespace tvk
