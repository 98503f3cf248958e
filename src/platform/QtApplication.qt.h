#pragma once

class QApplication;

namespace tvk {

// The one application object of the process, created on first use with the
// settings the embedded browser needs. Never destroyed: windows of the module
// may live until the process ends.
QApplication& EnsureApplication();

}  // namespace tvk
