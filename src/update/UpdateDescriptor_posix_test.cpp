// Linux only: the setup started is a shell script.
#include <chrono>
#include <thread>

#include "UpdateDescriptor_test.h"

namespace tvk {
namespace {

// The setup that lay in the update folder is checked again before it starts:
// one replaced after its download is deleted, and the user is told why.
TEST_F(FetchDescriptor, YesStartsTheDownloadedSetupOnlyWhileItIsTheSignedOne) {
    ASSERT_EQ(Fetch(), -1);
    const auto marker = folder / "started";
    // Downloaded setups arrive without execute permission.
    auto setup = PlaceSetup("#!/bin/sh\necho started > '" + marker.string() + "'\n");
    dialogs.answer = MessageAnswer::Yes;
    EXPECT_EQ(Fetch(), static_cast<int>(ExitCode::Normal));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "Velkor UpdateService");
    EXPECT_EQ(dialogs.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::Question);
    for (int i = 0; i < 200 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(std::filesystem::exists(marker));

    test::WriteAll(setup, "#!/bin/sh\necho replaced\n");
    SetUp();  // a later run
    state.LanguageId = 2057;
    EXPECT_EQ(Fetch(), static_cast<int>(ExitCode::SetupRefused));
    EXPECT_EQ(dialogs.shown.back().text,
              "The update could not be installed: VelkorSetup.exe is refused: its signature does "
              "not match its content");
    EXPECT_FALSE(std::filesystem::exists(setup));
}

}  // namespace
}  // namespace tvk
