#include "notify/MessageWindowLayout.h"

#include <algorithm>
#include <cmath>

namespace tvk {

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kGapBelowControl = 100;     // between the button or note and the page
constexpr int kGapBelowHeading = 150;     // between the heading and the page, no-update variant
constexpr int kHeadingTopOnBanner = 430;  // the heading moves onto the banner without an update

// A width in which the heading takes one line.
constexpr int kUnbounded = 1000000;

// The designed gap between the heading and the button beside it.
constexpr int kGapBesideButton = 8265 - (225 + 7935);

void GrowDown(LayoutRect& rect, int needed) { rect.height = std::max(rect.height, needed); }

}  // namespace

int TwipsToPixels(int twips, double dotsPerInch) {
    return static_cast<int>(std::lround(twips * dotsPerInch / kTwipsPerInch));
}

int PixelsToTwips(int pixels, double dotsPerInch) {
    return static_cast<int>(std::ceil(pixels * kTwipsPerInch / dotsPerInch));
}

LayoutRect TwipsToPixels(const LayoutRect& twips, double dotsPerInch) {
    return {TwipsToPixels(twips.left, dotsPerInch), TwipsToPixels(twips.top, dotsPerInch),
            TwipsToPixels(twips.width, dotsPerInch), TwipsToPixels(twips.height, dotsPerInch)};
}

MessageWindowLayout MessageWindowLayout::Loaded(bool softwareUpdate, bool mainInstallation,
                                                bool hasPage, const MessageWindowTexts& texts) {
    MessageWindowLayout layout;
    LayoutRect& heading = layout.heading;
    auto headingText = [&] { return texts.headingHeight ? texts.headingHeight(heading.width) : 0; };
    if (softwareUpdate) {
        GrowDown(layout.title, texts.titleHeight);
        layout.installButtonVisible = mainInstallation;
        layout.serverNoteVisible = !mainInstallation;
        LayoutRect& button = layout.installButton;
        if (mainInstallation && texts.installButtonWidth > button.width) {
            button.left -= texts.installButtonWidth - button.width;
            button.width = texts.installButtonWidth;
        }
        if (mainInstallation)
            heading.width = std::min(heading.width, button.left - kGapBesideButton - heading.left);
        int text = headingText();
        int textBottom = heading.top + text;
        GrowDown(heading, text);

        // The note lies below the heading's one line, as designed; the lines
        // of a heading that wraps push it down by as much as they take.
        LayoutRect& note = layout.serverNote;
        if (!mainInstallation) {
            GrowDown(note, texts.serverNoteHeight);
            if (texts.headingHeight)
                note.top += std::max(0, text - texts.headingHeight(kUnbounded));
        }
        const LayoutRect& above = mainInstallation ? button : note;
        layout.browser.top = std::max(above.Bottom(), textBottom) + kGapBelowControl;
    } else {
        layout.titleVisible = false;
        layout.installButtonVisible = false;
        layout.serverNoteVisible = false;
        heading.top = kHeadingTopOnBanner;
        GrowDown(heading, headingText());
        layout.browser.top = heading.Bottom() + kGapBelowHeading;
    }
    layout.browser.height = layout.outerHeight - layout.browser.top - kBrowserBottomGap;

    if (!hasPage) {
        layout.outerHeight -= layout.browser.height + kShrinkExtra;
        layout.browserVisible = false;
    }
    return layout;
}

}  // namespace tvk
