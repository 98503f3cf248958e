#pragma once

#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QObject>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "LoopbackHttpServer.h"

namespace tvk::test {

// Waits, with a bound, for something the event loop brings about. QTest's own
// QTRY_ macros report to QTest, not to GoogleTest; this lets a test fail
// through EXPECT_TRUE instead.
inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 5000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(10);
    }
    return true;
}

// Stands in for the desktop's browser: QDesktopServices hands http addresses here.
class DesktopBrowser : public QObject {
    Q_OBJECT

  public:
    DesktopBrowser() {
        QDesktopServices::setUrlHandler("http", this, "open");
        QDesktopServices::setUrlHandler("https", this, "open");
        QDesktopServices::setUrlHandler("smb", this, "open");
    }
    ~DesktopBrowser() override {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("smb");
    }
    std::vector<QUrl> opened;

  public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

inline void ServeHtml(LoopbackHttpServer& server, const std::string& path,
                      const std::string& body) {
    server.Serve(path, {200,
                        "OK",
                        "<!DOCTYPE html><html><body style='margin:0'>" + body + "</body></html>",
                        {{"Content-Type", "text/html; charset=utf-8"}}});
}

}  // namespace tvk::test
