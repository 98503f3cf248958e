#include "notify/frmMelding.qt.h"

#include <QApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "notify/MessageWindowLayout.h"
#include "notify/PageView.qt.h"
#include "platform/QtApplication.qt.h"
#include "platform/QtWindows.qt.h"

namespace tvk {

namespace {

constexpr int kTitleStringId = 100;
constexpr int kInstallStringId = 201;
constexpr int kUpdateStringId = 202;
constexpr int kServerNoteStringId = 204;
constexpr int kNoUpdateStringId = 224;
constexpr int kFocusDelayMs = 100;

const QColor kBackground(249, 250, 253);
const QColor kHeadingColour(64, 64, 64);
const QColor kNoteColour(255, 0, 0);

QFont ArialFont(double points, bool italic = false) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setItalic(italic);
    return font;
}

QLabel* NewLabel(QWidget* parent, const char* name, const QFont& font, const QColor* colour) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    // Labels draw their text straight over whatever lies beneath (the banner).
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The heading carries the descriptor's product text: markup in it is
    // shown as written, never drawn or followed.
    label->setTextFormat(Qt::PlainText);
    if (colour != nullptr) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, *colour);
        label->setPalette(palette);
    }
    return label;
}

void Place(QWidget* widget, const LayoutRect& twips, double dpi) {
    LayoutRect pixels = TwipsToPixels(twips, dpi);
    widget->setGeometry(pixels.left, pixels.top, pixels.width, pixels.height);
}

}  // namespace

frmMelding::frmMelding(const Texts& texts, QWidget* parent)
    : QDialog(parent,
              // A window of its own (taskbar entry), fixed, with a close box only.
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                  Qt::MSWindowsFixedSizeDialogHint),
      texts_(texts) {
    setObjectName(QStringLiteral("frmMelding"));
    setWindowIcon(QIcon(QStringLiteral(":/tvk/icon.png")));
    setSizeGripEnabled(false);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kBackground);
    setPalette(palette);
    setAutoFillBackground(true);

    // Created first so that it lies beneath the labels drawn over it.
    imLogo_ = new QLabel(this);
    imLogo_->setObjectName(QStringLiteral("imLogo"));
    imLogo_->setPixmap(QPixmap(QStringLiteral(":/tvk/banner.png")));
    imLogo_->setScaledContents(true);

    lblTittel_ = NewLabel(this, "lblTittel", ArialFont(26.25), nullptr);
    cmdInstaller_ = new QPushButton(this);
    cmdInstaller_->setObjectName(QStringLiteral("cmdInstaller"));
    // Enter must not install by accident while the user reads the page.
    cmdInstaller_->setAutoDefault(false);
    lblInstallerPaaServer_ =
        NewLabel(this, "lblInstallerPaaServer", ArialFont(9, true), &kNoteColour);
    lblInstallerPaaServer_->setWordWrap(true);
    lblTittel2_ = NewLabel(this, "lblTittel2", ArialFont(11.25), &kHeadingColour);
    lblTittel2_->setWordWrap(true);

    timFocus_ = new QTimer(this);
    timFocus_->setObjectName(QStringLiteral("timFocus"));
    timFocus_->setInterval(kFocusDelayMs);
    timFocus_->setSingleShot(true);  // it runs once per load

    connect(cmdInstaller_, &QPushButton::clicked, this, &frmMelding::Install);
    connect(timFocus_, &QTimer::timeout, this, &frmMelding::BringToFront);
    qApp->installEventFilter(this);
}

frmMelding::~frmMelding() { qApp->removeEventFilter(this); }

void frmMelding::setVisible(bool visible) {
    if (visible && !isVisible()) Load();
    QDialog::setVisible(visible);
}

void frmMelding::Load() {
    installer_ = false;
    setWindowTitle(QString::fromStdString(texts_.Text(kTitleStringId)));
    cmdInstaller_->setText(QString::fromStdString(texts_.Text(kInstallStringId)));
    lblInstallerPaaServer_->setText(QString::fromStdString(texts_.Text(kServerNoteStringId)));
    if (softwareUpdate_) {
        lblTittel_->setText(QString::fromStdString(texts_.Text(kUpdateStringId)));
        lblTittel2_->setText(QString::fromStdString(melding_));
    } else {
        lblTittel2_->setText(QString::fromStdString(texts_.Text(kNoUpdateStringId)));
    }

    bool hasPage = !url_.empty();
    ApplyLayout(
        MessageWindowLayout::Loaded(softwareUpdate_, hovedinstallasjon_, hasPage, MeasureTexts()));
    if (hasPage) PreparePageWindow(this);
    CentreOnScreen();
    timFocus_->start();
    // The browser engine takes a while to start; the window shows its texts
    // and the install button first, and the page follows in its place.
    if (hasPage) QTimer::singleShot(0, this, &frmMelding::LoadPage);
}

void frmMelding::LoadPage() {
    if (WebBrowser1_ == nullptr) {
        CreateBrowser();
        Place(WebBrowser1_, pageArea_, DotsPerInch());
        WebBrowser1_->show();
    }
    // The maker's pages expect the language as "?lang=" after the address
    // from the settings, which carries no query of its own.
    std::string address = url_ + "?lang=" + std::to_string(texts_.LanguageId());
    ShowPage(WebBrowser1_, QUrl::fromUserInput(QString::fromStdString(url_)),
             QUrl::fromUserInput(QString::fromStdString(address)));
}

void frmMelding::ApplyLayout(const MessageWindowLayout& layout) {
    double dpi = DotsPerInch();
    Place(imLogo_, layout.banner, dpi);
    Place(lblTittel_, layout.title, dpi);
    Place(lblTittel2_, layout.heading, dpi);
    Place(cmdInstaller_, layout.installButton, dpi);
    Place(lblInstallerPaaServer_, layout.serverNote, dpi);
    lblTittel_->setVisible(layout.titleVisible);
    cmdInstaller_->setVisible(layout.installButtonVisible);
    lblInstallerPaaServer_->setVisible(layout.serverNoteVisible);

    pageArea_ = layout.browser;
    if (WebBrowser1_ != nullptr) {
        Place(WebBrowser1_, layout.browser, dpi);
        WebBrowser1_->setVisible(layout.browserVisible);
    }
    LayoutRect client = TwipsToPixels(layout.Client(), dpi);
    setFixedSize(client.width, client.height);
}

// The design's sizes fit its fonts on its platform; the fonts at hand and
// the longer translations may need more, which the layout then gives them.
MessageWindowTexts frmMelding::MeasureTexts() const {
    double dpi = DotsPerInch();
    MessageWindowTexts texts;
    texts.titleHeight = PixelsToTwips(lblTittel_->fontMetrics().height(), dpi);
    texts.installButtonWidth = PixelsToTwips(cmdInstaller_->sizeHint().width(), dpi);
    texts.headingHeight = [this, dpi](int width) {
        return PixelsToTwips(lblTittel2_->heightForWidth(TwipsToPixels(width, dpi)), dpi);
    };
    int noteWidth = TwipsToPixels(MessageWindowLayout::Designed().serverNote.width, dpi);
    texts.serverNoteHeight = PixelsToTwips(lblInstallerPaaServer_->heightForWidth(noteWidth), dpi);
    return texts;
}

void frmMelding::CreateBrowser() {
    WebBrowser1_ = NewPageView(this);
    WebBrowser1_->setObjectName(QStringLiteral("WebBrowser1"));
    // Tab order of the design: the page before the button.
    QWidget::setTabOrder(WebBrowser1_, cmdInstaller_);
}

void frmMelding::CentreOnScreen() {
    QScreen* screen = this->screen();
    if (screen == nullptr) return;
    QRect area = screen->availableGeometry();
    // The whole window is centred, its frame too: on Windows a window's
    // position is its frame's, which a native window knows once it exists
    // (an X window manager gives its frame only later).
    create();
    QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
    QSize outer = size().grownBy(frame);
    move(area.center() - QPoint(outer.width() / 2, outer.height() / 2));
}

double frmMelding::DotsPerInch() const {
    QScreen* screen = this->screen();
    return screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
}

void frmMelding::BringToFront() {
    // The window usually opens from a background run with nothing else on
    // screen; a desktop that refuses to activate it simply leaves it behind.
    raise();
    activateWindow();
    showNormal();
}

void frmMelding::Install() {
    installer_ = true;
    accept();
}

bool frmMelding::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this) return false;
    if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape) return false;
    // Only the no-update notice may be waved away; the update notice needs a
    // deliberate choice (the button or the close box).
    if (!softwareUpdate_) reject();
    return true;
}

bool ShowMessageWindowQt(const Texts& texts, const MessageWindowRequest& request) {
    EnsureApplication();
    frmMelding window(texts);
    window.setSoftwareUpdate(request.SoftwareUpdate);
    window.setHovedinstallasjon(request.Hovedinstallasjon);
    window.setDato(request.Dato);
    window.setMelding(request.Melding);
    window.setDetaljer(request.Detaljer);
    window.setURL(request.URL);
    window.setUpdateBuild(request.UpdateBuild);
    window.exec();
    return window.Installer();
}

}  // namespace tvk
