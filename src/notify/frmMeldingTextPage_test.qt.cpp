// The page view of builds without the browser engine.
#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include "TestSupport.h"
#include "WindowsTestSupport.qt.h"
#include "notify/frmMeldingTextPage.qt.h"

namespace tvk {
namespace {

using test::WaitUntil;

TEST(frmMeldingTextPageTest, ShowsThePageTextAloneAndSendsLinksWhereTheBrowserWould) {
    test::LoopbackHttpServer server;
    std::string elsewhere = "http://localhost:" + std::to_string(server.Port());
    // Not UTF-8: the maker's older pages are Windows-1252.
    // A picture on this machine that Qt's own view would read.
    test::TempFolder folder;
    QImage(1, 1, QImage::Format_RGB32).save(QString::fromStdString((folder / "x.png").string()));
    const QUrl local = QUrl::fromLocalFile(QString::fromStdString((folder / "x.png").string()));
    test::ServeHtml(server, "/info.html",
                    "<title>Info</title><p>Pris \x80 5</p><img src='" +
                        local.toString().toStdString() + "'><p><a href='" + elsewhere +
                        "/other.html'>other</a> <a href='smb://fs/x.exe'>share</a> "
                        "<a href='same.html'>same</a></p>");
    test::ServeHtml(server, "/same.html", "<title>Same</title>");
    test::DesktopBrowser desktop;
    frmMeldingTextPage view;
    view.resize(400, 300);
    view.show();
    // By name: on Windows a member pointer taken outside the module that
    // defines the class is another address than the module's own.
    QSignalSpy loaded(&view, SIGNAL(loadFinished(bool)));
    QSignalSpy refused(&view, SIGNAL(refused(QUrl)));
    auto url = [&](const char* path) { return QUrl(QString::fromStdString(server.Url(path))); };
    view.Show(url("/"), url("/info.html"));
    ASSERT_TRUE(WaitUntil([&] { return loaded.count() == 1; }, 20000));
    EXPECT_TRUE(loaded[0][0].toBool());
    EXPECT_EQ(view.documentTitle(), "Info");
    EXPECT_TRUE(view.toPlainText().contains(QString::fromUtf8("Pris € 5")));
    EXPECT_FALSE(view.document()->resource(QTextDocument::ImageResource, local).isValid());

    auto click = [&](const char* text) {
        QTextCursor found = view.document()->find(QString::fromLatin1(text));
        ASSERT_FALSE(found.isNull()) << text;
        found.setPosition(found.selectionStart() + 1);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.cursorRect(found).center());
    };
    click("other");
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(desktop.opened[0].toString().toStdString(), elsewhere + "/other.html");
    click("share");
    ASSERT_EQ(refused.count(), 1);
    EXPECT_EQ(refused[0][0].toUrl().scheme(), "smb");
    click("same");
    ASSERT_TRUE(WaitUntil([&] { return loaded.count() == 2; }));
    EXPECT_EQ(view.documentTitle(), "Same");
    EXPECT_EQ(view.url().path(), "/same.html");
    EXPECT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(server.Requests("/other.html"), 0);
}

}  // namespace
}  // namespace tvk
