#include "localisation/ControlTranslation.h"

#include <charconv>
#include <exception>

#include "common/AsciiText.h"
#include "platform/Dialogs.h"

namespace tvk {

namespace {

using LoadString = std::function<std::string(int32_t)>;

// Every step of the walk stands on its own: whatever goes wrong in one (a
// control without the property, a window layer that refuses, a failed
// lookup) must not keep the others from being done.
template <class Step>
void Try(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

// text := string (text), when the text is an id.
void TranslateCaptionFromTag(ControlItem& item, const LoadString& load) {
    Try([&] {
        std::optional<std::string> tag = item.Tag();
        if (!tag) return;
        if (auto id = ControlTextAsNumber(*tag)) item.SetCaption(load(*id));
    });
}

void TranslateCaptionFromCaption(ControlItem& item, const LoadString& load,
                                 const std::string& prefix) {
    Try([&] {
        std::optional<std::string> caption = item.Caption();
        if (!caption) return;
        if (auto id = ControlTextAsNumber(*caption)) item.SetCaption(prefix + load(*id));
    });
}

void TranslateToolTip(ControlItem& item, const LoadString& load, bool positiveOnly) {
    Try([&] {
        std::optional<std::string> tip = item.ToolTipText();
        if (!tip) return;
        auto id = ControlTextAsNumber(*tip);
        if (id && (!positiveOnly || *id > 0)) item.SetToolTipText(load(*id));
    });
}

void Recolour(WindowControl& control, int32_t colour) {
    if (colour == kKeepColours) return;
    Try([&] {
        if (control.BackColor() == kButtonFace) control.SetBackColor(colour);
    });
}

void ForEachItem(WindowControl& control, const std::function<void(ControlItem&)>& step) {
    size_t count = 0;
    Try([&] { count = control.ItemCount(); });
    for (size_t i = 0; i < count; ++i) {
        Try([&] { step(control.Item(i)); });
    }
}

// Controls of a kind not in the table: only ids above 0 count, and only a
// control that has a caption gets one.
void TranslateOtherControl(WindowControl& control, const LoadString& load) {
    Try([&] {
        std::optional<std::string> tag = control.Tag();
        if (!tag) return;
        auto id = ControlTextAsNumber(*tag);
        if (id && *id > 0 && control.Caption()) control.SetCaption(load(*id));
    });
    TranslateToolTip(control, load, true);
}

void TranslateControl(WindowControl& control, const LoadString& load) {
    std::string type = control.TypeName();
    if (type == "Label") {
        TranslateCaptionFromTag(control, load);
    } else if (type == "Menu") {
        TranslateCaptionFromCaption(control, load, "");
    } else if (type == "TabStrip" || type == "Toolbar") {
        ForEachItem(control, [&](ControlItem& item) {
            TranslateCaptionFromTag(item, load);
            TranslateToolTip(item, load, false);
        });
    } else if (type == "SSTab") {
        ForEachItem(control,
                    [&](ControlItem& tab) { TranslateCaptionFromCaption(tab, load, " "); });
    } else if (type == "ListView") {
        ForEachItem(control, [&](ControlItem& header) { TranslateCaptionFromTag(header, load); });
    } else if (type != "ImageList") {
        TranslateOtherControl(control, load);
    }
}

}  // namespace

std::optional<int32_t> ControlTextAsNumber(std::string_view text) {
    text = TrimAscii(text, kAsciiBlanks);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    // Parsed with the sign so that -2147483648 fits and 2147483648 does not.
    std::string digits = (negative ? "-" : "") + std::string(text);
    int32_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

void TranslateControls(WindowLayer& window, int32_t colour, const LoadString& loadString) {
    Try([&] { TranslateCaptionFromTag(window.Window(), loadString); });
    Try([&] { Recolour(window.Window(), colour); });

    size_t count = 0;
    Try([&] { count = window.ControlCount(); });
    for (size_t i = 0; i < count; ++i) {
        Try([&] {
            WindowControl& control = window.Control(i);
            Recolour(control, colour);
            TranslateControl(control, loadString);
        });
    }
}

void TranslateControls(WindowLayer& window, int32_t colour, const Texts& texts) {
    TranslateControls(window, colour, [&texts](int32_t id) { return texts.Text(id); });
}

}  // namespace tvk
