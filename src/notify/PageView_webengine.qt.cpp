#include <QQuickWidget>
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

// The engine's view draws through a Qt Quick widget, and a window in which
// one lies when it is made gets that widget's surface. A hidden one, made
// before the engine itself (which takes a while to start), costs nothing else.
void PreparePageWindow(QWidget* window) {
    const QString name = QStringLiteral("pageSurface");
    if (window->findChild<QQuickWidget*>(name, Qt::FindDirectChildrenOnly) != nullptr) return;
    auto* surface = new QQuickWidget(window);
    surface->setObjectName(name);
    surface->hide();
}

}  // namespace tvk
