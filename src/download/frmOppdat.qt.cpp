#include "download/frmOppdat.qt.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/NumberRules.h"
#include "common/ServiceError.h"
#include "download/DownloadEstimate.h"
#include "localisation/ControlTranslation.h"
#include "localisation/QtWindowLayer.qt.h"
#include "notify/MessageText.h"
#include "platform/Platform.h"
#include "platform/QtWindows.qt.h"

namespace tvk {

namespace {

constexpr int kStartDelayMs = 200;

std::string DescriptionOf(const std::exception& fault) {
    if (auto* error = dynamic_cast<const ServiceError*>(&fault)) return error->Description();
    return fault.what();
}

bool IsProtocolChatter(const std::string& text) {
    return text.starts_with("PUT") || text.starts_with("GET") || text.starts_with("HTTPGET");
}

// Undoes any busy pointer the update run may have set.
void RestoreMousePointer() {
    while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
}

}  // namespace

frmOppdat::frmOppdat(TransferComponent& transfer, const Texts& texts, Seams seams, QWidget* parent)
    : QDialog(parent), transfer_(transfer), texts_(texts), seams_(std::move(seams)) {
    if (!seams_.now) seams_.now = [] { return std::chrono::steady_clock::now(); };
    if (!seams_.ask) {
        seams_.ask = [this](const MessageBoxRequest& request) {
            return ShowMessageBoxQt(request, this);
        };
    }

    CreateControls();
    QtWindowLayer layer(*this);
    TranslateControls(layer, kKeepColours, texts_);
    FitTranslatedLabels();
    ok_ = false;
    chkInstall->setChecked(true);
    installer_ = true;
    Update(false);
    transfer_.Asynchronous(true);
    transfer_.SetEvents(this, &dispatcher_);
    startSecond_ = RoundHalfEven(SecondsNow());
    timStart->start();
}

frmOppdat::~frmOppdat() {
    // The component may outlive the window; it must not report to it any more.
    transfer_.SetEvents(nullptr, nullptr);
}

void frmOppdat::CreateControls() {
    setObjectName("frmOppdat");
    setWindowTitle("Oppdater programvare");
    setProperty("tag", "211");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // The layout was drawn for a small dialog font; at the desktop's usual
    // size the texts would not fit their places.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    auto twipsX = [this](int twips) { return qRound(twips * logicalDpiX() / 1440.0); };
    auto twipsY = [this](int twips) { return qRound(twips * logicalDpiY() / 1440.0); };
    auto place = [&](QWidget* control, const char* name, const char* tag, int left, int top,
                     int width, int height) {
        control->setObjectName(name);
        if (tag != nullptr) control->setProperty("tag", tag);
        control->setGeometry(twipsX(left), twipsY(top), twipsX(width), twipsY(height));
    };

    // Created in tab order; the bar is created after the action label so that
    // it lies over it.
    lblAksjon = new QLabel("Aksjon", this);
    place(lblAksjon, "lblAksjon", nullptr, 120, 360, 4935, 255);
    cmdCancel = new QPushButton("Avbryt", this);
    place(cmdCancel, "cmdCancel", "209", 3930, 660, 1065, 345);
    ProgressBar1 = new QProgressBar(this);
    place(ProgressBar1, "ProgressBar1", nullptr, 120, 330, 4920, 255);
    ProgressBar1->setTextVisible(false);
    lblEstimate = new QLabel("0 minute(s)", this);
    place(lblEstimate, "lblEstimate", nullptr, 1920, 660, 1680, 240);
    lblTime = new QLabel("Estimated Time Left:  ", this);
    place(lblTime, "lblTime", "212", 120, 660, 1770, 195);
    lblFile = new QLabel("Mottar data...", this);
    place(lblFile, "lblFile", "213", 120, 105, 945, 195);
    chkInstall = new QCheckBox("Install after download", this);
    place(chkInstall, "chkInstall", "210", 120, 1080, 4455, 255);
    setFixedSize(twipsX(5160), twipsY(1455));
    // Status messages carry the server's own words (reason phrases, names):
    // plain text, whatever they look like.
    for (QLabel* label : {lblAksjon, lblEstimate, lblTime, lblFile})
        label->setTextFormat(Qt::PlainText);

    timStart = new QTimer(this);
    timStart->setObjectName("timStart");
    timStart->setSingleShot(true);
    timStart->setInterval(kStartDelayMs);

    connect(timStart, &QTimer::timeout, this, &frmOppdat::Start);
    // The next progress report answers the cancel too, but on a stalled line
    // none may come; the transfer is told at once.
    connect(cmdCancel, &QPushButton::clicked, this, [this] {
        cancelRequested_ = true;
        cmdCancel->setEnabled(false);
        if (started_) transfer_.Cancel();
    });
    connect(chkInstall, &QCheckBox::toggled, this, [this](bool ticked) { installer_ = ticked; });
}

// The two labels with a text id take the width of their text in the run's
// language; the estimate beside them starts after the longer of the two
// and may use the room up to the cancel button.
void frmOppdat::FitTranslatedLabels() {
    int gap = qRound(60 * logicalDpiX() / 1440.0);
    for (QLabel* label : {lblFile, lblTime}) {
        label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
    }
    int left = std::max(lblEstimate->x(), lblTime->geometry().right() + gap);
    int right = cmdCancel->x() - gap;
    lblEstimate->setGeometry(left, lblEstimate->y(), std::max(right - left, 0),
                             lblEstimate->height());
}

void frmOppdat::Update(bool show) {
    for (QWidget* control :
         {static_cast<QWidget*>(lblFile), static_cast<QWidget*>(lblTime),
          static_cast<QWidget*>(lblEstimate), static_cast<QWidget*>(ProgressBar1)}) {
        control->setVisible(show);
    }
    ProgressBar1->setValue(0);
    if (show) lblEstimate->clear();
}

void frmOppdat::Start() {
    finished_ = false;
    started_ = true;
    try {
        transfer_.SetDownloadCheck(check_);
        transfer_.GetFileHTTP(urlHost_ + "/" + hostExe_, localPath_, localExe_);
    } catch (const ServiceError& fault) {
        // A download that cannot even begin ends like one that failed, so
        // that the run goes on without a setup instead of waiting forever.
        Fail(fault);
    } catch (const std::exception& fault) {
        Fail(ServiceError(-1, fault.what()));
    }
    timStart->stop();
}

void frmOppdat::StatusCode(int32_t code) {
    // After a cancel a lost connection is the end the user asked for.
    if (code == kConnectionLost && !cancelRequested_) AskToReconnect();
    RestoreMousePointer();
}

void frmOppdat::AskToReconnect() {
    try {
        MessageBoxRequest question;
        question.text = "Connection to " + transfer_.HostName() +
                        " has been lost - would you like to reconnect?";
        question.title = "Connection lost";
        question.icon = MessageIcon::Question;
        question.buttons = MessageButtons::YesNo;
        if (seams_.ask(question) == MessageAnswer::Yes) {
            transfer_.Reconnect();
        } else {
            // The download ends as the user has just decided, as after a cancel.
            cancelRequested_ = true;
        }
    } catch (const std::exception& fault) {
        MessageBoxRequest box;
        box.text = "Could not reconnect: " + DescriptionOf(fault);
        box.title = kProgramTitle;
        seams_.ask(box);
    }
}

void frmOppdat::StatusMessage(const std::string& text) {
    if (started_ && !IsProtocolChatter(text)) lblAksjon->setText(QString::fromStdString(text));
}

void frmOppdat::TransferStart(const std::string&, const std::string&, bool) { Update(started_); }

void frmOppdat::TransferProgress(const std::string&, const std::string&, int64_t bytesSoFar,
                                 int64_t totalBytes, bool& cancel) {
    bool answer = cancelRequested_;
    finished_ = false;
    ShowProgress(bytesSoFar, totalBytes);
    cancel = answer;
}

// A faulty report (no total, no bytes yet, more bytes than the total) stops
// where it goes wrong and keeps what was shown before.
void frmOppdat::ShowProgress(int64_t bytesSoFar, int64_t totalBytes) {
    if (totalBytes <= 0) return;
    int64_t unit = ProgressBarUnit(totalBytes);
    ProgressBar1->setMaximum(ToProgressBarUnits(totalBytes, unit));
    if (bytesSoFar < 0 || bytesSoFar > totalBytes) return;
    ProgressBar1->setValue(ToProgressBarUnits(bytesSoFar, unit));

    EstimateWords words{texts_.Text(214), texts_.Text(215), texts_.Text(216)};
    auto estimate = EstimateDownload(bytesSoFar, totalBytes, SecondsNow() - startSecond_, words);
    if (!estimate) return;
    lblEstimate->setText(QString::fromStdString(estimate->text));
    if (bytesSoFar == totalBytes || cancelRequested_) finished_ = bytesSoFar == totalBytes;
}

void frmOppdat::TransferComplete(const std::string&, const std::string&) {
    finished_ = true;
    ok_ = true;
    CloseSelf();
}

void frmOppdat::TransferFailed(const std::string&, const std::string&,
                               const TransferError& failure) {
    Fail(failure);
}

// The user learns why, unless the user asked for the end (a cancel, or No to
// reconnecting).
void frmOppdat::Fail(const ServiceError& failure) {
    if (!cancelRequested_) {
        MessageBoxRequest box;
        box.text = ReplacePlaceholders(
            texts_.Text(226), {DescribeTransferFailure(texts_, failure, hostExe_, localPath_)});
        box.title = texts_.Text(100);
        box.icon = MessageIcon::Critical;
        seams_.ask(box);
    }
    Update(false);
    DeletePartialDownload();
    localExe_.clear();
    cancelRequested_ = false;
    ok_ = false;
    CloseSelf();
}

// Both the finished file and the part still being written, so that a failed
// download leaves nothing a later run could take for a setup program. A file
// that cannot be deleted does not keep the window open.
void frmOppdat::DeletePartialDownload() const {
    if (localExe_.empty()) return;
    // The names are UTF-8; Windows would read a narrow path in its code page
    // and miss the file in a folder such as "Velkør program".
    const std::string file = localPath_ + localExe_;
    std::error_code ignored;
    for (const std::filesystem::path& path :
         {platform::TextPath(file), platform::TextPath(file + ".part")}) {
        if (std::filesystem::is_regular_file(path, ignored)) std::filesystem::remove(path, ignored);
    }
}

void frmOppdat::CloseSelf() {
    closingSelf_ = true;
    timStart->stop();
    done(ok_ ? QDialog::Accepted : QDialog::Rejected);
}

void frmOppdat::closeEvent(QCloseEvent* event) {
    if (!MayClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmOppdat::reject() {
    if (MayClose()) QDialog::reject();
}

double frmOppdat::SecondsNow() const {
    return std::chrono::duration<double>(seams_.now().time_since_epoch()).count();
}

DownloadWindowResult ShowDownloadWindowQt(const Texts& texts,
                                          const DownloadWindowRequest& request) {
    const std::unique_ptr<TransferComponent> transfer = request.makeTransfer();
    frmOppdat window(*transfer, texts);
    window.SetURLHost(request.URLHost);
    window.SetHostExe(request.HostExe);
    window.SetLocalExe(request.LocalExe);
    window.SetLocalPath(request.LocalPath);
    window.SetDownloadCheck(request.check);
    window.exec();
    return {window.OK(), window.Installer()};
}

}  // namespace tvk
