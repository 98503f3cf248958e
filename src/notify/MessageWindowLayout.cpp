#include "notify/MessageWindowLayout.h"

#include <cmath>

namespace tvk {

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kGapBelowControl = 100;     // between the button or note and the page
constexpr int kGapBelowHeading = 150;     // between the heading and the page, no-update variant
constexpr int kHeadingTopOnBanner = 430;  // the heading moves onto the banner without an update

}  // namespace

int TwipsToPixels(int twips, double dotsPerInch) {
    return static_cast<int>(std::lround(twips * dotsPerInch / kTwipsPerInch));
}

LayoutRect TwipsToPixels(const LayoutRect& twips, double dotsPerInch) {
    return {TwipsToPixels(twips.left, dotsPerInch), TwipsToPixels(twips.top, dotsPerInch),
            TwipsToPixels(twips.width, dotsPerInch), TwipsToPixels(twips.height, dotsPerInch)};
}

MessageWindowLayout MessageWindowLayout::Loaded(bool softwareUpdate, bool mainInstallation,
                                                bool hasPage) {
    MessageWindowLayout layout;
    if (softwareUpdate) {
        layout.installButtonVisible = mainInstallation;
        layout.serverNoteVisible = !mainInstallation;
        const LayoutRect& above = mainInstallation ? layout.installButton : layout.serverNote;
        layout.browser.top = above.Bottom() + kGapBelowControl;
    } else {
        layout.titleVisible = false;
        layout.installButtonVisible = false;
        layout.serverNoteVisible = false;
        layout.heading.top = kHeadingTopOnBanner;
        layout.browser.top = layout.heading.Bottom() + kGapBelowHeading;
    }
    layout.browser.height = layout.outerHeight - layout.browser.top - kBrowserBottomGap;

    if (!hasPage) {
        layout.outerHeight -= layout.browser.height + kShrinkExtra;
        layout.browserVisible = false;
    }
    return layout;
}

}  // namespace tvk
