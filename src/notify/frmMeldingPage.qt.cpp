#include "notify/frmMeldingPage.qt.h"

#include <QDesktopServices>
#include <QPointer>

namespace tvk {

namespace {

// Receives the first navigation of a page that asked for a new window and
// sends it where a link would go: the notice's own page or the user's browser.
// The window itself is never shown; the catcher deletes itself.
class NewWindowCatcher : public QWebEnginePage {
  public:
    explicit NewWindowCatcher(frmMeldingPage* opener)
        : QWebEnginePage(opener->profile(), opener), opener_(opener) {}

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (!isMainFrame || done_) return false;
        done_ = true;
        // A new window always comes from the page, so it counts as a link
        // whatever type the engine reports for it.
        if (frmMeldingPage::IsOtherSite(opener_ ? opener_->home() : QUrl(), url)) {
            frmMeldingPage::OpenOutside(url);
        } else if (opener_) {
            opener_->setUrl(url);
        }
        deleteLater();
        return false;
    }

  private:
    QPointer<frmMeldingPage> opener_;
    bool done_ = false;
};

}  // namespace

frmMeldingPage::frmMeldingPage(QObject* parent) : QWebEnginePage(parent) {}

bool frmMeldingPage::IsOtherSite(const QUrl& home, const QUrl& target) {
    // QUrl keeps host names in lower case, so this compares case-blind.
    return home.host() != target.host();
}

bool frmMeldingPage::OpensOutside(const QUrl& home, const QUrl& target, NavigationType type,
                                  bool isMainFrame) {
    return isMainFrame && type == NavigationTypeLinkClicked && IsOtherSite(home, target);
}

void frmMeldingPage::OpenOutside(const QUrl& url) { QDesktopServices::openUrl(url); }

bool frmMeldingPage::acceptNavigationRequest(const QUrl& url, NavigationType type,
                                             bool isMainFrame) {
    if (OpensOutside(home_, url, type, isMainFrame)) {
        OpenOutside(url);
        return false;
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

QWebEnginePage* frmMeldingPage::createWindow(WebWindowType) { return new NewWindowCatcher(this); }

}  // namespace tvk
