#pragma once

#include <QTextBrowser>
#include <QUrl>
#include <memory>
#include <string>
#include <thread>

namespace tvk {

class CurlTransfer;

// The information page where Qt has no browser engine (Qt for MinGW): the
// page's text, fetched by the run's own transfer component with its size and
// time bounds, shown by Qt's rich-text view. It runs no script and loads
// nothing besides the page, no picture or style sheet from the maker's site
// or elsewhere, so that no page can make it read a local file or knock at
// a file share. Links go where the browser engine's would: the maker's own
// pages into the view, other sites and mail to the user's default programs,
// anything else nowhere.
class frmMeldingTextPage : public QTextBrowser {
    Q_OBJECT
    // As the browser engine's view names them.
    Q_PROPERTY(QString title READ documentTitle)
    Q_PROPERTY(QUrl url READ url)

  public:
    explicit frmMeldingTextPage(QWidget* parent = nullptr);
    // Ends a fetch that still waits for the server.
    ~frmMeldingTextPage() override;

    // Fetches `address` and shows it; `home` is the maker's site.
    void Show(const QUrl& home, const QUrl& address);
    QUrl url() const { return address_; }

    // The most a page may have.
    static constexpr size_t kPageLimit = 1024 * 1024;

  signals:
    // The page arrived and is shown, or could not be fetched (the view is empty).
    void loadFinished(bool ok);
    // A link that neither loads nor leaves the window: another scheme.
    void refused(const QUrl& url);

  private:
    void Follow(const QUrl& link);
    void StopFetch();
    void Arrived(unsigned fetch, bool ok, const std::string& body);

    QUrl home_;
    QUrl address_;
    unsigned fetches_ = 0;  // tells a late answer of an earlier fetch from the current one
    std::unique_ptr<CurlTransfer> transfer_;
    std::thread fetch_;
};

}  // namespace tvk
