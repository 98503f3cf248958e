#include "SmtpParsedMail.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vmime/contentDispositionField.hpp>
#include <vmime/contentTypeField.hpp>
#include <vmime/vmime.hpp>

namespace tvk::test {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> Addresses(const vmime::header& header, const std::string& field) {
    std::vector<std::string> out;
    if (!header.hasField(field)) return out;
    auto list = header.findField(field)->getValue<vmime::addressList>()->toMailboxList();
    for (size_t i = 0; i < list->getMailboxCount(); ++i)
        out.push_back(list->getMailboxAt(i)->getEmail().toString());
    return out;
}

void Collect(const vmime::bodyPart& part, int depth, std::vector<MimePart>& parts) {
    MimePart p;
    p.depth = depth;
    auto header = part.getHeader();
    if (auto type = header->findField<vmime::contentTypeField>(vmime::fields::CONTENT_TYPE)) {
        p.mediaType = Lower(type->getValue<vmime::mediaType>()->generate());
        if (type->hasCharset()) p.charset = Lower(type->getCharset().getName());
        if (auto param = type->findParameter("type"))
            p.typeParameter = param->getValue().getBuffer();
    }
    if (header->hasField(vmime::fields::CONTENT_ID))
        p.contentId = header->ContentId()->getValue<vmime::messageId>()->getId();
    if (auto disposition =
            header->findField<vmime::contentDispositionField>(vmime::fields::CONTENT_DISPOSITION))
        if (disposition->hasFilename()) p.fileName = disposition->getFilename().getBuffer();
    if (header->hasField(vmime::fields::CONTENT_DESCRIPTION))
        p.description = header->ContentDescription()->getValue<vmime::text>()->getConvertedText(
            vmime::charsets::UTF_8);
    if (part.getBody()->getPartCount() == 0) {
        std::ostringstream out;
        vmime::utility::outputStreamAdapter adapter(out);
        part.getBody()->getContents()->extract(adapter);
        p.content = out.str();
    }
    parts.push_back(p);
    for (size_t i = 0; i < part.getBody()->getPartCount(); ++i)
        Collect(*part.getBody()->getPartAt(i), depth + 1, parts);
}

}  // namespace

const MimePart& ParsedMail::Part(const std::string& mediaType) const {
    for (const MimePart& p : parts)
        if (p.mediaType == mediaType) return p;
    ADD_FAILURE() << "no " << mediaType << " part";
    static const MimePart none;
    return none;
}

int ParsedMail::Count(const std::string& mediaType) const {
    int n = 0;
    for (const MimePart& p : parts) n += p.mediaType == mediaType;
    return n;
}

ParsedMail ParseMail(const std::string& raw) {
    vmime::message message;
    message.parse(raw);
    ParsedMail mail;
    auto header = message.getHeader();
    if (header->hasField(vmime::fields::SUBJECT))
        mail.subject =
            header->Subject()->getValue<vmime::text>()->getConvertedText(vmime::charsets::UTF_8);
    if (header->hasField(vmime::fields::FROM))
        mail.from = header->From()->getValue<vmime::mailbox>()->getEmail().toString();
    mail.to = Addresses(*header, vmime::fields::TO);
    mail.cc = Addresses(*header, vmime::fields::CC);
    Collect(message, 0, mail.parts);
    return mail;
}

}  // namespace tvk::test
