#include "notify/PageView.qt.h"
#include "notify/frmMeldingTextPage.qt.h"

namespace tvk {

QWidget* NewPageView(QWidget* parent) { return new frmMeldingTextPage(parent); }

void ShowPage(QWidget* view, const QUrl& home, const QUrl& address) {
    static_cast<frmMeldingTextPage*>(view)->Show(home, address);
}

// The text is drawn like every other control.
void PreparePageWindow(QWidget*) {}

}  // namespace tvk
