// Links on the information page: the maker's own pages stay in the window,
// other sites go to the user's browser.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>
#include <memory>
#include <vector>

#include "LoopbackHttpServer.h"
#include "WindowsTestSupport.qt.h"
#include "localisation/StringTable.h"
#include "notify/frmMelding.qt.h"
#include "notify/frmMeldingPage_webengine.qt.h"

namespace tvk {
namespace {

using test::DesktopBrowser;
using test::ServeHtml;
using test::WaitUntil;

using Page = frmMeldingPage;

TEST(frmMeldingPageTest, OnlyLinksToAnotherHostLeaveTheWindow) {
    const QUrl home("http://www.maker.example/info/notes.html");
    struct Case {
        const char* target;
        Page::NavigationType type;
        bool mainFrame;
        bool outside;
    };
    const Case cases[] = {
        {"http://www.maker.example/info/other.html", Page::NavigationTypeLinkClicked, true, false},
        {"https://WWW.Maker.Example:8443/x", Page::NavigationTypeLinkClicked, true, false},
        {"http://shop.maker.example/", Page::NavigationTypeLinkClicked, true, true},
        {"http://elsewhere.example/", Page::NavigationTypeLinkClicked, true, true},
        {"mailto:support@maker.example", Page::NavigationTypeLinkClicked, true, true},
        // Not followed by the user in the page itself: stays where the engine puts it.
        {"http://elsewhere.example/", Page::NavigationTypeLinkClicked, false, false},
        {"http://elsewhere.example/", Page::NavigationTypeRedirect, true, false},
        {"http://elsewhere.example/", Page::NavigationTypeTyped, true, false},
        {"http://elsewhere.example/", Page::NavigationTypeFormSubmitted, true, false},
        {"http://elsewhere.example/", Page::NavigationTypeOther, true, false},
        {"smb://fileserver/share/setup.exe", Page::NavigationTypeLinkClicked, true, false},
        {"file:///etc/passwd", Page::NavigationTypeLinkClicked, true, false},
        {"ftp://elsewhere.example/", Page::NavigationTypeLinkClicked, false, false},
    };
    for (const Case& c : cases) {
        QUrl target(c.target);
        EXPECT_EQ(Page::OpensOutside(home, target, c.type, c.mainFrame), c.outside) << c.target;
        bool web = target.scheme().startsWith("http");
        EXPECT_EQ(Page::Refuses(target, c.mainFrame), !web) << c.target;  // unless outside
    }
}

// A block link at a known place, so that a real mouse click can hit it.
std::string LinkAt(int top, const std::string& href, const std::string& target = "") {
    return "<a href='" + href + "'" + (target.empty() ? "" : " target='" + target + "'") +
           " style='position:absolute;left:0;top:" + std::to_string(top) +
           "px;width:300px;height:40px;display:block;background:#cde'>link</a>";
}

TEST(frmMeldingPageTest, ClicksInTheWindowOpenOtherSitesOutsideAndOwnPagesInside) {
    test::LoopbackHttpServer server;
    // "localhost" is another host name than "127.0.0.1", though both are loopback.
    std::string elsewhere = "http://localhost:" + std::to_string(server.Port());
    ServeHtml(server, "/links.html",
              LinkAt(0, elsewhere + "/other.html") +
                  LinkAt(60, elsewhere + "/popup.html", "_blank") + LinkAt(120, "/same.html") +
                  LinkAt(180, "smb://fileserver/setup.exe") + "<script>window.open('" + elsewhere +
                  "/auto')</script>");
    ServeHtml(server, "/same.html", "<p>same site</p>");
    DesktopBrowser desktop;

    StringTableTexts texts(2057);
    frmMelding window(texts);
    window.setSoftwareUpdate(true);
    window.setHovedinstallasjon(true);
    window.setURL(server.Url("/links.html"));
    auto* view = window.findChild<QWebEngineView*>();
    ASSERT_EQ(view, nullptr);  // no browser before the window loads
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    view = window.findChild<QWebEngineView*>("WebBrowser1");
    ASSERT_NE(view, nullptr);
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    QSignalSpy refused(static_cast<Page*>(view->page()), &Page::refused);
    ASSERT_TRUE(WaitUntil([&] { return loaded.count() > 0; }, 20000));
    ASSERT_TRUE(loaded.takeFirst().first().toBool());
    const QUrl start = view->url();

    // With no click, neither the window the page asked for nor a script's move.
    view->page()->runJavaScript(QString::fromStdString("location = '" + elsewhere + "/moved'"));
    ASSERT_TRUE(WaitUntil([&] { return refused.count() == 2; }));
    EXPECT_EQ(refused[0][0].toUrl().path(), "/auto");
    EXPECT_EQ(refused[1][0].toUrl().path(), "/moved");

    auto click = [&](int y) {
        QWidget* target = view->focusProxy() != nullptr ? view->focusProxy() : view;
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(20, y));
    };

    click(20);
    ASSERT_TRUE(WaitUntil([&] { return desktop.opened.size() == 1; }, 5000));
    EXPECT_EQ(desktop.opened[0].toString().toStdString(), elsewhere + "/other.html");

    click(80);  // target="_blank" to another site: also the desktop's browser
    ASSERT_TRUE(WaitUntil([&] { return desktop.opened.size() == 2; }, 5000));
    EXPECT_EQ(desktop.opened[1].toString().toStdString(), elsewhere + "/popup.html");
    EXPECT_EQ(view->url(), start);

    click(200);  // neither the web nor mail: goes nowhere, though clicked
    click(140);
    ASSERT_TRUE(WaitUntil([&] { return view->url().path() == "/same.html"; }, 5000));
    EXPECT_TRUE(WaitUntil([&] { return loaded.count() > 0; }, 5000));
    EXPECT_EQ(server.Requests("/same.html"), 1);
    EXPECT_EQ(server.Requests("/other.html"), 0);
    EXPECT_EQ(server.Requests("/popup.html"), 0);
    EXPECT_EQ(desktop.opened.size(), 2u);
}

}  // namespace
}  // namespace tvk
