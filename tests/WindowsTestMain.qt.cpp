// Tests of the windows run inside one application object, as the service does.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/QtApplication.qt.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    tvk::EnsureApplication();
    return RUN_ALL_TESTS();
}
