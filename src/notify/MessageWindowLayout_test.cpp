#include "notify/MessageWindowLayout.h"

#include <gtest/gtest.h>

namespace tvk {
namespace {

using Layout = MessageWindowLayout;

TEST(MessageWindowLayoutTest, UpdateOnMainInstallationPutsThePageBelowTheButton) {
    Layout layout = Layout::Loaded(true, true, true);
    EXPECT_EQ(layout.browser.top, 1675);
    EXPECT_EQ(layout.browser.height, Layout::kDesignOuterHeight - 1675 - 600);
    EXPECT_EQ(layout.outerHeight, Layout::kDesignOuterHeight);
    EXPECT_TRUE(layout.titleVisible);
    EXPECT_TRUE(layout.installButtonVisible);
    EXPECT_FALSE(layout.serverNoteVisible);
    EXPECT_TRUE(layout.browserVisible);
    EXPECT_EQ(layout.installButton, (LayoutRect{8265, 1200, 1935, 375}));
    EXPECT_EQ(layout.heading, (LayoutRect{225, 1125, 7935, 615}));
}

TEST(MessageWindowLayoutTest, UpdateElsewherePutsThePageBelowTheNote) {
    Layout layout = Layout::Loaded(true, false, true);
    EXPECT_EQ(layout.browser.top, 1885);
    EXPECT_EQ(layout.browser.height, Layout::kDesignOuterHeight - 1885 - 600);
    EXPECT_FALSE(layout.installButtonVisible);
    EXPECT_TRUE(layout.serverNoteVisible);
    EXPECT_TRUE(layout.titleVisible);
    EXPECT_EQ(layout.serverNote, (LayoutRect{240, 1440, 9735, 345}));
}

TEST(MessageWindowLayoutTest, NoUpdateMovesTheHeadingOntoTheBanner) {
    // The main-installation flag plays no part without an update.
    for (bool main : {true, false}) {
        Layout layout = Layout::Loaded(false, main, true);
        EXPECT_EQ(layout.heading.top, 430);
        EXPECT_LE(layout.heading.Bottom(), layout.banner.Bottom());
        EXPECT_EQ(layout.browser.top, 1195);
        EXPECT_EQ(layout.browser.height, Layout::kDesignOuterHeight - 1195 - 600);
        EXPECT_FALSE(layout.titleVisible);
        EXPECT_FALSE(layout.installButtonVisible);
        EXPECT_FALSE(layout.serverNoteVisible);
        EXPECT_TRUE(layout.browserVisible);
    }
}

TEST(MessageWindowLayoutTest, ThePageEndsWithinTheClientArea) {
    for (bool update : {true, false}) {
        for (bool main : {true, false}) {
            Layout layout = Layout::Loaded(update, main, true);
            EXPECT_LT(layout.browser.Bottom(), layout.ClientHeight());
            EXPECT_GT(layout.browser.height, 0);
            EXPECT_EQ(layout.ClientHeight(), Layout::kDesignClientHeight);
        }
    }
}

TEST(MessageWindowLayoutTest, WithoutAPageTheWindowEnds400TwipsBelowThePageTop) {
    struct Case {
        bool update, main;
        int browserTop;
    };
    for (Case c : {Case{true, true, 1675}, Case{true, false, 1885}, Case{false, true, 1195}}) {
        Layout full = Layout::Loaded(c.update, c.main, true);
        Layout shrunk = Layout::Loaded(c.update, c.main, false);
        EXPECT_EQ(shrunk.outerHeight, full.outerHeight - full.browser.height - 200);
        EXPECT_EQ(shrunk.outerHeight, c.browserTop + 400);
        EXPECT_FALSE(shrunk.browserVisible);
        // What stays visible still fits into the shortened window.
        const LayoutRect& lowest = !c.update ? shrunk.banner
                                   : c.main  ? shrunk.installButton
                                             : shrunk.serverNote;
        EXPECT_LE(lowest.Bottom(), shrunk.ClientHeight());
    }
}

TEST(TwipsToPixelsTest, FifteenTwipsPerPixelAt96Dpi) {
    EXPECT_EQ(TwipsToPixels(15, 96), 1);
    EXPECT_EQ(TwipsToPixels(10500, 96), 700);
    EXPECT_EQ(TwipsToPixels(1065, 96), 71);  // the banner bitmap's own height
    EXPECT_EQ(TwipsToPixels(0, 96), 0);
    EXPECT_EQ(TwipsToPixels(LayoutRect{8265, 1200, 1935, 375}, 96), (LayoutRect{551, 80, 129, 25}));
}

TEST(TwipsToPixelsTest, RoundsToTheNearestPixel) {
    EXPECT_EQ(TwipsToPixels(1675, 96), 112);   // 111.67
    EXPECT_EQ(TwipsToPixels(430, 96), 29);     // 28.67
    EXPECT_EQ(TwipsToPixels(7, 96), 0);        // 0.47
    EXPECT_EQ(TwipsToPixels(8, 96), 1);        // 0.53
    EXPECT_EQ(TwipsToPixels(1675, 144), 168);  // 167.5: halves go up
}

TEST(TwipsToPixelsTest, ScalesWithTheScreensDotsPerInch) {
    EXPECT_EQ(TwipsToPixels(10500, 120), 875);
    EXPECT_EQ(TwipsToPixels(10500, 144), 1050);
    EXPECT_EQ(TwipsToPixels(10500, 192), 1400);
    EXPECT_EQ(TwipsToPixels(1440, 72.5), 73);  // fractional dpi values are kept
}

}  // namespace
}  // namespace tvk
