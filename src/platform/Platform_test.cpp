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
    using platform::ReplacementFile;
    test::TempFolder folder;
    const auto part = [&] {
        return std::make_unique<ReplacementFile>(folder / "a.exe", ".part",
                                                 ReplacementFile::Leftover::Kept);
    };
    auto first = part();
    ASSERT_TRUE(first->Append("first"));
    EXPECT_TRUE(platform::IsHeldByWriter(first->Path()));
    EXPECT_EQ(test::ErrorOf([&] { part(); }).Number(), test::kHeldFile);
    first->Commit();
    EXPECT_FALSE(platform::IsHeldByWriter(folder / "a.exe"));
    EXPECT_EQ(test::ReadAll(folder / "a.exe"), "first");
    EXPECT_EQ(part()->Size(), 0);
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
