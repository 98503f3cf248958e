#include "platform/Platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestSupport.h"
#include "common/ServiceError.h"
#include "platform/Module.h"
#include "platform/ReplacementFile.h"

namespace tvk {
namespace {

TEST(AtomicWrite, FailureNamesTheSystemsErrorAndCreatesNothing) {
    test::TempFolder folder;
    ServiceError error =
        test::ErrorOf([&] { platform::WriteFileAtomically(folder / "missing" / "x.ini", "x"); });
    EXPECT_EQ(error.Number(), test::kNoSuchFolder);
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

// Two users of one program folder who download at once: the second is
// refused before it can empty the first one's file.
TEST(ReplacementFile, AFileOfAFixedNameIsHeldUntilCommittedAndASecondWriterIsRefused) {
#ifdef _WIN32
    constexpr int64_t kHeld = 32;  // ERROR_SHARING_VIOLATION
#else
    constexpr int64_t kHeld = EBUSY;
#endif
    using platform::ReplacementFile;
    test::TempFolder folder;
    const std::filesystem::path target = folder / "setup.exe";
    auto first = std::make_unique<ReplacementFile>(target, ".part", ReplacementFile::Leftover::Kept);
    ASSERT_TRUE(first->Append("the first run's bytes"));
    EXPECT_TRUE(platform::IsHeldByWriter(first->Path()));
    const ServiceError refused = test::ErrorOf(
        [&] { ReplacementFile second(target, ".part", ReplacementFile::Leftover::Kept); });
    EXPECT_EQ(refused.Number(), kHeld) << refused.what();
    EXPECT_EQ(test::ReadAll(first->Path()), "the first run's bytes");
    first->Commit();
    EXPECT_FALSE(platform::IsHeldByWriter(target));
    EXPECT_EQ(test::ReadAll(target), "the first run's bytes");
    first = std::make_unique<ReplacementFile>(target, ".part", ReplacementFile::Leftover::Kept);
    EXPECT_EQ(first->Size(), 0);
}

TEST(ReadFile, MissingIsNoFailureButAFolderIs) {
    test::TempFolder folder;
    std::string bytes = "stale";
    EXPECT_FALSE(platform::ReadFile(folder / "none", bytes));
    EXPECT_EQ(test::ErrorOf([&] { platform::ReadFile(folder.Path(), bytes); }).Number(), EISDIR);
    EXPECT_FALSE(platform::FileExists(folder.Path()));
}

}  // namespace
}  // namespace tvk
