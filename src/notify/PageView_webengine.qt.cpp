#include <QWebEngineView>

#include "notify/PageView.qt.h"
#include "notify/frmMeldingPage_webengine.qt.h"

namespace tvk {

QWidget* NewPageView(QWidget* parent) {
    auto* view = new QWebEngineView(parent);
    view->setPage(new frmMeldingPage(view));
    return view;
}

void ShowPage(QWidget* view, const QUrl& home, const QUrl& address) {
    auto* browser = static_cast<QWebEngineView*>(view);
    static_cast<frmMeldingPage*>(browser->page())->setHome(home);
    browser->setUrl(address);
}

}  // namespace tvk
