#pragma once

#include "platform/Dialogs.h"

class QWidget;

namespace tvk {

// A message box over `parent` (none: over the whole application), modal; its
// text is plain text.
MessageAnswer ShowMessageBoxQt(const MessageBoxRequest& request, QWidget* parent = nullptr);

// The module's windows, shown modally; each returns when its window has closed.
bool ShowMessageWindowQt(const Texts& texts, const MessageWindowRequest& request);
DownloadWindowResult ShowDownloadWindowQt(const Texts& texts, const DownloadWindowRequest& request);

}  // namespace tvk
