#pragma once

#include <QUrl>
#include <QWebEnginePage>
#include <chrono>
#include <optional>

class QWebEngineNewWindowRequest;

namespace tvk {

// The information page of the message window. The page lies on the maker's
// site and may link to pages of its own and to other sites. Links to the
// maker's own pages stay in the window; a link to another site, or to mail,
// opens in the user's default browser or mail program when the user followed
// it, so that the notice never becomes a browser for arbitrary sites (no
// address bar, no back button, no certificate display). Nothing else leaves
// the window: no other scheme, and no window a script opens by itself.
class frmMeldingPage : public QWebEnginePage {
    Q_OBJECT

  public:
    explicit frmMeldingPage(QObject* parent = nullptr);

    // The address whose host counts as the maker's site.
    void setHome(const QUrl& home) { home_ = home; }
    const QUrl& home() const { return home_; }

    // Whether a navigation to `target` leaves the window for the user's
    // browser or mail program: a web or mail link the user followed in the
    // page itself, to another host than `home`'s. It leaves only when a
    // click or key of the user lies behind it.
    static bool OpensOutside(const QUrl& home, const QUrl& target, NavigationType type,
                             bool isMainFrame);

    // Whether a navigation to `target` that does not leave the window goes
    // nowhere: anything but the web, apart from what frames of a web page
    // load besides it (about:, data:, blob:).
    static bool Refuses(const QUrl& target, bool isMainFrame);

    // Whether `target` lies on another host than `home` (ports and schemes do
    // not count: http and https of the same host are the same site).
    static bool IsOtherSite(const QUrl& home, const QUrl& target);

    // Hands a web or mail address to the desktop; any other is dropped.
    // Failures (no browser configured) are ignored: the notice stays usable.
    static void OpenOutside(const QUrl& url);

  signals:
    // An address the page asked for that neither loads nor leaves the
    // window: another scheme, or no click of the user behind it.
    void refused(const QUrl& url);

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    // Notes the user's clicks and keys in the page's view.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OpenOutsideIfTheUserAsked(const QUrl& url);
    void NewWindowRequested(QWebEngineNewWindowRequest& request);

    // As long as the engine counts an action as the user's own.
    static constexpr std::chrono::seconds kUserActionLifespan{5};

    QUrl home_;
    std::optional<std::chrono::steady_clock::time_point> userActed_;
};

}  // namespace tvk
