#include "notify/mSendEpost.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "SmtpParsedMail.h"
#include "SmtpTestServer.h"
#include "TestSupport.h"
#include "common/ServiceError.h"
#include "update/TempFiles.h"

namespace tvk {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

// Components that write each call into one shared list, and fail a call on
// request, so that the order of the routine's steps can be checked.
struct Recorder {
    Calls calls;
    std::string failing;   // a call name that throws
    std::string pageSeen;  // the HTML file's content when the builder got it

    void Note(const std::string& call) {
        calls.push_back(call);
        if (call.rfind(failing, 0) == 0 && !failing.empty())
            throw ServiceError(5, "Invalid procedure call: " + call);
    }
};

class RecordingMessage : public MailMessage {
  public:
    RecordingMessage(Recorder& r, std::string name) : r_(r), name_(std::move(name)) {}
    void SetBodyText(const std::string& t) override { r_.Note(name_ + "SetBodyText(" + t + ")"); }
    void SetHtmlBody(const HtmlBody&) override { r_.Note(name_ + "SetHtmlBody"); }
    void SetSubject(const std::string& t) override { r_.Note(name_ + "SetSubject(" + t + ")"); }
    void SetSender(const std::string& a) override { r_.Note(name_ + "SetSender(" + a + ")"); }
    int AddRecipient(const std::string& d, const std::string& a) override {
        r_.Note(name_ + "AddRecipient(" + d + "|" + a + ")");
        return 1;
    }
    int AddCopyRecipient(const std::string& d, const std::string& a) override {
        r_.Note(name_ + "AddCopyRecipient(" + d + "|" + a + ")");
        return 1;
    }
    std::string AddAttachment(const std::string& p) override {
        r_.Note(name_ + "AddAttachment(" + p + ")");
        return p;
    }
    int SetAttachmentText(int n, const std::string& t) override {
        r_.Note(name_ + "SetAttachmentText(" + std::to_string(n) + "|" + t + ")");
        return n;
    }
    std::string Sender() const override { return {}; }
    std::vector<std::string> EnvelopeRecipients() const override { return {}; }
    std::string ToMime() const override { return name_; }

  private:
    Recorder& r_;
    std::string name_;
};

class RecordingBuilder : public MhtBuilder {
  public:
    explicit RecordingBuilder(Recorder& r) : r_(r) {}
    std::unique_ptr<MailMessage> HtmlFileToMessage(const std::string& html) override {
        r_.pageSeen = test::ReadAll(html);
        r_.Note("HtmlFileToMessage");
        return std::make_unique<RecordingMessage>(r_, "page.");
    }
    int HtmlFileToMhtFile(const std::string& html, const std::string& mht) override {
        r_.pageSeen = test::ReadAll(html);
        r_.Note("HtmlFileToMhtFile(" + fs::path(mht).extension().string() + ")");
        test::WriteAll(mht, "MIME");
        return 0;
    }

  private:
    Recorder& r_;
};

class RecordingSender : public MailSender {
  public:
    explicit RecordingSender(Recorder& r) : r_(r) {}
    void SetServer(const std::string& s) override { r_.Note("SetServer(" + s + ")"); }
    void SetUserName(const std::string& s) override { r_.Note("SetUserName(" + s + ")"); }
    void SetPassword(const std::string& s) override { r_.Note("SetPassword(" + s + ")"); }
    void SetDomain(const std::string& s) override { r_.Note("SetDomain(" + s + ")"); }
    int Send(const MailMessage& m) override {
        r_.Note("Send(" + m.ToMime() + ")");
        return 0;
    }
    void SendWithDefaults(const MailMessage& m) override {
        r_.Note("SendWithDefaults(" + m.ToMime() + ")");
    }

  private:
    Recorder& r_;
};

MailComponentFactory Recording(Recorder& r) {
    return [&r] {
        return MailComponents{std::make_unique<RecordingBuilder>(r),
                              std::make_unique<RecordingSender>(r),
                              std::make_unique<RecordingMessage>(r, "")};
    };
}

// The calls whose name starts with one of the prefixes, in order.
Calls Only(const Calls& calls, std::initializer_list<const char*> prefixes) {
    Calls out;
    for (const std::string& c : calls)
        for (const char* p : prefixes)
            if (c.rfind(p, 0) == 0) out.push_back(c);
    return out;
}

EmailRequest Plain(const std::string& to = "a@x.no") {
    EmailRequest r;
    r.sendTo = to;
    r.subject = "Emne";
    r.useServer = 1;
    r.mailServer = "mail.x.no";
    r.senderAddress = "service@velkor.no";
    return r;
}

TEST(SendEmail, AddressListsSplitAtCommaElseSemicolonAndKeepTheirPieces) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitAddressList("a@x.no, b@x.no"), (V{"a@x.no", " b@x.no"}));
    EXPECT_EQ(SplitAddressList("a@x.no;b@x.no"), (V{"a@x.no", "b@x.no"}));
    EXPECT_EQ(SplitAddressList("a@x.no,b@x.no;c@x.no"), (V{"a@x.no", "b@x.no;c@x.no"}));
    EXPECT_EQ(SplitAddressList("a@x.no"), (V{"a@x.no"}));
    EXPECT_EQ(SplitAddressList(""), (V{""}));
    EXPECT_EQ(SplitAddressList("a@x.no,,b@x.no,"), (V{"a@x.no", "", "b@x.no", ""}));
    EXPECT_EQ(SplitAddressList(";a@x.no"), (V{"", "a@x.no"}));
}

TEST(SendEmail, FirstAddressIsMainRecipientTheRestAndTheCopyListAreCopies) {
    Recorder r;
    EmailRequest request = Plain("a@x.no, b@x.no");
    request.copyTo = "c@x.no;d@x.no";
    SendEmail(request, Recording(r));
    EXPECT_EQ(Only(r.calls, {"Add"}),
              (Calls{"AddRecipient(|a@x.no)", "AddCopyRecipient(| b@x.no)",
                     "AddCopyRecipient(|c@x.no)", "AddCopyRecipient(|d@x.no)"}));

    Recorder single;
    SendEmail(Plain("a@x.no"), Recording(single));
    EXPECT_EQ(Only(single.calls, {"Add"}), Calls{"AddRecipient(|a@x.no)"});
}

TEST(SendEmail, BodyRule) {
    const std::pair<std::string, std::string> cases[] = {
        {"   ", ""}, {"", ""}, {"  0 kroner", ""}, {"0", ""}, {"  Hei på deg ", "  Hei på deg "}};
    for (const auto& [text, body] : cases) {
        Recorder r;
        EmailRequest request = Plain();
        request.bodyText = text;
        SendEmail(request, Recording(r));
        EXPECT_EQ(Only(r.calls, {"SetBodyText"}), Calls{"SetBodyText(" + body + ")"}) << text;
    }
}

TEST(SendEmail, PlainModeAttachesTheFileAndItsText) {
    Recorder r;
    EmailRequest request = Plain();
    request.attachmentPath = "/tmp/rapport.pdf";
    request.attachmentText = "Rapport";
    EXPECT_EQ(SendEmail(request, Recording(r)), "");
    EXPECT_EQ(
        r.calls,
        (Calls{"SetBodyText()", "AddAttachment(/tmp/rapport.pdf)", "SetAttachmentText(0|Rapport)",
               "AddRecipient(|a@x.no)", "SetSubject(Emne)", "SetSender(service@velkor.no)",
               "SetServer(mail.x.no)", "SetUserName()", "SetPassword()", "SetDomain()", "Send()"}));

    Recorder withoutText;
    request.attachmentText = "";
    SendEmail(request, Recording(withoutText));
    EXPECT_TRUE(Only(withoutText.calls, {"SetAttachmentText"}).empty());
}

TEST(SendEmail, WithoutServerTheSendersDefaultsAreUsed) {
    Recorder r;
    EmailRequest request = Plain();
    request.useServer = 0;
    SendEmail(request, Recording(r));
    EXPECT_EQ(Only(r.calls, {"Set", "Send"}),
              (Calls{"SetBodyText()", "SetSubject(Emne)", "SetSender(service@velkor.no)",
                     "SendWithDefaults()"}));
}

TEST(SendEmail, OnlyTheLastFailureOfTheDeliveryCounts) {
    Recorder beforeDelivery;
    beforeDelivery.failing = "AddRecipient";
    EXPECT_EQ(SendEmail(Plain(), Recording(beforeDelivery)), "");
    EXPECT_EQ(Only(beforeDelivery.calls, {"Send"}), Calls{"Send()"});  // skipped, not stopped

    Recorder atServer;
    atServer.failing = "SetServer";
    EXPECT_EQ(SendEmail(Plain(), Recording(atServer)),
              "5 - Invalid procedure call: SetServer(mail.x.no)");
    EXPECT_EQ(Only(atServer.calls, {"Send"}), Calls{"Send()"});

    Recorder twice;
    twice.failing = "S";  // SetServer ... and finally Send
    const std::string result = SendEmail(Plain(), Recording(twice));
    EXPECT_EQ(result, "5 - Invalid procedure call: Send()");
}

TEST(SendEmail, ComponentsThatCannotBeMadeEndTheCallWithTheFailure) {
    const MailComponentFactory failing = []() -> MailComponents {
        throw ServiceError(429, "ActiveX component can't create object");
    };
    EXPECT_EQ(test::ErrorOf([&] { SendEmail(Plain(), failing); }).Number(), 429);
}

TEST(SendEmail, HtmlFileBecomesTheMessageAndIsDeletedEvenWhenThatFails) {
    test::TempFolder folder;
    for (const std::string failing : {"", "HtmlFileToMessage"}) {
        const std::string page = (folder / "notice.htm").string();
        test::WriteAll(page, "<p>Med vennlig hilsen,</p>");
        Recorder r;
        r.failing = failing;
        EmailRequest request = Plain();
        request.htmlFilePath = page;
        request.browserView = nullptr;
        SendEmail(request, Recording(r));
        EXPECT_FALSE(fs::exists(page)) << failing;
        EXPECT_EQ(r.pageSeen, "<p>Med vennlig hilsen,</p>");
        EXPECT_TRUE(Only(r.calls, {"SetBodyText"}).empty());
        // The page's message is sent when it was made, else the empty one.
        EXPECT_EQ(Only(r.calls, {"Send", "page.AddRecipient"}).back(),
                  failing.empty() ? "Send(page.)" : "Send()");
    }
}

class FakeView : public HtmlDocumentView {
  public:
    std::vector<std::string> sheets;
    int StyleSheetCount() const override { return static_cast<int>(sheets.size()); }
    std::string StyleSheetHref(int i) const override { return sheets.at(static_cast<size_t>(i)); }
    std::string BodyOuterHtml() const override { return "<body>Hei ø</body>"; }
};

TEST(SendEmail, BrowserPageIsCopiedWithItsStyleSheetLinks) {
    FakeView view;
    view.sheets = {"http://www.orbe.no/a.css", "b.css"};
    FakeView bare;
    for (const FakeView* v : {&view, &bare}) {
        Recorder r;
        EmailRequest request = Plain();
        request.browserView = v;
        SendEmail(request, Recording(r));
        const std::string expected = v->sheets.empty()
                                         ? "<body>Hei \xf8</body>"
                                         : "<link href=\"http://www.orbe.no/a.css\" "
                                           "rel=\"stylesheet\" type=\"text/css\">\r\n"
                                           "<link href=\"b.css\" rel=\"stylesheet\" "
                                           "type=\"text/css\">\r\n<body>Hei \xf8</body>";
        EXPECT_EQ(r.pageSeen, expected);
    }
}

TEST(SendEmail, MhtVariantAttachesThePageAndCleansUp) {
    test::TempFolder folder;
    const std::string page = (folder / "notice.htm").string();
    test::WriteAll(page, "<p>Side</p>");
    Recorder r;
    EmailRequest request = Plain();
    request.attachPageAsMht = 1;
    request.bodyText = "Se vedlegg";
    request.attachmentText = "Siden";
    request.htmlFilePath = page;
    SendEmail(request, Recording(r));
    const Calls body =
        Only(r.calls, {"SetBodyText", "HtmlFile", "AddAttachment", "SetAttachmentText"});
    ASSERT_EQ(body.size(), 4u);
    EXPECT_EQ(body[0], "SetBodyText(Se vedlegg)");
    EXPECT_EQ(body[1], "HtmlFileToMhtFile(.mht)");
    const std::string mht = body[2].substr(14, body[2].size() - 15);
    EXPECT_EQ(fs::path(mht).extension(), ".mht");
    EXPECT_EQ(body[3], "SetAttachmentText(1|Siden)");
    EXPECT_FALSE(fs::exists(mht));
    EXPECT_FALSE(fs::exists(page));
}

}  // namespace
}  // namespace tvk
