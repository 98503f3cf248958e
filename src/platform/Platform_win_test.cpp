// Windows only: sharing modes, which decide whether an open file may be replaced.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "TestSupport.h"
#include "platform/Platform.h"
#include "platform/WindowsText.h"

namespace tvk {
namespace {

// An antivirus scanner's moment with the file, without sharing its deletion:
// a replacement or deletion waits for it instead of failing with a sharing
// violation (32).
TEST(AtomicWrite, AFileHeldOpenForAMomentIsReplacedOrDeletedOnceItIsFree) {
    test::TempFolder folder;
    const auto file = folder / "update.ini";
    const std::function<void()> operations[] = {
        [&] { platform::WriteFileAtomically(file, "new"); },
        [&] { ASSERT_EQ(platform::RemoveFile(file), 0); },
    };
    for (const auto& operation : operations) {
        if (!std::filesystem::exists(file)) test::WriteAll(file, "old");
        HANDLE held = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::thread scanner([held] {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            ::CloseHandle(held);
        });
        EXPECT_NO_THROW(operation());
        scanner.join();
    }
    EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace tvk
