// Linux only: the setup started is a shell script.
#include <atomic>
#include <chrono>
#include <thread>

#include "UpdateDescriptor_test.h"
#include "update/SignedRelease.h"

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

// Another process renames an impostor of the same size over the setup, back
// and forth, while the 32 MiB are checked: what starts is the maker's file,
// from a private copy, or nothing. That copy goes at a later run.
TEST_F(FetchDescriptor, ASetupSwappedDuringItsCheckIsNeverStarted) {
    ASSERT_EQ(Fetch(), -1);
    const test::TempFolderAt temp(folder.Path());
    const auto marker = folder / "started";
    auto script = [&](const char* who) {
        std::string text =
            "#!/bin/sh\necho \"$0 " + std::string(who) + "\" > '" + marker.string() + "'\nexit 0\n";
        return text + std::string(32 * 1024 * 1024 - text.size() - 1, '#') + "\n";
    };
    const auto setup = PlaceSetup(script("maker"));
    const auto maker = folder / "maker", impostor = folder / "impostor", next = folder / "next";
    test::WriteAll(maker, script("maker"));
    test::WriteAll(impostor, script("impostor"));
    std::atomic<bool> stop = false;
    std::thread swapper([&] {
        std::error_code ignored;
        for (int i = 0; !stop; ++i) {
            std::filesystem::create_hard_link(i % 2 ? maker : impostor, next, ignored);
            std::filesystem::rename(next, setup, ignored);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    dialogs.answer = MessageAnswer::Yes;
    const int code = Fetch();
    stop = true;
    swapper.join();
    for (int i = 0; i < 200 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (code == static_cast<int>(ExitCode::SetupRefused)) {  // the impostor was checked
        EXPECT_FALSE(std::filesystem::exists(marker));
        return;
    }
    ASSERT_EQ(code, static_cast<int>(ExitCode::Normal));
    const std::string started = test::ReadAll(marker);
    EXPECT_EQ(started.rfind((folder / "tvkSetup.").string(), 0), 0u) << started;
    EXPECT_NE(started.find("/VelkorSetup_512.exe maker\n"), std::string::npos) << started;

    const auto copy = std::filesystem::path(started.substr(0, started.find(' '))).parent_path();
    std::filesystem::last_write_time(
        copy, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));
    RemoveEarlierSetupCopies();
    EXPECT_FALSE(std::filesystem::exists(copy));
}

}  // namespace
}  // namespace tvk
