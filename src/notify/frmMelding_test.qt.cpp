// The message window on Qt's offscreen platform. Pages come from a loopback
// server; the browser is only created by the tests that give an address,
// since the engine is slow to start.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

#include "LoopbackHttpServer.h"
#include "WindowsTestSupport.qt.h"
#include "localisation/StringTable.h"
#include "notify/MessageText.h"
#include "notify/MessageWindowLayout.h"
#include "notify/frmMelding.qt.h"
#include "platform/QtWindows.qt.h"

namespace tvk {
namespace {

using test::WaitUntil;

constexpr int kEnglish = 2057;
constexpr int kNorwegian = 1044;
constexpr int kWaitMs = 20000;  // bound for the first page: the engine starts slowly

LayoutRect GeometryOf(const QWidget* widget) {
    return {widget->x(), widget->y(), widget->width(), widget->height()};
}

class frmMeldingTest : public ::testing::Test {
  protected:
    frmMeldingTest() {
        server.Serve("/info.html", {200,
                                    "OK",
                                    "<!DOCTYPE html><title>Info</title><p>News</p>",
                                    {{"Content-Type", "text/html; charset=utf-8"}}});
    }

    std::unique_ptr<frmMelding> Open(
        bool update, bool main, const std::string& url,
        const std::string& heading = "New version of Velkor is released (7.9.512)") {
        auto window = std::make_unique<frmMelding>(texts);
        window->setSoftwareUpdate(update);
        window->setHovedinstallasjon(main);
        window->setMelding(heading);
        window->setURL(url);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }

    template <class T = QWidget>
    static T* Control(QWidget& window, const char* name) {
        T* control = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    LayoutRect Pixels(const LayoutRect& twips, QWidget& window) {
        return TwipsToPixels(twips, window.screen()->logicalDotsPerInchY());
    }

    QString Text(int id) { return QString::fromStdString(texts.Text(id)); }

    // The client height of a layout in pixels, as the window sizes itself.
    int ClientHeight(const MessageWindowLayout& layout, QWidget& window) {
        return Pixels(layout.Client(), window).height;
    }

    StringTableTexts texts{kEnglish};
    test::LoopbackHttpServer server;
};

TEST_F(frmMeldingTest, UpdateOnMainInstallationOffersTheButtonAboveThePage) {
    auto window = Open(true, true, server.Url("/info.html"));
    auto layout = MessageWindowLayout::Loaded(true, true, true);

    auto* button = Control<QPushButton>(*window, "cmdInstaller");
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(button->text(), "Install update");
    EXPECT_EQ(GeometryOf(button), Pixels(layout.installButton, *window));
    EXPECT_FALSE(Control(*window, "lblInstallerPaaServer")->isVisible());

    auto* browser = Control(*window, "WebBrowser1");
    EXPECT_TRUE(browser->isVisible());
    EXPECT_EQ(GeometryOf(browser), Pixels(layout.browser, *window));
    EXPECT_EQ(layout.browser.top, 1675);

    EXPECT_EQ(window->windowTitle(), "Velkor UpdateService");
    EXPECT_EQ(Control<QLabel>(*window, "lblTittel")->text(), "Update");
    EXPECT_EQ(Control<QLabel>(*window, "lblTittel2")->text(),
              "New version of Velkor is released (7.9.512)");
    EXPECT_EQ(window->size(),
              QSize(Pixels(layout.Client(), *window).width, ClientHeight(layout, *window)));
}

TEST_F(frmMeldingTest, UpdateElsewhereShowsTheRedNoteAndIgnoresEscape) {
    texts = StringTableTexts(kNorwegian);
    auto window = Open(true, false, server.Url("/info.html"));
    auto layout = MessageWindowLayout::Loaded(true, false, true);

    EXPECT_FALSE(Control(*window, "cmdInstaller")->isVisible());
    auto* note = Control<QLabel>(*window, "lblInstallerPaaServer");
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), Text(204));
    EXPECT_TRUE(note->font().italic());
    EXPECT_EQ(note->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(GeometryOf(note), Pixels(layout.serverNote, *window));
    EXPECT_EQ(GeometryOf(Control(*window, "WebBrowser1")), Pixels(layout.browser, *window));
    EXPECT_EQ(layout.browser.top, 1885);
    EXPECT_EQ(Control<QLabel>(*window, "lblTittel")->text(), "Oppdatering");

    // Escape reaches the window first, wherever the focus is, and does nothing.
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QTest::keyClick(Control(*window, "WebBrowser1"), Qt::Key_Escape);
    QTest::qWait(50);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->Installer());
}

TEST_F(frmMeldingTest, NoUpdateShowsOnlyTheBannerHeadingAndPageAndEscapeCloses) {
    auto window = Open(false, true, server.Url("/info.html"));
    auto layout = MessageWindowLayout::Loaded(false, true, true);

    auto* heading = Control<QLabel>(*window, "lblTittel2");
    EXPECT_EQ(heading->text(),
              "No update is available. Latest version of Tavrin Velkor is installed.");
    EXPECT_EQ(GeometryOf(heading), Pixels(layout.heading, *window));
    EXPECT_EQ(layout.heading.top, 430);
    EXPECT_EQ(heading->palette().color(QPalette::WindowText), QColor(64, 64, 64));
    EXPECT_FALSE(Control(*window, "lblTittel")->isVisible());
    EXPECT_FALSE(Control(*window, "cmdInstaller")->isVisible());
    EXPECT_FALSE(Control(*window, "lblInstallerPaaServer")->isVisible());
    EXPECT_TRUE(Control(*window, "imLogo")->isVisible());
    EXPECT_EQ(GeometryOf(Control(*window, "WebBrowser1")), Pixels(layout.browser, *window));

    QTest::keyClick(Control(*window, "WebBrowser1"), Qt::Key_Escape);
    EXPECT_TRUE(WaitUntil([&] { return !window->isVisible(); }, 2000));
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_FALSE(window->Installer());
}

TEST_F(frmMeldingTest, BrowserAsksForThePageInTheRunsLanguage) {
    texts = StringTableTexts(kNorwegian);
    auto window = std::make_unique<frmMelding>(texts);
    window->setSoftwareUpdate(true);
    window->setURL(server.Url("/info.html"));
    window->show();  // the page follows the window
    // One native window from the first show on (see frmMeldingTest.OnAnXServer).
    const WId shown = window->winId();
    ASSERT_TRUE(WaitUntil([&] { return window->findChild<QWidget*>("WebBrowser1"); }, kWaitMs));
    // Either page view: the browser engine's or the one of the page's text.
    auto* browser = Control(*window, "WebBrowser1");
    QSignalSpy loaded(browser, SIGNAL(loadFinished(bool)));
    EXPECT_EQ(browser->property("url").toUrl().toString().toStdString(),
              server.Url("/info.html") + "?lang=1044");
    ASSERT_TRUE(WaitUntil([&] { return loaded.count() > 0; }, kWaitMs));
    EXPECT_TRUE(loaded.first().first().toBool());
    EXPECT_EQ(server.Requests("/info.html"), 1);
    EXPECT_NE(server.LastRequestHead("/info.html").find("GET /info.html?lang=1044 HTTP/1.1"),
              std::string::npos);
    EXPECT_EQ(browser->property("title").toString(), "Info");
    EXPECT_EQ(window->winId(), shown);
}

TEST_F(frmMeldingTest, WithoutAnAddressThereIsNoBrowserAndTheWindowIsShort) {
    struct Case {
        bool update, main;
    };
    for (Case c : {Case{true, true}, Case{true, false}, Case{false, false}}) {
        auto window = Open(c.update, c.main, "");
        auto layout = MessageWindowLayout::Loaded(c.update, c.main, false);
        EXPECT_EQ(window->findChild<QWidget*>("WebBrowser1"), nullptr);
        EXPECT_EQ(window->height(), ClientHeight(layout, *window));
        EXPECT_LT(window->height(),
                  ClientHeight(MessageWindowLayout::Loaded(c.update, c.main, true), *window));
        // The lowest control still shows in full.
        const char* lowest = !c.update ? "lblTittel2"
                             : c.main  ? "cmdInstaller"
                                       : "lblInstallerPaaServer";
        EXPECT_LE(Control(*window, lowest)->geometry().bottom(), window->height()) << lowest;
    }
}

TEST_F(frmMeldingTest, InstallButtonSetsInstallerAndCloses) {
    auto window = Open(true, true, "");
    QTest::mouseClick(Control(*window, "cmdInstaller"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->Installer());
    EXPECT_EQ(window->result(), QDialog::Accepted);

    // Shown again and closed by its close box: the choice does not carry over.
    window->show();
    EXPECT_FALSE(window->Installer());
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Installer());
}

TEST_F(frmMeldingTest, TextsThatNeedMoreRoomThanDesignedAreNotCut) {
    texts = StringTableTexts(1031);  // the longest button text
    auto window = Open(true, true, "");
    auto* button = Control<QPushButton>(*window, "cmdInstaller");
    EXPECT_EQ(button->text(), "Aktualisierung installieren");
    EXPECT_GE(button->width(), button->sizeHint().width());
    LayoutRect designed = Pixels(MessageWindowLayout::Designed().installButton, *window);
    EXPECT_EQ(button->x() + button->width(), designed.left + designed.width);  // right edge kept
    EXPECT_EQ(button->y(), designed.top);

    auto* title = Control<QLabel>(*window, "lblTittel");
    EXPECT_GE(title->height(), title->fontMetrics().height());
    window->setMelding(std::string(300, 'x').replace(100, 1, " ").replace(200, 1, " "));
    window->hide();
    window->show();
    auto* heading = Control<QLabel>(*window, "lblTittel2");
    EXPECT_GE(heading->height(), heading->heightForWidth(heading->width()));

    // A product text of 40 characters in every language: nothing covers the heading.
    for (int language : {1030, 1031, 1044, 1053, 2057}) {
        texts = StringTableTexts(language);
        for (bool main : {true, false}) {
            auto w = Open(true, main, server.Url("/info.html"),
                          ReplacePlaceholders(texts.Text(200),
                                              {"7.9 Enterprise Edition for Large Clients.512"}));
            auto* wrapped = Control<QLabel>(*w, "lblTittel2");
            QRect text(wrapped->pos(),
                       QSize(wrapped->width(), wrapped->heightForWidth(wrapped->width())));
            int baseline = text.bottom() - wrapped->fontMetrics().descent();
            EXPECT_TRUE(text.right() < w->width() &&
                        text.bottom() <= Control(*w, "WebBrowser1")->y() &&
                        (main ? !text.intersects(Control(*w, "cmdInstaller")->geometry())
                              : baseline <= Control(*w, "lblInstallerPaaServer")->y()))
                << language << (main ? " main" : " secondary");
        }
    }
}

// Text from outside (the descriptor's product, a server's reason phrase) is
// plain text: markup in it shows as written, with no live link.
TEST_F(frmMeldingTest, OutsideTextIsShownAsPlainText) {
    const std::string markup = "404 - <a href='smb://evil/x'>Not Found</a>";
    EXPECT_EQ(Control<QLabel>(*Open(true, true, "", markup), "lblTittel2")->textFormat(),
              Qt::PlainText);
    QTimer::singleShot(0, [] {
        WaitUntil([] { return QApplication::activeModalWidget() != nullptr; });
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        box->accept();
    });
    ShowMessageBoxQt({.text = markup, .title = "Error"});
}

TEST_F(frmMeldingTest, IsAFixedTopLevelWindowWithItsOwnTaskbarEntry) {
    auto window = Open(true, true, "");
    Qt::WindowFlags flags = window->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window);  // neither a tool window nor a dialog
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->parentWidget(), nullptr);
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(249, 250, 253));
    EXPECT_EQ(Control<QLabel>(*window, "imLogo")->pixmap().size(), QSize(700, 71));

    QRect area = window->screen()->availableGeometry();
    EXPECT_LE(std::abs(window->frameGeometry().center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(window->frameGeometry().center().y() - area.center().y()), 1);

    QFont title = Control(*window, "lblTittel")->font();
    EXPECT_EQ(title.family(), "Arial");
    EXPECT_DOUBLE_EQ(title.pointSizeF(), 26.25);
    EXPECT_DOUBLE_EQ(Control(*window, "lblTittel2")->font().pointSizeF(), 11.25);
}

TEST_F(frmMeldingTest, FocusTimerBringsTheWindowForwardOnce) {
    auto window = std::make_unique<frmMelding>(texts);
    auto* timer = Control<QTimer>(*window, "timFocus");
    EXPECT_FALSE(timer->isActive());  // disabled until the window loads
    QSignalSpy ticks(timer, &QTimer::timeout);
    window->show();
    EXPECT_EQ(timer->interval(), 100);
    EXPECT_TRUE(timer->isActive());
    EXPECT_TRUE(WaitUntil([&] { return ticks.count() >= 1; }, 2000));
    QTest::qWait(300);
    EXPECT_EQ(ticks.count(), 1);
    EXPECT_FALSE(timer->isActive());
    EXPECT_TRUE(WaitUntil([&] { return window->isActiveWindow(); }, 2000));
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(frmMeldingTest, FocusTimerRestoresAMinimisedWindow) {
    auto window = std::make_unique<frmMelding>(texts);
    window->show();
    window->showMinimized();
    ASSERT_TRUE(window->isMinimized());
    auto* timer = Control<QTimer>(*window, "timFocus");
    EXPECT_TRUE(WaitUntil([&] { return !timer->isActive(); }, 2000));
    EXPECT_FALSE(window->isMinimized());
}

// The module's entry point shows the window modally and gives back Installer.
TEST_F(frmMeldingTest, ShowMessageWindowReturnsTheUsersChoice) {
    auto answer = [](bool install) {
        QTimer::singleShot(0, [install] {
            WaitUntil([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
            QWidget* window = QApplication::activeModalWidget();
            if (window == nullptr) {
                ADD_FAILURE() << "the message window did not open";
            } else if (install) {
                window->findChild<QPushButton*>("cmdInstaller")->click();
            } else {
                window->close();
            }
        });
    };
    MessageWindowRequest request;
    request.SoftwareUpdate = true;
    request.Hovedinstallasjon = true;
    request.Melding = "Heading";

    answer(true);
    EXPECT_TRUE(ShowMessageWindowQt(texts, request));
    answer(false);
    EXPECT_FALSE(ShowMessageWindowQt(texts, request));
}

}  // namespace
}  // namespace tvk
