// Linux only: the POSIX file mode (0600) of a new file, read with stat.
#include <sys/stat.h>

#include <filesystem>

#include "TestSupport.h"
#include "platform/TempNames.h"

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

}  // namespace
}  // namespace tvk::platform
