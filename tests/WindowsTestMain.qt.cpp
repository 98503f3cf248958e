// Tests of the windows run inside one application object, as the service does,
// on this system's test platform unless another one is chosen. The browser
// engine runs without its sandbox because tests run as root.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "TestSupport.h"
#include "platform/QtApplication.qt.h"

namespace {

void SetDefault(const char* name, const char* value) {
    if (std::getenv(name) == nullptr) tvk::test::SetEnvironment(name, value);
}

}  // namespace

int main(int argc, char** argv) {
    SetDefault("QT_QPA_PLATFORM", tvk::test::kWindowTestPlatform);
    SetDefault("QTWEBENGINE_DISABLE_SANDBOX", "1");
    SetDefault(
        "QTWEBENGINE_CHROMIUM_FLAGS",
        "--disable-gpu --no-sandbox --disable-background-networking --disable-component-update");
    ::testing::InitGoogleTest(&argc, argv);
    tvk::EnsureApplication();
    return RUN_ALL_TESTS();
}
