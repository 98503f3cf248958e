#pragma once

#include <QDialog>
#include <chrono>
#include <functional>
#include <string>

#include "components/TransferComponent.h"
#include "download/QtEventDispatcher.qt.h"
#include "platform/Dialogs.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tvk {

// The download window: fetches the setup program with its own asynchronous
// transfer component and is then driven by the component's events, one
// timer and the user's clicks. The caller sets the four request properties,
// shows it modally and reads OK and Installer when it has closed.
class frmOppdat : public QDialog, private TransferEvents {
    Q_OBJECT

  public:
    using Asker = std::function<MessageAnswer(const MessageBoxRequest&)>;
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // What tests replace: who answers the message boxes, and the clock.
    struct Seams {
        Asker ask;  // default: a message box over the window
        Clock now;  // default: std::chrono::steady_clock::now
    };

    frmOppdat(TransferComponent& transfer, const Texts& texts, Seams seams = {},
              QWidget* parent = nullptr);
    ~frmOppdat() override;

    void SetURLHost(std::string value) { urlHost_ = std::move(value); }
    void SetHostExe(std::string value) { hostExe_ = std::move(value); }
    void SetLocalExe(std::string value) { localExe_ = std::move(value); }
    void SetLocalPath(std::string value) { localPath_ = std::move(value); }
    // What the setup must show before the transfer gives it its name.
    void SetDownloadCheck(DownloadCheck check) { check_ = std::move(check); }

    bool OK() const { return ok_; }
    bool Installer() const { return installer_; }

    // Shows or hides the progress display; the bar starts again at 0, and
    // showing it empties the estimate.
    void Update(bool show);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void StatusCode(int32_t code) override;
    void StatusMessage(const std::string& text) override;
    void TransferStart(const std::string& remote, const std::string& local, bool download) override;
    void TransferProgress(const std::string& remote, const std::string& local, int64_t bytesSoFar,
                          int64_t totalBytes, bool& cancel) override;
    void TransferFailed(const std::string& remote, const std::string& local,
                        const TransferError& failure) override;
    void TransferComplete(const std::string& remote, const std::string& local) override;

    void CreateControls();
    void FitTranslatedLabels();
    void Start();
    void ShowProgress(int64_t bytesSoFar, int64_t totalBytes);
    void AskToReconnect();
    void DeletePartialDownload() const;
    void Fail(const ServiceError& failure);
    void CloseSelf();
    bool MayClose() const { return closingSelf_ || finished_; }
    double SecondsNow() const;

    TransferComponent& transfer_;
    const Texts& texts_;
    Seams seams_;
    QtEventDispatcher dispatcher_{*this};

    std::string urlHost_, hostExe_, localExe_, localPath_;
    DownloadCheck check_;
    bool ok_ = false;
    bool installer_ = false;
    bool started_ = false;
    bool finished_ = false;
    bool cancelRequested_ = false;
    bool closingSelf_ = false;
    double startSecond_ = 0;  // monotonic, whole seconds

    QLabel* lblAksjon = nullptr;
    QPushButton* cmdCancel = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lblEstimate = nullptr;
    QLabel* lblTime = nullptr;
    QLabel* lblFile = nullptr;
    QCheckBox* chkInstall = nullptr;
    QTimer* timStart = nullptr;
};

}  // namespace tvk
