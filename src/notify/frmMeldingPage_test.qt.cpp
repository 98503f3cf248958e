// Links on the information page: the maker's own pages stay in the window,
// other sites go to the user's browser.
#include <gtest/gtest.h>

#include "WindowsTestSupport.qt.h"

#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>
#include <algorithm>
#include <memory>
#include <vector>

#include "LoopbackHttpServer.h"
#include "notify/frmMelding.qt.h"
#include "notify/frmMeldingPage.qt.h"

namespace tvk {
namespace {

using test::WaitUntil;

using Page = frmMeldingPage;

TEST(frmMeldingPageTest, OnlyWebAndMailLinksToAnotherHostLeaveTheWindow) {
    const QUrl home("http://www.maker.example/info/notes.html");
    using To = Page::Destination;
    struct Case {
        const char* target;
        Page::NavigationType type;
        bool mainFrame;
        To to;
    };
    const Case cases[] = {
        {"http://www.maker.example/info/other.html", Page::NavigationTypeLinkClicked, true,
         To::Window},
        {"https://WWW.Maker.Example:8443/x", Page::NavigationTypeLinkClicked, true, To::Window},
        {"http://shop.maker.example/", Page::NavigationTypeLinkClicked, true, To::Outside},
        {"http://elsewhere.example/", Page::NavigationTypeLinkClicked, true, To::Outside},
        {"mailto:support@maker.example", Page::NavigationTypeLinkClicked, true, To::Outside},
        // Not followed by the user in the page itself: stays where the engine puts it.
        {"http://elsewhere.example/", Page::NavigationTypeLinkClicked, false, To::Window},
        {"http://elsewhere.example/", Page::NavigationTypeRedirect, true, To::Window},
        {"http://elsewhere.example/", Page::NavigationTypeTyped, true, To::Window},
        {"http://elsewhere.example/", Page::NavigationTypeFormSubmitted, true, To::Window},
        {"http://elsewhere.example/", Page::NavigationTypeOther, true, To::Window},
        {"about:blank", Page::NavigationTypeOther, false, To::Window},
        // Neither the web nor mail: refused, in the window and outside alike.
        {"smb://fileserver/share/setup.exe", Page::NavigationTypeLinkClicked, true, To::Refused},
        {"file:///etc/passwd", Page::NavigationTypeLinkClicked, true, To::Refused},
        {"ftp://www.maker.example/x", Page::NavigationTypeLinkClicked, true, To::Refused},
        {"ms-settings:privacy", Page::NavigationTypeOther, false, To::Refused},
        {"mailto:support@maker.example", Page::NavigationTypeRedirect, true, To::Refused},
        {"data:text/html,x", Page::NavigationTypeLinkClicked, true, To::Refused},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Page::Decide(home, QUrl(c.target), c.type, c.mainFrame), c.to)
            << c.target << " type " << c.type << " main frame " << c.mainFrame;
    }
}

// Stands in for the desktop: QDesktopServices hands these addresses here.
class DesktopBrowser : public QObject {
    Q_OBJECT

  public:
    DesktopBrowser() {
        for (const char* scheme : kSchemes) QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~DesktopBrowser() override {
        for (const char* scheme : kSchemes) QDesktopServices::unsetUrlHandler(scheme);
    }
    static constexpr const char* kSchemes[] = {"http", "https", "smb"};
    std::vector<QUrl> opened;

  public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};


void ServeHtml(test::LoopbackHttpServer& server, const std::string& path, const std::string& body) {
    server.Serve(path, {200,
                        "OK",
                        "<!DOCTYPE html><html><body style='margin:0'>" + body + "</body></html>",
                        {{"Content-Type", "text/html; charset=utf-8"}}});
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
    // The page also asks for a window as it loads, with no click.
    ServeHtml(server, "/links.html",
              LinkAt(0, elsewhere + "/other.html") +
                  LinkAt(60, elsewhere + "/popup.html", "_blank") + LinkAt(120, "/same.html") +
                  LinkAt(180, "smb://fileserver/share/setup.exe") + "<script>window.open('" +
                  elsewhere + "/unasked.html')</script>");
    ServeHtml(server, "/same.html", "<p>same site</p>");
    DesktopBrowser desktop;

    RunState state;
    state.LanguageId = 2057;
    frmMelding window(state);
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
    std::vector<QUrl> refused;
    QObject::connect(static_cast<Page*>(view->page()), &Page::refused,
                     [&](const QUrl& url) { refused.push_back(url); });
    ASSERT_TRUE(WaitUntil([&] { return loaded.count() > 0; }, 20000));
    ASSERT_TRUE(loaded.takeFirst().first().toBool());
    const QUrl start = view->url();
    auto refusedCount = [&](const std::string& url) {
        return std::count(refused.begin(), refused.end(), QUrl(QString::fromStdString(url)));
    };

    // Without a click: neither the window the page asked for as it loaded nor
    // a script's move to another site.
    ASSERT_TRUE(WaitUntil([&] { return refusedCount(elsewhere + "/unasked.html") == 1; }));
    view->page()->runJavaScript(
        QString::fromStdString("location.href = '" + elsewhere + "/scripted.html'"));
    ASSERT_TRUE(WaitUntil([&] { return refusedCount(elsewhere + "/scripted.html") == 1; }));

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

    click(200);  // neither the web nor mail: goes nowhere though clicked

    click(140);
    ASSERT_TRUE(WaitUntil([&] { return view->url().path() == "/same.html"; }, 5000));
    EXPECT_TRUE(WaitUntil([&] { return loaded.count() > 0; }, 5000));
    EXPECT_EQ(server.Requests("/same.html"), 1);
    EXPECT_EQ(server.Requests("/other.html"), 0);
    EXPECT_EQ(server.Requests("/popup.html"), 0);
    EXPECT_EQ(server.Requests("/unasked.html"), 0);
    EXPECT_EQ(server.Requests("/scripted.html"), 0);
    EXPECT_EQ(desktop.opened.size(), 2u);  // neither the smb address nor the unasked ones
}

}  // namespace
}  // namespace tvk

#include "frmMeldingPage_test.qt.moc"
