// Tests of the windows run inside one application object, as the service does,
// on Qt's offscreen platform unless another one is chosen. The browser engine
// runs without its sandbox because tests run as root.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/QtApplication.qt.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    ::setenv(
        "QTWEBENGINE_CHROMIUM_FLAGS",
        "--disable-gpu --no-sandbox --disable-background-networking --disable-component-update", 0);
    ::testing::InitGoogleTest(&argc, argv);
    tvk::EnsureApplication();
    return RUN_ALL_TESTS();
}
