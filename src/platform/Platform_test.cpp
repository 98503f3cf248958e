#include "platform/Platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestSupport.h"
#include "common/ServiceError.h"
#include "platform/Module.h"

namespace tvk {
namespace {

TEST(AtomicWrite, FailureNamesTheErrnoAndCreatesNothing) {
    test::TempFolder folder;
    ServiceError error =
        test::ErrorOf([&] { platform::WriteFileAtomically(folder / "missing" / "x.ini", "x"); });
    EXPECT_EQ(error.Number(), ENOENT);
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
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
