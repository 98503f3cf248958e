#pragma once

#include <QUrl>
#include <QWebEnginePage>

namespace tvk {

// The information page of the message window. The page lies on the maker's
// site and may link to pages of its own and to other sites. Links to the
// maker's own pages stay in the window; a link to another site opens in the
// user's default browser, so that the notice never becomes a browser for
// arbitrary sites (no address bar, no back button, no certificate display).
class frmMeldingPage : public QWebEnginePage {
    Q_OBJECT

  public:
    explicit frmMeldingPage(QObject* parent = nullptr);

    // The address whose host counts as the maker's site.
    void setHome(const QUrl& home) { home_ = home; }
    const QUrl& home() const { return home_; }

    // Whether a navigation to `target` leaves the window for the user's
    // browser: a link the user followed in the page itself, to another host
    // than `home`'s. Frames, redirects and the window's own navigation stay.
    static bool OpensOutside(const QUrl& home, const QUrl& target, NavigationType type,
                             bool isMainFrame);

    // Whether `target` lies on another host than `home` (ports and schemes do
    // not count: http and https of the same host are the same site).
    static bool IsOtherSite(const QUrl& home, const QUrl& target);

    // Hands `url` to the desktop, as a link to another site does. Failures
    // (no browser configured) are ignored: the notice stays usable.
    static void OpenOutside(const QUrl& url);

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    // Links that ask for a new window (target="_blank", window.open).
    QWebEnginePage* createWindow(WebWindowType type) override;

  private:
    QUrl home_;
};

}  // namespace tvk
