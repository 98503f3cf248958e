#include "components/MhtBuilder.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vmime/contentTypeField.hpp>
#include <vmime/vmime.hpp>

#include "common/ServiceError.h"
#include "components/mail/HtmlPage.h"
#include "platform/Platform.h"

namespace tvk {

namespace fs = std::filesystem;

namespace {

std::string MhtDocument(const HtmlBody& page, const std::string& htmlPath) {
    vmime::message message;
    auto header = message.getHeader();
    std::string title = TitleOf(page.html);
    title.erase(
        std::remove_if(title.begin(), title.end(), [](char c) { return c == '\r' || c == '\n'; }),
        title.end());
    header->Subject()->setValue(vmime::text(
        title.empty() ? platform::PathText(platform::TextPath(htmlPath).filename()) : title,
        vmime::charsets::UTF_8));
    header->Date()->setValue(vmime::datetime::now());
    header->MimeVersion()->setValue(std::string("1.0"));
    auto contentType = vmime::dynamicCast<vmime::contentTypeField>(header->ContentType());
    contentType->setValue(
        vmime::mediaType(vmime::mediaTypes::MULTIPART, vmime::mediaTypes::MULTIPART_RELATED));
    contentType->appendParameter(vmime::make_shared<vmime::parameter>("type", "text/html"));

    auto htmlPart = vmime::make_shared<vmime::bodyPart>();
    message.getBody()->appendPart(htmlPart);
    htmlPart->getBody()->setContents(
        vmime::make_shared<vmime::stringContentHandler>(page.html),
        vmime::mediaType(vmime::mediaTypes::TEXT, vmime::mediaTypes::TEXT_HTML),
        vmime::charsets::UTF_8, vmime::encoding(vmime::encodingTypes::QUOTED_PRINTABLE));
    htmlPart->getHeader()->ContentLocation()->setValue(
        vmime::text("file://" + fs::absolute(htmlPath).generic_string()));

    for (const RelatedPart& related : page.related) {
        auto part = vmime::make_shared<vmime::bodyPart>();
        message.getBody()->appendPart(part);
        part->getBody()->setContents(vmime::make_shared<vmime::stringContentHandler>(related.bytes),
                                     vmime::mediaType(related.mediaType));
        part->getBody()->setEncoding(vmime::encoding(vmime::encodingTypes::BASE64));
        part->getHeader()->ContentId()->setValue(vmime::messageId("<" + related.contentId + ">"));
        part->getHeader()->ContentLocation()->setValue(
            vmime::text(related.location, vmime::charsets::UTF_8));
    }
    std::ostringstream out;
    vmime::utility::outputStreamAdapter adapter(out);
    message.generate(adapter);
    return out.str();
}

class VmimeMhtBuilder : public MhtBuilder {
  public:
    std::unique_ptr<MailMessage> HtmlFileToMessage(const std::string& htmlPath) override {
        const HtmlBody page = ReadHtmlPage(htmlPath);
        auto message = CreateMailMessage();
        message->SetHtmlBody(page);
        return message;
    }

    int HtmlFileToMhtFile(const std::string& htmlPath, const std::string& mhtPath) override {
        const HtmlBody page = ReadHtmlPage(htmlPath);
        try {
            // The owner's alone, like the temporary page it packs.
            platform::WriteFileAtomically(platform::TextPath(mhtPath), MhtDocument(page, htmlPath),
                                          platform::NewFileAccess::OwnerOnly);
        } catch (const vmime::exception& e) {
            throw ServiceError(ErrorNumber::InvalidArgument,
                               std::string("Cannot build the MHT file: ") + e.what());
        }
        return static_cast<int>(page.related.size());
    }
};

}  // namespace

std::unique_ptr<MhtBuilder> CreateMhtBuilder() { return std::make_unique<VmimeMhtBuilder>(); }

}  // namespace tvk
