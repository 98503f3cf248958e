#include "notify/frmMeldingPage_webengine.qt.h"

#include <QApplication>
#include <QEvent>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "notify/PageLinks.qt.h"

namespace tvk {

namespace {

using page_links::IsMail;
using page_links::IsWeb;

// What frames of a web page load besides the web itself.
bool IsPageInternal(const QUrl& url) {
    return url.scheme() == "about" || url.scheme() == "data" || url.scheme() == "blob";
}

}  // namespace

frmMeldingPage::frmMeldingPage(QObject* parent) : QWebEnginePage(parent) {
    // The engine would hand schemes it does not know to the desktop by itself.
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    connect(this, &QWebEnginePage::newWindowRequested, this, &frmMeldingPage::NewWindowRequested);
    qApp->installEventFilter(this);
}

bool frmMeldingPage::IsOtherSite(const QUrl& home, const QUrl& target) {
    return page_links::IsOtherSite(home, target);
}

bool frmMeldingPage::OpensOutside(const QUrl& home, const QUrl& target, NavigationType type,
                                  bool isMainFrame) {
    return isMainFrame && type == NavigationTypeLinkClicked && (IsWeb(target) || IsMail(target)) &&
           IsOtherSite(home, target);
}

bool frmMeldingPage::Refuses(const QUrl& target, bool isMainFrame) {
    return !IsWeb(target) && (isMainFrame || !IsPageInternal(target));
}

void frmMeldingPage::OpenOutside(const QUrl& url) { page_links::OpenOutside(url); }

bool frmMeldingPage::acceptNavigationRequest(const QUrl& url, NavigationType type,
                                             bool isMainFrame) {
    if (OpensOutside(home_, url, type, isMainFrame)) {
        OpenOutsideIfTheUserAsked(url);
        return false;
    }
    if (Refuses(url, isMainFrame)) {
        emit refused(url);
        return false;
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

// A script that sets the page's location is reported as a followed link
// too, and the engine has used up the click's own activation by the time the
// navigation arrives here. So the page notes the user's last click or key in
// the view itself: one such action lets one address out, for as long as the
// engine would count it as the user's.
void frmMeldingPage::OpenOutsideIfTheUserAsked(const QUrl& url) {
    bool asked = userActed_ && std::chrono::steady_clock::now() - *userActed_ < kUserActionLifespan;
    userActed_.reset();
    if (asked) {
        OpenOutside(url);
    } else {
        emit refused(url);
    }
}

bool frmMeldingPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        QWebEngineView* view = QWebEngineView::forPage(this);
        if (widget != nullptr && view != nullptr && (widget == view || view->isAncestorOf(widget)))
            userActed_ = std::chrono::steady_clock::now();
    }
    return false;
}

// Links that ask for a new window (target="_blank", window.open) go where a
// link would go; no window is ever opened, and a script's own request,
// without the user's click, goes nowhere.
void frmMeldingPage::NewWindowRequested(QWebEngineNewWindowRequest& request) {
    const QUrl url = request.requestedUrl();
    if (!request.isUserInitiated()) {
        emit refused(url);
        return;
    }
    if (OpensOutside(home_, url, NavigationTypeLinkClicked, true)) {
        OpenOutside(url);
    } else if (Refuses(url, true)) {
        emit refused(url);
    } else {
        setUrl(url);
    }
}

}  // namespace tvk
