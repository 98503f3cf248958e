#pragma once

#include <functional>

namespace tvk {

// A rectangle of a window's client area: left, top, width, height. Whether the
// numbers are twips or pixels is said where it is used.
struct LayoutRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    int Bottom() const { return top + height; }
    bool operator==(const LayoutRect&) const = default;
};

// Twips to pixels: 1440 twips are one inch, so 15 twips are one pixel at 96
// dots per inch. Rounded to the nearest pixel.
int TwipsToPixels(int twips, double dotsPerInch);
LayoutRect TwipsToPixels(const LayoutRect& twips, double dotsPerInch);
// Pixels to twips, rounded up, so that the twips give back at least as many
// pixels.
int PixelsToTwips(int pixels, double dotsPerInch);

// What the texts of the run's language need, in twips, as the window
// measures them with the fonts at hand. Zero, or no function: the designed
// size is enough.
struct MessageWindowTexts {
    int titleHeight = 0;
    int installButtonWidth = 0;                   // the button's text with its margins
    std::function<int(int width)> headingHeight;  // the heading wrapped into `width`
    int serverNoteHeight = 0;                     // the note in its designed width
};

// Where the message window's controls lie and which of them show, in twips,
// after the steps of loading the window.
//
// "Outer height" is the height of the window with its caption and borders, as
// the layout rules are written in it. Here it is always the client height plus
// kFrameHeight, the caption and borders of the designed fixed dialog, never the
// frame a window manager happens to draw: that frame is unknown until the
// window is on screen, differs between desktops and is zero offscreen, and the
// window must be sized before it shows.
struct MessageWindowLayout {
    static constexpr int kClientWidth = 10500;
    static constexpr int kDesignClientHeight = 9015;
    static constexpr int kFrameHeight = 360;  // 24 px at 96 dpi
    static constexpr int kDesignOuterHeight = kDesignClientHeight + kFrameHeight;

    // Space kept below the browser, counted from the outer bottom edge.
    static constexpr int kBrowserBottomGap = 600;
    // Without a page the window is cut to end this far below the browser's top.
    static constexpr int kShrinkExtra = 200;

    int outerHeight = kDesignOuterHeight;

    LayoutRect banner{0, 0, 10500, 1065};             // imLogo
    LayoutRect title{240, 210, 6015, 615};            // lblTittel
    LayoutRect heading{225, 1125, 7935, 615};         // lblTittel2
    LayoutRect installButton{8265, 1200, 1935, 375};  // cmdInstaller
    LayoutRect serverNote{240, 1440, 9735, 345};      // lblInstallerPaaServer
    LayoutRect browser{120, 1800, 10260, 7095};       // WebBrowser1

    bool titleVisible = true;
    bool installButtonVisible = true;
    bool serverNoteVisible = true;
    bool browserVisible = true;

    int ClientHeight() const { return outerHeight - kFrameHeight; }
    LayoutRect Client() const { return {0, 0, kClientWidth, ClientHeight()}; }

    // The layout as designed, before loading moves anything.
    static MessageWindowLayout Designed() { return {}; }

    // The layout after loading: `softwareUpdate` picks the update or the
    // no-update variant, `mainInstallation` the button or the note (update
    // variant only), `hasPage` whether the window has an address to show.
    //
    // Texts that need more room than designed get it and stay whole: a label
    // grows downwards, the button to the left; the heading wraps into the
    // room beside the button, and the note and the page move down below it.
    static MessageWindowLayout Loaded(bool softwareUpdate, bool mainInstallation, bool hasPage,
                                      const MessageWindowTexts& texts = {});
};

}  // namespace tvk
