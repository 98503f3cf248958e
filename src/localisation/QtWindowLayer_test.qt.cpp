#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include "localisation/QtWindowLayer.qt.h"
#include "localisation/StringTable.h"

namespace tvk {
namespace {

QString Text(const QLabel* label) { return label->text(); }

// A window with one control of every kind the translation knows, each with
// its string id where a designer puts it.
struct DesignedWindow {
    QDialog window;
    QLabel* label = new QLabel("Mottar data...", &window);
    QLabel* untagged = new QLabel("Aksjon", &window);
    QPushButton* button = new QPushButton("Avbryt", &window);
    QCheckBox* check = new QCheckBox("Install", &window);
    QProgressBar* bar = new QProgressBar(&window);
    QTimer* timer = new QTimer(&window);
    QGroupBox* group = new QGroupBox("Ramme", &window);
    QLabel* inGroup = new QLabel("x", group);
    QTabWidget* tabs = new QTabWidget(&window);
    QWidget* page = new QWidget;
    QLabel* onPage = new QLabel("y", page);
    QToolBar* toolbar = new QToolBar(&window);
    QAction* toolAction = toolbar->addAction("Knapp");
    QTreeWidget* tree = new QTreeWidget(&window);
    QMenuBar* menuBar = new QMenuBar(&window);
    QMenu* menu = menuBar->addMenu("209");
    QAction* entry = menu->addAction("213");
    QAction* separator = menu->addSeparator();

    DesignedWindow() {
        window.setWindowTitle("Oppdater programvare");
        window.setProperty("tag", "211");
        label->setProperty("tag", "213");
        button->setProperty("tag", "209");
        button->setToolTip("210");
        check->setProperty("tag", "210");
        bar->setProperty("tag", "212");
        timer->setProperty("tag", "212");
        group->setProperty("tag", "0");
        inGroup->setProperty("tag", "212");
        tabs->addTab(new QWidget, "Fane");
        tabs->addTab(page, "Fane 2");
        onPage->setProperty("tag", "216");
        tabs->tabBar()->setTabData(0, "202");
        tabs->setTabToolTip(1, "203");
        toolAction->setProperty("tag", "201");
        toolAction->setToolTip("209");
        tree->setColumnCount(2);
        tree->headerItem()->setData(0, Qt::UserRole, "212");
        tree->headerItem()->setText(1, "Kolonne");
    }
};

TEST(QtWindowLayer, TranslatesEveryKindOfQtControl) {
    DesignedWindow designed;
    StringTableTexts texts(2057);
    QtWindowLayer layer(designed.window);

    TranslateControls(layer, kKeepColours, texts);

    EXPECT_EQ(designed.window.windowTitle(), "Update software");
    EXPECT_EQ(Text(designed.label), "Receving data...");
    EXPECT_EQ(Text(designed.untagged), "Aksjon");
    EXPECT_EQ(designed.button->text(), "Cancel");
    EXPECT_EQ(designed.button->toolTip(), "Install after download");
    EXPECT_EQ(designed.check->text(), "Install after download");
    EXPECT_EQ(designed.group->title(), "Ramme");  // id 0 counts only for labels
    EXPECT_EQ(Text(designed.inGroup), "Estimated time left:");
    EXPECT_EQ(Text(designed.onPage), "seconds");
    EXPECT_EQ(designed.tabs->tabText(0), "Update");
    EXPECT_EQ(designed.tabs->tabText(1), "Fane 2");
    EXPECT_EQ(designed.tabs->tabToolTip(1), "Message");
    EXPECT_EQ(designed.toolAction->text(), "Install update");
    EXPECT_EQ(designed.toolAction->toolTip(), "Cancel");
    EXPECT_EQ(designed.tree->headerItem()->text(0), "Estimated time left:");
    EXPECT_EQ(designed.tree->headerItem()->text(1), "Kolonne");
    EXPECT_EQ(designed.menu->title(), "Cancel");
    EXPECT_EQ(designed.entry->text(), "Receving data...");
    EXPECT_TRUE(designed.separator->isSeparator());
}

TEST(QtWindowLayer, ReportsTheKindsByTheTranslationsNames) {
    DesignedWindow designed;
    QtWindowLayer layer(designed.window);
    std::vector<std::string> types;
    for (size_t i = 0; i < layer.ControlCount(); ++i) types.push_back(layer.Control(i).TypeName());

    std::vector<std::string> expected{
        "Label",    "Label", "CommandButton", "CheckBox", "ProgressBar", "Timer", "Frame", "Label",
        "TabStrip", "Label", "Toolbar",       "ListView", "Menu",        "Menu",  "Menu"};
    EXPECT_EQ(types, expected);
}

TEST(QtWindowLayer, OnlyDefaultBackgroundsCountAsButtonFace) {
    DesignedWindow designed;
    QPalette own = designed.untagged->palette();
    own.setColor(designed.untagged->backgroundRole(), QColor(0x11, 0x22, 0x33));
    designed.untagged->setPalette(own);
    StringTableTexts texts(1044);
    QtWindowLayer layer(designed.window);

    EXPECT_EQ(layer.Window().BackColor(), kButtonFace);
    TranslateControls(layer, kKeepColours, texts);
    EXPECT_EQ(layer.Control(0).BackColor(), kButtonFace);

    TranslateControls(layer, 0x00C0FFEE, texts);
    EXPECT_EQ(designed.window.palette().color(QPalette::Window), QColor(0xEE, 0xFF, 0xC0));
    EXPECT_EQ(designed.label->palette().color(designed.label->backgroundRole()),
              QColor(0xEE, 0xFF, 0xC0));
    EXPECT_EQ(layer.Control(1).BackColor(), 0x00332211);
    EXPECT_EQ(designed.untagged->palette().color(designed.untagged->backgroundRole()),
              QColor(0x11, 0x22, 0x33));
}

}  // namespace
}  // namespace tvk
