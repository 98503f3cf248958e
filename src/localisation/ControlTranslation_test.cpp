#include "localisation/ControlTranslation.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "localisation/StringTable.h"

namespace tvk {
namespace {

// A property a control may lack; `fails` makes every access throw, as a
// window layer may do for a property it cannot reach.
struct Property {
    std::optional<std::string> value;
    bool fails = false;
    std::optional<std::string> Get() const {
        if (fails) throw std::runtime_error("property not available");
        return value;
    }
};

struct FakeItem : ControlItem {
    Property caption, tag, tip;
    int captionWrites = 0;

    std::optional<std::string> Caption() const override { return caption.Get(); }
    void SetCaption(const std::string& text) override { caption.value = text, ++captionWrites; }
    std::optional<std::string> Tag() const override { return tag.Get(); }
    std::optional<std::string> ToolTipText() const override { return tip.Get(); }
    void SetToolTipText(const std::string& text) override { tip.value = text; }
};

struct FakeControl : WindowControl {
    std::string type;
    Property caption, tag, tip;
    std::optional<int32_t> back;
    std::vector<FakeItem> items;
    bool typeFails = false;
    int captionWrites = 0;

    explicit FakeControl(std::string typeName) : type(std::move(typeName)) {}
    std::string TypeName() const override {
        if (typeFails) throw std::runtime_error("no type");
        return type;
    }
    std::optional<std::string> Caption() const override { return caption.Get(); }
    void SetCaption(const std::string& text) override { caption.value = text, ++captionWrites; }
    std::optional<std::string> Tag() const override { return tag.Get(); }
    std::optional<std::string> ToolTipText() const override { return tip.Get(); }
    void SetToolTipText(const std::string& text) override { tip.value = text; }
    std::optional<int32_t> BackColor() const override { return back; }
    void SetBackColor(int32_t colour) override { back = colour; }
    size_t ItemCount() const override { return items.size(); }
    ControlItem& Item(size_t index) override { return items.at(index); }
};

struct FakeWindow : WindowLayer {
    FakeControl window{"Form"};
    std::vector<std::unique_ptr<FakeControl>> controls;

    FakeControl& Add(std::string type, std::optional<std::string> caption, std::string tag = "") {
        controls.push_back(std::make_unique<FakeControl>(std::move(type)));
        controls.back()->caption.value = std::move(caption);
        controls.back()->tag.value = std::move(tag);
        return *controls.back();
    }
    WindowControl& Window() override { return window; }
    size_t ControlCount() const override { return controls.size(); }
    WindowControl& Control(size_t index) override { return *controls.at(index); }
};

FakeItem MakeItem(std::optional<std::string> caption, std::optional<std::string> tag,
                  std::optional<std::string> tip = std::nullopt) {
    FakeItem item;
    item.caption.value = std::move(caption);
    item.tag.value = std::move(tag);
    item.tip.value = std::move(tip);
    return item;
}

class ControlTranslation : public ::testing::Test {
  protected:
    void Translate(int32_t colour = kKeepColours) { TranslateControls(window, colour, texts); }

    StringTableTexts texts{2057};
    FakeWindow window;
};

TEST_F(ControlTranslation, DownloadWindowTakesItsTextsFromTheTags) {
    window.window.caption.value = "Oppdater programvare";
    window.window.tag.value = "211";
    FakeControl& action = window.Add("Label", "Aksjon");
    FakeControl& cancel = window.Add("CommandButton", "Avbryt", "209");
    FakeControl& bar = window.Add("ProgressBar", std::nullopt);
    FakeControl& estimate = window.Add("Label", "0 minute(s)");
    FakeControl& time = window.Add("Label", "Estimated Time Left:  ", "212");
    FakeControl& file = window.Add("Label", "Mottar data...", "213");
    FakeControl& install = window.Add("CheckBox", "Install after download", "210");
    FakeControl& timer = window.Add("Timer", std::nullopt);

    Translate();

    EXPECT_EQ(window.window.caption.value, "Update software");
    EXPECT_EQ(action.caption.value, "Aksjon");
    EXPECT_EQ(cancel.caption.value, "Cancel");
    EXPECT_EQ(estimate.caption.value, "0 minute(s)");
    EXPECT_EQ(time.caption.value, "Estimated time left:");
    EXPECT_EQ(file.caption.value, "Receving data...");
    EXPECT_EQ(install.caption.value, "Install after download");
    EXPECT_EQ(bar.captionWrites + timer.captionWrites + action.captionWrites, 0);
}

TEST_F(ControlTranslation, IdsWithoutTextEmptyOnlyWhereAnyNumberCounts) {
    FakeControl& labelZero = window.Add("Label", "design", "0");
    FakeControl& buttonZero = window.Add("CommandButton", "OK", "0");
    FakeControl& labelEmptyId = window.Add("Label", "design", "218");
    FakeControl& buttonEmptyId = window.Add("CommandButton", "design", "218");
    FakeControl& buttonNegative = window.Add("CommandButton", "design", "-209");
    FakeControl& buttonWithoutCaption = window.Add("Frame", std::nullopt, "209");
    FakeControl& labelWord = window.Add("Label", "design", "Cancel");

    Translate();

    EXPECT_EQ(labelZero.caption.value, "");
    EXPECT_EQ(buttonZero.caption.value, "OK");
    EXPECT_EQ(labelEmptyId.caption.value, "");
    EXPECT_EQ(buttonEmptyId.caption.value, "");
    EXPECT_EQ(buttonNegative.caption.value, "design");
    EXPECT_EQ(buttonWithoutCaption.captionWrites, 0);
    EXPECT_EQ(labelWord.caption.value, "design");
}

TEST_F(ControlTranslation, MenusAndSSTabsCarryTheIdInTheirCaption) {
    FakeControl& separator = window.Add("Menu", "-");
    FakeControl& item = window.Add("Menu", " 209 ");
    FakeControl& tagged = window.Add("Menu", "Fil", "209");
    FakeControl& sstab = window.Add("SSTab", std::nullopt);
    sstab.items = {MakeItem("203", ""), MakeItem("202", ""), MakeItem("Oversikt", "209")};

    Translate();

    EXPECT_EQ(separator.caption.value, "-");
    EXPECT_EQ(item.caption.value, "Cancel");
    EXPECT_EQ(tagged.caption.value, "Fil");
    EXPECT_EQ(sstab.items[0].caption.value, " Message");
    EXPECT_EQ(sstab.items[1].caption.value, " Update");
    EXPECT_EQ(sstab.items[2].caption.value, "Oversikt");
}

TEST_F(ControlTranslation, CollectionsOfTabsButtonsAndHeaders) {
    FakeControl& tabs = window.Add("TabStrip", std::nullopt);
    tabs.items = {MakeItem("a", "202", "209"), MakeItem("b", "x", "0"), MakeItem("c", "0", "tip")};
    FakeControl& toolbar = window.Add("Toolbar", std::nullopt);
    toolbar.items = {MakeItem("a", "201", "210"), MakeItem("b", std::nullopt, std::nullopt)};
    FakeControl& list = window.Add("ListView", std::nullopt, "209");
    list.items = {MakeItem("Col", "212"), MakeItem("Col", "")};
    FakeControl& images = window.Add("ImageList", "x", "209");
    images.tip.value = "209";
    FakeControl& lowercase = window.Add("label", "design", "0");  // names compare exactly

    Translate();

    EXPECT_EQ(tabs.items[0].caption.value, "Update");
    EXPECT_EQ(tabs.items[0].tip.value, "Cancel");
    EXPECT_EQ(tabs.items[1].caption.value, "b");
    EXPECT_EQ(tabs.items[1].tip.value, "");  // any number counts for a tab's tooltip
    EXPECT_EQ(tabs.items[2].caption.value, "");
    EXPECT_EQ(tabs.items[2].tip.value, "tip");
    EXPECT_EQ(toolbar.items[0].caption.value, "Install update");
    EXPECT_EQ(toolbar.items[0].tip.value, "Install after download");
    EXPECT_EQ(toolbar.items[1].captionWrites, 0);
    EXPECT_EQ(list.items[0].caption.value, "Estimated time left:");
    EXPECT_EQ(list.items[1].caption.value, "Col");
    EXPECT_EQ(list.captionWrites, 0);
    EXPECT_EQ(images.caption.value, "x");
    EXPECT_EQ(images.tip.value, "209");
    EXPECT_EQ(lowercase.caption.value, "design");
}

TEST_F(ControlTranslation, ToolTipsOfOtherControlsNeedAnIdAboveZero) {
    FakeControl& button = window.Add("CommandButton", "x");
    button.tip.value = "209";
    FakeControl& zero = window.Add("CommandButton", "x");
    zero.tip.value = "0";

    Translate();

    EXPECT_EQ(button.tip.value, "Cancel");
    EXPECT_EQ(zero.tip.value, "0");
}

TEST_F(ControlTranslation, OnlyButtonFaceBackgroundsTakeTheColour) {
    window.window.back = kButtonFace;
    FakeControl& face = window.Add("Label", "x");
    face.back = kButtonFace;
    FakeControl& white = window.Add("Label", "x");
    white.back = 0x00FFFFFF;
    FakeControl& windowColour = window.Add("CommandButton", "x");
    windowColour.back = static_cast<int32_t>(0x80000005U);
    FakeControl& none = window.Add("Timer", std::nullopt);

    Translate(kKeepColours);
    EXPECT_EQ(window.window.back, kButtonFace);
    EXPECT_EQ(face.back, kButtonFace);

    Translate(0x00C0FFEE);
    EXPECT_EQ(window.window.back, 0x00C0FFEE);
    EXPECT_EQ(face.back, 0x00C0FFEE);
    EXPECT_EQ(white.back, 0x00FFFFFF);
    EXPECT_EQ(windowColour.back, static_cast<int32_t>(0x80000005U));
    EXPECT_FALSE(none.back);
}

TEST_F(ControlTranslation, AFailingStepIsSkippedAndTheWalkGoesOn) {
    window.window.tag.fails = true;
    window.window.back = kButtonFace;
    FakeControl& unknown = window.Add("Label", "x", "209");
    unknown.typeFails = true;
    unknown.back = kButtonFace;
    FakeControl& noTag = window.Add("CommandButton", "x");
    noTag.tag.fails = true;
    noTag.tip.value = "209";
    FakeControl& tabs = window.Add("TabStrip", std::nullopt);
    tabs.items = {MakeItem("a", "202"), MakeItem("b", "202"), MakeItem("c", "202")};
    tabs.items[0].tag.fails = true;
    tabs.items[1].tip.fails = true;
    FakeControl& lookupFails = window.Add("Label", "x", "210");
    FakeControl& last = window.Add("Label", "x", "213");

    TranslateControls(window, 0x00FF0000, [&](int32_t id) -> std::string {
        if (id == 210) throw std::runtime_error("lookup failed");
        return "#" + std::to_string(id);
    });

    EXPECT_EQ(window.window.back, 0x00FF0000);
    EXPECT_EQ(unknown.back, 0x00FF0000);  // recoloured before its type was asked for
    EXPECT_EQ(unknown.caption.value, "x");
    EXPECT_EQ(noTag.tip.value, "#209");
    EXPECT_EQ(tabs.items[0].caption.value, "a");
    EXPECT_EQ(tabs.items[1].caption.value, "#202");
    EXPECT_EQ(tabs.items[2].caption.value, "#202");
    EXPECT_EQ(lookupFails.caption.value, "x");
    EXPECT_EQ(last.caption.value, "#213");
}

TEST(ControlTextAsNumber, DecimalDigitsWithSignAndBlanksOnly) {
    EXPECT_EQ(ControlTextAsNumber("212"), 212);
    EXPECT_EQ(ControlTextAsNumber("  +7\t"), 7);
    EXPECT_EQ(ControlTextAsNumber("-3"), -3);
    EXPECT_EQ(ControlTextAsNumber("007"), 7);
    EXPECT_EQ(ControlTextAsNumber("2147483647"), 2147483647);
    EXPECT_EQ(ControlTextAsNumber("-2147483648"), INT32_MIN);
    for (const char* text : {"", "  ", "-", "abc", "12abc", "1.5", "1e2", "1 2", "- 5", "&H10",
                             "2147483648", "-2147483649", "99999999999999999999", "+-1"}) {
        EXPECT_FALSE(ControlTextAsNumber(text)) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace tvk
