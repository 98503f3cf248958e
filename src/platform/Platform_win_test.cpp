// Windows only: sharing modes, which decide whether an open file may be
// replaced, and access lists, which decide who may read a file.
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

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

// Whether the file's access list lets in Everyone or Users. (Wine keeps no
// list of its own; it shows the one it derives from the Unix mode.)
bool GrantsOthers(const std::filesystem::path& file) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t* text = nullptr;
    if (::GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS)
        ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
    const std::wstring list = text != nullptr ? text : L"D:";
    ::LocalFree(text);
    ::LocalFree(descriptor);
    return list == L"D:" || list.find(L";WD)") != list.npos || list.find(L";BU)") != list.npos;
}

// The database, the download report and the notice page hold secrets, which
// "Users: Read", inherited or kept from a replaced file, would give away.
TEST(AccessList, FilesThatHoldSecretsLetInNobodyElseAlsoWhenTheyReplaceASharedFile) {
    test::TempFolder folder;
    ASSERT_TRUE(platform::CreateExclusiveFile(folder / "Velkor.db"));
    EXPECT_FALSE(GrantsOthers(folder / "Velkor.db"));
    const std::filesystem::path report = folder / "VK1.xml";
    platform::WriteFileAtomically(report, "shared");
    PSECURITY_DESCRIPTOR usersRead = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;OW)(A;;FR;;;BU)(A;;FR;;;WD)", SDDL_REVISION_1,
        &usersRead, nullptr));
    ASSERT_TRUE(::SetFileSecurityW(report.c_str(), DACL_SECURITY_INFORMATION, usersRead));
    ::LocalFree(usersRead);
    ASSERT_TRUE(GrantsOthers(report));
    platform::WriteFileAtomically(report, "secret", platform::NewFileAccess::OwnerOnly);
    EXPECT_FALSE(GrantsOthers(report));
    EXPECT_EQ(test::ReadAll(report), "secret");
}

}  // namespace
}  // namespace tvk
