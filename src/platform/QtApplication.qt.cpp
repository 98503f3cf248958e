#include "platform/QtApplication.qt.h"

#include <QApplication>
#include <QLoggingCategory>

namespace tvk {

QApplication& EnsureApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    // The browser engine shares its GL contexts with the widgets; this must be
    // set before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The browser engine describes its set-up on standard error, which is
    // where the service reports to scripts; keep it quiet.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    static int argc = 1;
    static char name[] = "tvkUpdateService";
    static char* argv[] = {name, nullptr};
    return *new QApplication(argc, argv);
}

}  // namespace tvk
