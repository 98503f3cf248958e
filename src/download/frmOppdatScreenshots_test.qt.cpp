// Pictures of the download window for the documentation, made only when
// TVK_SCREENSHOT_DIR names a folder: frmOppdat-<state>-<language>.png.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPixmap>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "FakeTransfer.h"
#include "download/frmOppdat.qt.h"
#include "localisation/StringTable.h"

namespace tvk {
namespace {

void Save(QWidget& window, const std::filesystem::path& folder, const std::string& name) {
    QCoreApplication::processEvents();
    std::filesystem::path file = folder / ("frmOppdat-" + name + ".png");
    ASSERT_TRUE(window.grab().save(QString::fromStdString(file.string()), "PNG")) << file;
}

TEST(DownloadWindowScreenshots, WaitingAndTransferring) {
    const char* folder = std::getenv("TVK_SCREENSHOT_DIR");
    if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "TVK_SCREENSHOT_DIR not set";
    std::filesystem::create_directories(folder);

    for (auto [language, suffix] : {std::pair{2057, "en"}, std::pair{1044, "no"}}) {
        StringTableTexts texts(language);
        test::FakeTransfer transfer;
        std::chrono::steady_clock::time_point now{std::chrono::seconds(1000)};
        frmOppdat::Seams seams;
        seams.now = [&] { return now; };
        frmOppdat window(transfer, texts, seams);
        window.SetURLHost("http://updates.example.test/velkor");
        window.SetHostExe("VelkorSetup.exe");
        window.SetLocalPath("/tmp/");
        window.SetLocalExe("VelkorSetup_4711.exe");
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        Save(window, folder, std::string("waiting-") + suffix);

        QTest::qWait(400);  // the start timer
        transfer.SendStatusMessage("Connected to updates.example.test");
        transfer.SendStart();
        now += std::chrono::seconds(20);
        transfer.SendProgress(1024000, 10342400);
        QCoreApplication::sendPostedEvents();
        Save(window, folder, std::string("transferring-") + suffix);
    }
}

}  // namespace
}  // namespace tvk
