#include <map>
#include <memory>
#include <mutex>

#include "common/ProxyRules.h"
#include "platform/Platform.h"
#include "platform/WindowsText.h"
// after windows.h
#include <winhttp.h>

namespace tvk::platform {

namespace {

std::string Text(const wchar_t* text) { return text == nullptr ? std::string() : Utf8(text); }

// What WinHTTP hands over is the caller's to free.
struct UserSettings : WINHTTP_CURRENT_USER_IE_PROXY_CONFIG {
    UserSettings() : WINHTTP_CURRENT_USER_IE_PROXY_CONFIG{} {}
    ~UserSettings() {
        for (wchar_t* text : {lpszAutoConfigUrl, lpszProxy, lpszProxyBypass})
            if (text != nullptr) ::GlobalFree(text);
    }
};

// The automatic configuration script, or detection, decides for the URL. The
// script's fetch is bounded; a script that cannot be had counts as none.
bool AutomaticProxy(const UserSettings& user, const std::string& url, SystemProxy& choice) {
    std::unique_ptr<void, decltype(&::WinHttpCloseHandle)> session(
        ::WinHttpOpen(L"tvkUpdateService", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                      WINHTTP_NO_PROXY_BYPASS, 0),
        ::WinHttpCloseHandle);
    if (!session) return false;
    ::WinHttpSetTimeouts(session.get(), 5000, 5000, 10000, 10000);
    WINHTTP_AUTOPROXY_OPTIONS options{};
    options.fAutoLogonIfChallenged = TRUE;
    if (user.lpszAutoConfigUrl != nullptr) {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = user.lpszAutoConfigUrl;
        choice.source = "the automatic configuration script " + Text(user.lpszAutoConfigUrl);
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        choice.source = "automatic detection (WPAD)";
    }
    WINHTTP_PROXY_INFO info{};
    if (!::WinHttpGetProxyForUrl(session.get(), Wide(url).c_str(), &options, &info)) return false;
    choice.found = true;
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY)
        choice.proxy = ProxyForUrl(Text(info.lpszProxy), Text(info.lpszProxyBypass), url);
    for (wchar_t* text : {info.lpszProxy, info.lpszProxyBypass})
        if (text != nullptr) ::GlobalFree(text);
    return true;
}

SystemProxy Lookup(const std::string& url) {
    UserSettings user;
    SystemProxy choice;
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&user)) return choice;
    if ((user.fAutoDetect || user.lpszAutoConfigUrl != nullptr) &&
        AutomaticProxy(user, url, choice))
        return choice;
    choice = {};
    if (user.lpszProxy != nullptr) {
        choice = {.found = true,
                  .proxy = ProxyForUrl(Text(user.lpszProxy), Text(user.lpszProxyBypass), url),
                  .source = "the proxy of Internet Options"};
    }
    return choice;
}

}  // namespace

SystemProxy SystemProxyFor(const std::string& url) {
    // Windows takes loopback direct whatever the settings say.
    if (ProxyForUrl("loopback.test:1", "", url).empty()) return {};
    // A script or detection can take seconds; a run asks the same host again.
    static std::mutex mutex;
    static std::map<std::string, SystemProxy> known;
    const std::string key = url.substr(0, url.find('/', url.find("://") + 3));
    std::lock_guard lock(mutex);
    auto found = known.find(key);
    if (found == known.end()) found = known.emplace(key, Lookup(url)).first;
    return found->second;
}

}  // namespace tvk::platform
