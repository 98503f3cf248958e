// Windows only: sharing modes, which decide whether an open file may be
// replaced, and access lists, which decide who may read a file.
#include <gtest/gtest.h>

#include <aclapi.h>
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

// Whether the file's access list lets in anyone but its owner, the system
// and the administrators: Everyone, Users or Authenticated Users. (Wine keeps
// no access list of its own; it shows the one it derives from the Unix mode,
// which the list given at creation sets.)
bool GrantsOthers(const std::filesystem::path& file) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    bool others = dacl == nullptr;  // no list at all lets everyone in
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace) ||
            static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        for (WELL_KNOWN_SID_TYPE type : {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid})
            others = others || ::IsWellKnownSid(sid, type);
    }
    ::LocalFree(descriptor);
    return others;
}

// The database, the download report and the notice page hold secrets; in
// the program folder or in ProgramData they would otherwise inherit
// "Users: Read", and a replaced file would keep it.
TEST(AccessList, FilesThatHoldSecretsLetInNobodyElseAlsoWhenTheyReplaceASharedFile) {
    test::TempFolder folder;
    ASSERT_TRUE(platform::CreateExclusiveFile(folder / "Velkor.db"));
    EXPECT_FALSE(GrantsOthers(folder / "Velkor.db"));
    const std::filesystem::path report = folder / "VK1.xml";
    platform::WriteFileAtomically(report, "shared");
    PSECURITY_DESCRIPTOR inherited = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;OW)(A;;FR;;;BU)(A;;FR;;;WD)", SDDL_REVISION_1,
        &inherited, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    ::GetSecurityDescriptorDacl(inherited, &present, &list, &defaulted);
    ASSERT_EQ(::SetNamedSecurityInfoW(const_cast<wchar_t*>(report.c_str()), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION, nullptr, nullptr, list, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    ::LocalFree(inherited);
    ASSERT_TRUE(GrantsOthers(report));
    platform::WriteFileAtomically(report, "secret", platform::NewFileAccess::OwnerOnly);
    EXPECT_FALSE(GrantsOthers(report));
    EXPECT_EQ(test::ReadAll(report), "secret");
}

}  // namespace
}  // namespace tvk
