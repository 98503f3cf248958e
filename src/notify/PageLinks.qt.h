#pragma once

#include <QDesktopServices>
#include <QUrl>

// Where the links of the message window's page may go, whatever shows it.
namespace tvk::page_links {

inline bool IsWeb(const QUrl& url) { return url.scheme() == "http" || url.scheme() == "https"; }
inline bool IsMail(const QUrl& url) { return url.scheme() == "mailto"; }

// Whether `target` lies on another host than `home` (ports and schemes do
// not count: http and https of the same host are the same site). QUrl keeps
// host names in lower case, so this compares case-blind.
inline bool IsOtherSite(const QUrl& home, const QUrl& target) {
    return home.host() != target.host();
}

// Hands a web or mail address to the desktop; any other is dropped.
// Failures (no browser configured) are ignored: the notice stays usable.
inline void OpenOutside(const QUrl& url) {
    if (IsWeb(url) || IsMail(url)) QDesktopServices::openUrl(url);
}

}  // namespace tvk::page_links
