#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "common/DateTime.h"
#include "notify/MessageWindowLayout.h"
#include "platform/Dialogs.h"

class QLabel;
class QPushButton;
class QTimer;

namespace tvk {

struct MessageWindowTexts;

// The message window: the notice of a new release (or of none) with the
// maker's information page, and on the main installation the install button.
// The caller sets the properties, shows the window modally and reads
// Installer after it has closed. Everything that depends on the properties is
// laid out when the window is shown, so they may be set in any order.
//
// The controls carry their designed names as object names (lblTittel,
// lblTittel2, cmdInstaller, lblInstallerPaaServer, imLogo, WebBrowser1,
// timFocus).
class frmMelding : public QDialog {
    Q_OBJECT

  public:
    explicit frmMelding(const Texts& texts, QWidget* parent = nullptr);
    ~frmMelding() override;

    void setSoftwareUpdate(bool value) { softwareUpdate_ = value; }
    void setHovedinstallasjon(bool value) { hovedinstallasjon_ = value; }
    void setDato(const DateTime& value) { dato_ = value; }
    void setMelding(const std::string& value) { melding_ = value; }
    void setDetaljer(const std::string& value) { detaljer_ = value; }
    void setURL(const std::string& value) { url_ = value; }
    void setUpdateBuild(int32_t value) { updateBuild_ = value; }

    // True when the user pressed the install button; false after every load.
    bool Installer() const { return installer_; }

    // Loading runs here, before the window becomes visible.
    void setVisible(bool visible) override;

  protected:
    // Key preview: Escape is seen here before any control, the page included.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Load();
    MessageWindowTexts MeasureTexts() const;
    void ApplyLayout(const MessageWindowLayout& layout);
    void CreateBrowser();
    void LoadPage();
    void CentreOnScreen();
    void BringToFront();
    void Install();
    double DotsPerInch() const;

    const Texts& texts_;

    bool installer_ = false;
    bool softwareUpdate_ = false;
    bool hovedinstallasjon_ = false;
    DateTime dato_;  // kept for the caller; the window does not show it
    std::string melding_;
    std::string detaljer_;  // kept for the caller; the window does not show it
    std::string url_;
    int32_t updateBuild_ = 0;  // kept for the caller; the window does not show it

    QLabel* imLogo_ = nullptr;
    QLabel* lblTittel_ = nullptr;
    QLabel* lblTittel2_ = nullptr;
    QPushButton* cmdInstaller_ = nullptr;
    QLabel* lblInstallerPaaServer_ = nullptr;
    QWidget* WebBrowser1_ = nullptr;  // created only when there is a page to show
    LayoutRect pageArea_;             // where the page goes, in twips
    QTimer* timFocus_ = nullptr;
};

}  // namespace tvk
