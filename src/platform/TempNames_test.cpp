#include "platform/TempNames.h"

#include <sys/stat.h>

#include <filesystem>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace tvk::platform {
namespace {

TEST(TempNames, UniqueFileIsPrivateAndNeverInTheWorkingFolder) {
    test::TempFolder folder;
    const std::string path = CreateUniqueTempFile(folder.Path().string(), "ab");
    EXPECT_EQ(fs::path(path).parent_path(), folder.Path());
    EXPECT_TRUE(fs::path(path).filename().string().starts_with("ab"));
    EXPECT_TRUE(path.ends_with(".TMP"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 0);

    EXPECT_EQ(test::ErrorOf([] { CreateUniqueTempFile("", "ab"); }).Number(), ENOENT);
}

TEST(TempNames, MoveNeverReplacesAnExistingFile) {
    test::TempFolder folder;
    test::WriteAll(folder / "from", "new");
    test::WriteAll(folder / "taken", "someone else's");
    EXPECT_FALSE(MoveWithoutReplacing((folder / "from").string(), (folder / "taken").string()));
    EXPECT_EQ(test::ReadAll(folder / "taken"), "someone else's");
    EXPECT_EQ(test::ReadAll(folder / "from"), "new");

    EXPECT_TRUE(MoveWithoutReplacing((folder / "from").string(), (folder / "free").string()));
    EXPECT_EQ(test::ReadAll(folder / "free"), "new");
    EXPECT_FALSE(fs::exists(folder / "from"));

    EXPECT_EQ(test::ErrorOf([&] {
                  MoveWithoutReplacing((folder / "from").string(), (folder / "x").string());
              }).Number(),
              ENOENT);
}

}  // namespace
}  // namespace tvk::platform
