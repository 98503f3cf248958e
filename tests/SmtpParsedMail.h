#pragma once

#include <string>
#include <vector>

namespace tvk::test {

// One part of a MIME message, containers included, in document order.
struct MimePart {
    int depth = 0;              // 0: the message itself
    std::string mediaType;      // "text/html", "multipart/related", ...
    std::string charset;        // as declared, lower case; "" when none
    std::string typeParameter;  // the "type" parameter of Content-Type
    std::string contentId;      // without angle brackets
    std::string fileName;       // from Content-Disposition
    std::string description;    // Content-Description
    std::string content;        // the decoded bytes (no charset conversion)
};

// A mail (or MHT file) taken apart by VMime's parser, for tests that check
// what a real reader would see.
struct ParsedMail {
    std::string subject;  // decoded to UTF-8
    std::string from;
    std::vector<std::string> to;
    std::vector<std::string> cc;
    std::vector<MimePart> parts;

    // The first part of that media type; fails the test when there is none.
    const MimePart& Part(const std::string& mediaType) const;
    int Count(const std::string& mediaType) const;
};

ParsedMail ParseMail(const std::string& raw);

}  // namespace tvk::test
