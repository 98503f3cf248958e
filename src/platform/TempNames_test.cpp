#include "platform/TempNames.h"

#include <sys/stat.h>

#include <filesystem>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace tvk::platform {
namespace {

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
