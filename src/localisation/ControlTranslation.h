#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tvk {

class Texts;

// What the translation reads and writes of a control, a window, or one item
// of a control's collection (a tab, a toolbar button, a column header).
// A getter gives nothing when the thing has no such property; a setter is
// only called after its getter gave something. Any call may throw: the
// translation then skips that one step.
class ControlItem {
  public:
    virtual ~ControlItem() = default;
    virtual std::optional<std::string> Caption() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual std::optional<std::string> Tag() const = 0;
    virtual std::optional<std::string> ToolTipText() const = 0;
    virtual void SetToolTipText(const std::string& text) = 0;
};

// A control of a window, known by its type name as the translation's table
// names it ("Label", "Menu", "TabStrip", "Toolbar", "SSTab", "ListView",
// "ImageList", or any other name).
class WindowControl : public ControlItem {
  public:
    virtual std::string TypeName() const = 0;
    // Colours in the window system's encoding: 0x00BBGGRR, or a system
    // colour with the high bit set (kButtonFace).
    virtual std::optional<int32_t> BackColor() const = 0;
    virtual void SetBackColor(int32_t colour) = 0;
    // The tabs, buttons or column headers; none for other controls.
    virtual size_t ItemCount() const = 0;
    virtual ControlItem& Item(size_t index) = 0;
};

// A loaded window: itself and every control on it, in the window's own order.
class WindowLayer {
  public:
    virtual ~WindowLayer() = default;
    virtual WindowControl& Window() = 0;
    virtual size_t ControlCount() const = 0;
    virtual WindowControl& Control(size_t index) = 0;
};

// The system colour "button face": the high bit marks a system colour, 15 its index.
inline constexpr int32_t kButtonFace = static_cast<int32_t>(0x8000000FU);
// The colour argument that leaves every background as it is.
inline constexpr int32_t kKeepColours = -999;

// A text that is a control's string id: a 32-bit signed whole number in
// decimal digits with an optional sign, blanks around it allowed. Fractions,
// exponents, empty texts and words are not ids.
std::optional<int32_t> ControlTextAsNumber(std::string_view text);

// Replaces the texts of the window and its controls that carry string ids by
// those strings, and gives every button-face background `colour` unless it is
// kKeepColours. Never fails: a step that cannot be done is skipped.
void TranslateControls(WindowLayer& window, int32_t colour,
                       const std::function<std::string(int32_t)>& loadString);

// The same with the window's texts.
void TranslateControls(WindowLayer& window, int32_t colour, const Texts& texts);

}  // namespace tvk
