// Pictures of the message window for the documentation. Runs only when
// TVK_SCREENSHOT_DIR names a folder; then it saves
// frmMelding-<variant>-<language>.png there, with a small information page
// served from loopback.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <cstdlib>
#include <string>

#include "LoopbackHttpServer.h"
#include "WindowsTestSupport.qt.h"
#include "localisation/StringTable.h"
#include "notify/MessageText.h"
#include "notify/frmMelding.qt.h"

namespace tvk {
namespace {

using test::WaitUntil;

// The page picks its language from the address, as the maker's page would.
const char* kInformationPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><style>
body { font-family: Arial, sans-serif; font-size: 13px; color: #333; margin: 14px 18px; }
h1 { font-size: 17px; color: #24508f; margin: 0 0 8px; }
li { margin: 4px 0; }
a { color: #24508f; }
</style></head><body>
<h1 id="h"></h1><ul id="l"></ul><p id="p"></p>
<script>
const no = location.search.indexOf("lang=1044") >= 0;
const t = no ? { h: "Nyheter i Velkor 7.9.512",
                 l: ["Raskere utskrift av fakturaer", "Ny eksport av kunderegister til Excel",
                     "Rettet feil i purring med flere valutaer"],
                 p: "Les mer p\u00e5 <a href='/notes.html'>v\u00e5re supportsider</a>." }
             : { h: "What is new in Velkor 7.9.512",
                 l: ["Faster printing of invoices", "New export of the customer register to Excel",
                     "Fixed reminders in several currencies"],
                 p: "Read more on <a href='/notes.html'>our support pages</a>." };
document.getElementById("h").textContent = t.h;
for (const x of t.l) { const li = document.createElement("li"); li.textContent = x;
                       document.getElementById("l").appendChild(li); }
document.getElementById("p").innerHTML = t.p;
</script></body></html>)";

struct Variant {
    const char* name;
    bool update;
    bool main;
};

TEST(frmMeldingScreenshots, SaveEachVariantInEnglishNorwegianAndGerman) {
    const char* folder = std::getenv("TVK_SCREENSHOT_DIR");
    if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "TVK_SCREENSHOT_DIR is not set";

    test::LoopbackHttpServer server;
    server.Serve("/info.html",
                 {200, "OK", kInformationPage, {{"Content-Type", "text/html; charset=utf-8"}}});
    const Variant variants[] = {{"update-main", true, true},
                                {"update-secondary", true, false},
                                {"no-update", false, false}};
    const std::pair<int, const char*> languages[] = {{2057, "en"}, {1044, "no"}, {1031, "de"}};

    for (const auto& [languageId, language] : languages) {
        for (const Variant& variant : variants) {
            StringTableTexts texts(languageId);
            frmMelding window(texts);
            window.setSoftwareUpdate(variant.update);
            window.setHovedinstallasjon(variant.main);
            std::string product =
                languageId == 2057 ? "7.9" : "7.9 Enterprise Edition for Large Clients";
            window.setMelding(ReplacePlaceholders(texts.Text(200), {product + ".512"}));
            window.setURL(server.Url("/info.html"));
            window.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
            auto* view = window.findChild<QWidget*>("WebBrowser1");
            ASSERT_NE(view, nullptr);
            QSignalSpy loaded(view, SIGNAL(loadFinished(bool)));
            ASSERT_TRUE(WaitUntil([&] { return loaded.count() > 0; }, 20000));
            QTest::qWait(700);  // let the page paint before the picture is taken

            // On a real display take what the screen shows, page included.
            QPixmap picture = QGuiApplication::platformName() == "xcb"
                                  ? window.screen()->grabWindow(window.winId())
                                  : window.grab();
            std::string path =
                std::string(folder) + "/frmMelding-" + variant.name + "-" + language + ".png";
            EXPECT_TRUE(picture.save(QString::fromStdString(path))) << path;
        }
    }
}

}  // namespace
}  // namespace tvk
