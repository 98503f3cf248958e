#include "notify/frmMeldingTextPage.qt.h"

#include <QStringDecoder>
#include <QTextDocument>
#include <exception>

#include "common/CodePage.h"
#include "components/transfer/CurlTransfer.h"
#include "notify/PageLinks.qt.h"

namespace tvk {

namespace {

using namespace std::chrono_literals;

// A user looks at the window while the page comes; it must not wait as long
// as a background fetch may.
const TransferOptions kPageTransfer{10s, 10s, "", 20s};

// The maker's pages are UTF-8 or Windows-1252; anything that is not valid
// UTF-8 is taken as the latter, so that every byte shows as some letter.
QString PageText(const std::string& body) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(body.data(), static_cast<qsizetype>(body.size())));
    if (!utf8.hasError()) return text;
    return QString::fromStdString(Windows1252ToUtf8(body));
}

// Qt's own documents read pictures and style sheets that a page names from
// local files (on Windows also from file shares) when the view does not;
// this one loads nothing.
class PageDocument : public QTextDocument {
  public:
    using QTextDocument::QTextDocument;

  protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

}  // namespace

frmMeldingTextPage::frmMeldingTextPage(QWidget* parent) : QTextBrowser(parent) {
    setDocument(new PageDocument(this));
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
    connect(this, &QTextBrowser::anchorClicked, this, &frmMeldingTextPage::Follow);
}

frmMeldingTextPage::~frmMeldingTextPage() { StopFetch(); }

void frmMeldingTextPage::Show(const QUrl& home, const QUrl& address) {
    StopFetch();
    home_ = home;
    address_ = address;
    clear();
    const unsigned fetch = ++fetches_;
    transfer_ = std::make_unique<CurlTransfer>(kPageTransfer);
    fetch_ = std::thread([this, fetch, transfer = transfer_.get(),
                          url = address.toString(QUrl::FullyEncoded).toStdString()] {
        bool ok = false;
        std::string body;
        try {
            body = transfer->FetchHTTP(url, kPageLimit);
            ok = true;
        } catch (const std::exception&) {
            // An empty view; the window's texts and button still serve.
        }
        // Runs on the window's thread; the destructor waits for this thread
        // first, and Qt drops what is still posted to a destroyed object.
        QMetaObject::invokeMethod(
            this, [this, fetch, ok, body = std::move(body)] { Arrived(fetch, ok, body); },
            Qt::QueuedConnection);
    });
}

void frmMeldingTextPage::StopFetch() {
    if (fetch_.joinable()) {
        transfer_->StopFetching();
        fetch_.join();
    }
    transfer_.reset();
}

void frmMeldingTextPage::Arrived(unsigned fetch, bool ok, const std::string& body) {
    if (fetch != fetches_) return;  // a page asked for before the one now wanted
    if (ok) {
        setHtml(PageText(body));
        if (address_.hasFragment()) scrollToAnchor(address_.fragment());
    }
    emit loadFinished(ok);
}

void frmMeldingTextPage::Follow(const QUrl& link) {
    const QUrl target = address_.resolved(link);
    if (target.adjusted(QUrl::RemoveFragment) == address_.adjusted(QUrl::RemoveFragment)) {
        scrollToAnchor(target.fragment());
    } else if ((page_links::IsWeb(target) || page_links::IsMail(target)) &&
               page_links::IsOtherSite(home_, target)) {
        page_links::OpenOutside(target);  // a click of the user's own
    } else if (page_links::IsWeb(target)) {
        Show(home_, target);
    } else {
        emit refused(target);
    }
}

}  // namespace tvk
