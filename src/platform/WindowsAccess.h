#pragma once

// Windows only: access lists of the service's own files.
// clang-format off
#include <windows.h>
#include <sddl.h>
// clang-format on

#include <string>
#include <vector>

#include "platform/WindowsText.h"

namespace tvk::platform {

// A security descriptor with an access list of its own, not inherited
// ("D:P"), for the system, the administrators and the user who runs the
// service: what 0600 and 0700 are on Linux. Without it a file in the program
// folder or in ProgramData inherits "Users: Read". A folder's entries are
// inherited by what it holds. Throws ServiceError with Windows' number.
class PrivateAccess {
  public:
    enum class Of { File, Folder };

    explicit PrivateAccess(Of what) {
        const std::wstring inherit = what == Of::Folder ? L"OICI" : L"";
        const std::wstring user = CurrentUserSid();
        std::wstring sddl = L"D:P";
        for (const std::wstring& sid : {std::wstring(L"SY"), std::wstring(L"BA"), user})
            sddl += L"(A;" + inherit + L";FA;;;" + sid + L")";
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                    &descriptor_, nullptr))
            throw WindowsError("Cannot make a private access list");
        attributes_ = {sizeof attributes_, descriptor_, FALSE};
    }
    ~PrivateAccess() { ::LocalFree(descriptor_); }
    PrivateAccess(const PrivateAccess&) = delete;
    PrivateAccess& operator=(const PrivateAccess&) = delete;

    SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

  private:
    // The user's SID as text; "OW" (the owner) should it not be found.
    static std::wstring CurrentUserSid() {
        std::wstring user = L"OW";
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return user;
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<unsigned char> buffer(size);
        wchar_t* sid = nullptr;
        if (size != 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
            ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid,
                                     &sid)) {
            user = sid;
            ::LocalFree(sid);
        }
        ::CloseHandle(token);
        return user;
    }

    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace tvk::platform
