#pragma once

class QUrl;
class QWidget;

namespace tvk {

// The message window's view of the maker's information page, from the page
// engine the build has: Qt's browser engine where there is one, else the
// plain view of the page's text (frmMeldingTextPage).
QWidget* NewPageView(QWidget* parent);

// Shows `address` in a view from NewPageView; `home` names the maker's site.
void ShowPage(QWidget* view, const QUrl& home, const QUrl& address);

}  // namespace tvk
