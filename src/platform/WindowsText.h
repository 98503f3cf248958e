#pragma once

// Only for the platform layer's Windows files: the program's texts are UTF-8,
// Windows' own functions take UTF-16, and every crossing is explicit here.
#include <windows.h>

#include <string>
#include <string_view>

#include "common/ServiceError.h"

namespace tvk::platform {

inline std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), units);
    return wide;
}

inline std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

// The system's own text for a Windows error code, without its line break.
inline std::string WindowsText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD units = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result =
        units > 0 ? Utf8(std::wstring_view(text, units)) : "error " + std::to_string(error);
    if (text != nullptr) ::LocalFree(text);
    while (!result.empty() &&
           (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
        result.pop_back();
    return result;
}

// A failed Windows call with Windows' own number and text.
inline ServiceError WindowsError(const std::string& what, DWORD error = ::GetLastError()) {
    return ServiceError(static_cast<int64_t>(error), what + ": " + WindowsText(error));
}

// Antivirus scanners, indexers, backup agents and another user's run hold a
// file open for a moment: a replacement, deletion or rename that meets one
// is tried again for about three seconds. True once `attempt` succeeds; false
// with its error in GetLastError() otherwise.
template <class Attempt>
bool RetriedWhileBusy(Attempt attempt) {
    for (int waited = 0;; waited += 100) {
        if (attempt()) return true;
        const DWORD error = ::GetLastError();
        const bool busy = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                          error == ERROR_LOCK_VIOLATION ||
                          error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
                          error == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
        if (!busy || waited >= 3000) {
            ::SetLastError(error);
            return false;
        }
        ::Sleep(100);
    }
}

// A failed Windows call, as ErrnoError reports a failed POSIX call: with
// Windows' own number and text, which is what an administrator can look up
// (32 is a sharing violation there, not "Permission denied").
inline ServiceError LastError(const std::string& what, DWORD error = ::GetLastError()) {
    return WindowsError(what, error);
}

}  // namespace tvk::platform
