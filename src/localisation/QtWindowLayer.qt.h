#pragma once

#include <memory>
#include <vector>

#include "localisation/ControlTranslation.h"

class QWidget;

namespace tvk {

// The control translation's view of a Qt window. Qt classes are reported by
// the names the translation knows:
//
//   QLabel                          "Label"
//   QMenu (its title), and each
//   action of a menu ("-" for a
//   separator)                      "Menu"
//   QTabWidget, QTabBar             "TabStrip"  items: the tabs
//   QToolBar                        "Toolbar"   items: its actions
//   QTreeWidget, QTableWidget       "ListView"  items: the column headers
//   QPushButton                     "CommandButton"
//   QCheckBox, QRadioButton         "CheckBox", "OptionButton"
//   QProgressBar, QGroupBox         "ProgressBar", "Frame"
//   QTimer                          "Timer"
//   anything else                   its class name without the leading Q
//
// The string id lives where a designer can put it: the dynamic property
// "tag" of a widget, action or timer; the tab data (QTabBar::tabData) of a
// tab; the Qt::UserRole data of a header item. The caption is the window
// title, the text of a label, button or action, the title of a group box or
// menu, the text of a tab or header; other widgets have none.
//
// Background: the window system's "button face" is Qt's default background.
// A widget whose background role (Window or Button) has no colour of its own
// reports kButtonFace; one with its own colour reports it as 0x00BBGGRR.
// Writing a colour gives the widget that colour as its own background.
//
// The walk descends into plain containers (widgets, frames, group boxes,
// splitters, stacked widgets, tab pages, scroll areas, menu bars, menus), not
// into the inner parts of composite widgets. The controls are taken when the
// layer is made.
class QtWindowLayer : public WindowLayer {
  public:
    explicit QtWindowLayer(QWidget& window);
    ~QtWindowLayer() override;

    WindowControl& Window() override { return *window_; }
    size_t ControlCount() const override { return controls_.size(); }
    WindowControl& Control(size_t index) override { return *controls_.at(index); }

  private:
    std::unique_ptr<WindowControl> window_;
    std::vector<std::unique_ptr<WindowControl>> controls_;
};

}  // namespace tvk
