#include "platform/QtApplication.qt.h"

#include <QApplication>

namespace tvk {

QApplication& EnsureApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
    // The browser engine shares its GL contexts with the widgets; this must be
    // set before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    static int argc = 1;
    static char name[] = "tvkUpdateService";
    static char* argv[] = {name, nullptr};
    return *new QApplication(argc, argv);
}

}  // namespace tvk
