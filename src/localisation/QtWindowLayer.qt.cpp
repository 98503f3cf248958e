#include "localisation/QtWindowLayer.qt.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <stdexcept>

namespace tvk {

namespace {

using Text = std::optional<std::string>;

Text TagOf(const QObject& object) {
    QVariant tag = object.property("tag");
    return tag.isValid() ? tag.toString().toStdString() : std::string();
}

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

// A tab of a tab bar.
class TabItem : public ControlItem {
  public:
    TabItem(QTabBar& bar, int index) : bar_(bar), index_(index) {}
    Text Caption() const override { return bar_.tabText(index_).toStdString(); }
    void SetCaption(const std::string& text) override { bar_.setTabText(index_, ToQt(text)); }
    Text Tag() const override { return bar_.tabData(index_).toString().toStdString(); }
    Text ToolTipText() const override { return bar_.tabToolTip(index_).toStdString(); }
    void SetToolTipText(const std::string& text) override {
        bar_.setTabToolTip(index_, ToQt(text));
    }

  private:
    QTabBar& bar_;
    int index_;
};

// A button of a tool bar.
class ActionItem : public ControlItem {
  public:
    explicit ActionItem(QAction& action) : action_(action) {}
    Text Caption() const override { return action_.text().toStdString(); }
    void SetCaption(const std::string& text) override { action_.setText(ToQt(text)); }
    Text Tag() const override { return TagOf(action_); }
    Text ToolTipText() const override { return action_.toolTip().toStdString(); }
    void SetToolTipText(const std::string& text) override { action_.setToolTip(ToQt(text)); }

  private:
    QAction& action_;
};

// A column header of a tree or table; it has no tooltip of its own here.
class HeaderItem : public ControlItem {
  public:
    HeaderItem(std::function<QTableWidgetItem*()> table, QTreeWidgetItem* tree, int column)
        : table_(std::move(table)), tree_(tree), column_(column) {}
    Text Caption() const override {
        if (tree_ != nullptr) return tree_->text(column_).toStdString();
        if (QTableWidgetItem* item = table_()) return item->text().toStdString();
        return std::nullopt;
    }
    void SetCaption(const std::string& text) override {
        if (tree_ != nullptr)
            tree_->setText(column_, ToQt(text));
        else if (QTableWidgetItem* item = table_())
            item->setText(ToQt(text));
    }
    Text Tag() const override {
        if (tree_ != nullptr) return tree_->data(column_, Qt::UserRole).toString().toStdString();
        if (QTableWidgetItem* item = table_())
            return item->data(Qt::UserRole).toString().toStdString();
        return std::nullopt;
    }
    Text ToolTipText() const override { return std::nullopt; }
    void SetToolTipText(const std::string&) override { throw std::logic_error("no tooltip"); }

  private:
    std::function<QTableWidgetItem*()> table_;
    QTreeWidgetItem* tree_;
    int column_;
};

// What every control without a collection or a background shares.
class PlainControl : public WindowControl {
  public:
    std::optional<int32_t> BackColor() const override { return std::nullopt; }
    void SetBackColor(int32_t) override { throw std::logic_error("no background"); }
    size_t ItemCount() const override { return 0; }
    ControlItem& Item(size_t) override { throw std::out_of_range("no items"); }
};

class TimerControl : public PlainControl {
  public:
    explicit TimerControl(QTimer& timer) : timer_(timer) {}
    std::string TypeName() const override { return "Timer"; }
    Text Caption() const override { return std::nullopt; }
    void SetCaption(const std::string&) override { throw std::logic_error("no caption"); }
    Text Tag() const override { return TagOf(timer_); }
    Text ToolTipText() const override { return std::nullopt; }
    void SetToolTipText(const std::string&) override { throw std::logic_error("no tooltip"); }

  private:
    QTimer& timer_;
};

// One entry of a menu.
class MenuActionControl : public PlainControl {
  public:
    explicit MenuActionControl(QAction& action) : action_(action) {}
    std::string TypeName() const override { return "Menu"; }
    Text Caption() const override {
        return action_.isSeparator() ? std::string("-") : action_.text().toStdString();
    }
    void SetCaption(const std::string& text) override { action_.setText(ToQt(text)); }
    Text Tag() const override { return TagOf(action_); }
    Text ToolTipText() const override { return action_.toolTip().toStdString(); }
    void SetToolTipText(const std::string& text) override { action_.setToolTip(ToQt(text)); }

  private:
    QAction& action_;
};

std::string TypeNameOf(const QWidget& widget) {
    if (qobject_cast<const QLabel*>(&widget)) return "Label";
    if (qobject_cast<const QMenu*>(&widget)) return "Menu";
    if (qobject_cast<const QTabWidget*>(&widget) || qobject_cast<const QTabBar*>(&widget))
        return "TabStrip";
    if (qobject_cast<const QToolBar*>(&widget)) return "Toolbar";
    if (qobject_cast<const QTreeWidget*>(&widget) || qobject_cast<const QTableWidget*>(&widget))
        return "ListView";
    if (qobject_cast<const QPushButton*>(&widget)) return "CommandButton";
    if (qobject_cast<const QCheckBox*>(&widget)) return "CheckBox";
    if (qobject_cast<const QRadioButton*>(&widget)) return "OptionButton";
    if (qobject_cast<const QProgressBar*>(&widget)) return "ProgressBar";
    if (qobject_cast<const QGroupBox*>(&widget)) return "Frame";
    QString name = QString::fromLatin1(widget.metaObject()->className());
    if (name.startsWith('Q')) name.remove(0, 1);
    return name.toStdString();
}

class WidgetControl : public WindowControl {
  public:
    WidgetControl(QWidget& widget, bool isWindow)
        : widget_(widget), type_(isWindow ? "Form" : TypeNameOf(widget)), isWindow_(isWindow) {
        AddItems();
    }

    std::string TypeName() const override { return type_; }

    Text Caption() const override {
        if (isWindow_) return widget_.windowTitle().toStdString();
        if (auto* label = qobject_cast<QLabel*>(&widget_)) return label->text().toStdString();
        if (auto* button = qobject_cast<QAbstractButton*>(&widget_))
            return button->text().toStdString();
        if (auto* group = qobject_cast<QGroupBox*>(&widget_)) return group->title().toStdString();
        if (auto* menu = qobject_cast<QMenu*>(&widget_)) return menu->title().toStdString();
        return std::nullopt;
    }

    void SetCaption(const std::string& text) override {
        QString caption = ToQt(text);
        if (isWindow_)
            widget_.setWindowTitle(caption);
        else if (auto* label = qobject_cast<QLabel*>(&widget_))
            label->setText(caption);
        else if (auto* button = qobject_cast<QAbstractButton*>(&widget_))
            button->setText(caption);
        else if (auto* group = qobject_cast<QGroupBox*>(&widget_))
            group->setTitle(caption);
        else if (auto* menu = qobject_cast<QMenu*>(&widget_))
            menu->setTitle(caption);
        else
            throw std::logic_error("no caption");
    }

    Text Tag() const override { return TagOf(widget_); }
    Text ToolTipText() const override { return widget_.toolTip().toStdString(); }
    void SetToolTipText(const std::string& text) override { widget_.setToolTip(ToQt(text)); }

    std::optional<int32_t> BackColor() const override {
        QPalette::ColorRole role = widget_.backgroundRole();
        const QPalette& palette = widget_.palette();
        if (!palette.isBrushSet(QPalette::Active, role)) {
            if (role == QPalette::Window || role == QPalette::Button) return kButtonFace;
        }
        QColor colour = palette.color(role);
        return static_cast<int32_t>(colour.red() | colour.green() << 8 | colour.blue() << 16);
    }

    void SetBackColor(int32_t colour) override {
        // System colours other than button face have no counterpart here.
        if (colour < 0) throw std::invalid_argument("system colour");
        QPalette palette = widget_.palette();
        palette.setColor(widget_.backgroundRole(),
                         QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
        widget_.setPalette(palette);
        widget_.setAutoFillBackground(true);
    }

    size_t ItemCount() const override { return items_.size(); }
    ControlItem& Item(size_t index) override { return *items_.at(index); }

  private:
    void AddItems() {
        if (isWindow_) return;
        QTabBar* bar = qobject_cast<QTabBar*>(&widget_);
        if (auto* tabs = qobject_cast<QTabWidget*>(&widget_)) bar = tabs->tabBar();
        if (bar != nullptr) {
            for (int i = 0; i < bar->count(); ++i)
                items_.push_back(std::make_unique<TabItem>(*bar, i));
        } else if (auto* toolbar = qobject_cast<QToolBar*>(&widget_)) {
            for (QAction* action : toolbar->actions())
                items_.push_back(std::make_unique<ActionItem>(*action));
        } else if (auto* tree = qobject_cast<QTreeWidget*>(&widget_)) {
            for (int i = 0; i < tree->columnCount(); ++i)
                items_.push_back(std::make_unique<HeaderItem>(nullptr, tree->headerItem(), i));
        } else if (auto* table = qobject_cast<QTableWidget*>(&widget_)) {
            for (int i = 0; i < table->columnCount(); ++i)
                items_.push_back(std::make_unique<HeaderItem>(
                    [table, i] { return table->horizontalHeaderItem(i); }, nullptr, i));
        }
    }

    QWidget& widget_;
    std::string type_;
    bool isWindow_;
    std::vector<std::unique_ptr<ControlItem>> items_;
};

bool IsContainer(const QWidget& widget) {
    const char* name = widget.metaObject()->className();
    return qstrcmp(name, "QWidget") == 0 || qstrcmp(name, "QFrame") == 0 ||
           qobject_cast<const QGroupBox*>(&widget) || qobject_cast<const QSplitter*>(&widget) ||
           qobject_cast<const QStackedWidget*>(&widget) || qobject_cast<const QMenuBar*>(&widget) ||
           qobject_cast<const QMenu*>(&widget);
}

void Walk(QObject& parent, std::vector<std::unique_ptr<WindowControl>>& controls);

void AddWidget(QWidget& widget, std::vector<std::unique_ptr<WindowControl>>& controls) {
    // Qt names the inner parts of its composite widgets "qt_..."; they are
    // not controls of the window.
    if (widget.objectName().startsWith(QLatin1String("qt_"))) return;
    if (widget.isWindow() && !qobject_cast<QMenu*>(&widget)) return;  // another window
    if (!qobject_cast<QMenuBar*>(&widget))
        controls.push_back(std::make_unique<WidgetControl>(widget, false));
    if (auto* menu = qobject_cast<QMenu*>(&widget)) {
        for (QAction* action : menu->actions()) {
            if (action->menu() == nullptr)
                controls.push_back(std::make_unique<MenuActionControl>(*action));
        }
    }
    if (auto* tabs = qobject_cast<QTabWidget*>(&widget)) {
        for (int i = 0; i < tabs->count(); ++i) {
            if (QWidget* page = tabs->widget(i)) Walk(*page, controls);
        }
    } else if (auto* scroll = qobject_cast<QScrollArea*>(&widget)) {
        if (QWidget* inner = scroll->widget()) Walk(*inner, controls);
    } else if (IsContainer(widget)) {
        Walk(widget, controls);
    }
}

void Walk(QObject& parent, std::vector<std::unique_ptr<WindowControl>>& controls) {
    for (QObject* child : parent.children()) {
        if (auto* timer = qobject_cast<QTimer*>(child)) {
            controls.push_back(std::make_unique<TimerControl>(*timer));
        } else if (auto* widget = qobject_cast<QWidget*>(child)) {
            AddWidget(*widget, controls);
        }
    }
}

}  // namespace

QtWindowLayer::QtWindowLayer(QWidget& window)
    : window_(std::make_unique<WidgetControl>(window, true)) {
    Walk(window, controls_);
}

QtWindowLayer::~QtWindowLayer() = default;

}  // namespace tvk
