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

// Readies the top-level `window` for a page view that comes after it is
// shown; call it before the window's native window is made. Qt's browser
// engine draws through a surface that a window takes only when it is made:
// a window made without it would be destroyed and made again when the view
// arrives, a flash for the user and a lost window for whatever had found it
// (a screen reader, an automation).
void PreparePageWindow(QWidget* window);

}  // namespace tvk
