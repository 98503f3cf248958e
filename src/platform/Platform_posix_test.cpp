// Linux only: POSIX file modes, the umask, symbolic links, shared object names (libX.so).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestSupport.h"
#include "common/ServiceError.h"
#include "platform/Module.h"
#include "platform/Platform.h"

namespace tvk {
namespace {

TEST(AtomicWrite, ReplacesContentKeepsModeAndLinksAndLeavesNoTemporaryFile) {
    test::TempFolder folder;
    const auto target = folder / "real.ini";
    test::WriteAll(target, "old");
    ::chmod(target.c_str(), 0640);
    std::filesystem::create_symlink(target, folder / "Velkor5.ini");

    platform::WriteFileAtomically(folder / "Velkor5.ini", "new");
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "Velkor5.ini"));
    EXPECT_EQ(test::ReadAll(target), "new");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 2);
}

TEST(AtomicWrite, NewFilesGetTheAskedModeLessWhatTheUmaskTakes) {
    using platform::NewFileAccess;
    const struct {
        NewFileAccess access;
        mode_t umask, mode;
    } cases[] = {{NewFileAccess::Shared, 022, 0644},
                 {NewFileAccess::OwnerOnly, 022, 0600},
                 {NewFileAccess::Shared, 077, 0600},
                 {NewFileAccess::OwnerOnly, 0277, 0400}};
    test::TempFolder folder;
    for (const auto& c : cases) {
        const auto target =
            folder / (std::to_string(c.umask) + "-" + std::to_string(int(c.access)));
        const mode_t old = ::umask(c.umask);
        platform::WriteFileAtomically(target, "x", c.access);
        ::umask(old);
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.mode) << std::oct << c.umask;
    }
}

// A module that is missing, or lacks its entry point, is a failure that names the file.
// What lies in a folder others can write to is read as the file found there:
// a link to the maker's file, a FIFO that would hang the read, or a folder
// is refused.
TEST(RegularFile, OnlyARegularFileReachedWithoutALinkIsRead) {
    test::TempFolder folder;
    test::WriteAll(folder / "setup", "MZ");
    std::filesystem::create_symlink(folder / "setup", folder / "link");
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    char buffer[4];
    EXPECT_EQ(platform::RegularFile(folder / "setup").Read(buffer, sizeof buffer), 2u);
    for (const char* name : {"link", "fifo", "."})
        EXPECT_NE(test::ErrorOf([&] { platform::RegularFile(folder / name); }).Number(), 0) << name;
}

TEST(Module, AMissingModuleOrEntryPointIsNamed) {
    test::TempFolder folder;
    ServiceError missing = test::ErrorOf([&] { platform::Module::Load(folder.Path(), "tvkNone"); });
    EXPECT_EQ(missing.Number(), 48);
    EXPECT_NE(missing.Description().find((folder / "libtvkNone.so").string()), std::string::npos);
    const platform::Module mail = platform::Module::Load(TVK_BUILD_DIR, "tvkMail");
    EXPECT_EQ(test::ErrorOf([&] { mail.Entry<void()>("tvkNone"); }).Number(), 453);
}

}  // namespace
}  // namespace tvk
