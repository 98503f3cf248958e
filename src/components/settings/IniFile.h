#pragma once

#include <string>

#include "components/SettingsFile.h"

namespace tvk {

// The settings-file component: sectioned settings files read and written with
// the semantics of Windows private-profile files, so that the application and
// the service read the same values from the same file.
//
// Reading: section and key names are compared without regard to case; the first
// occurrence of a section or key counts; lines starting with ';' are comments;
// a value is trimmed of blanks and tabs, and loses enclosing matching quotes
// (the only way a value can keep a leading blank). Any CR or LF ends a line, so
// CR alone, CR LF, and the CR CR LF or LF CR of a file converted twice all do.
//
// Writing changes only the line of the key (or adds one line, or a section at
// the end of the file) and keeps every other byte as it was; added lines end as
// the file's first line does. The file is replaced atomically: the
// application's settings never end up half written. Names or values that would
// break the file's structure are refused.
//
// Files are in Windows-1252; a file that starts with a UTF-8 byte-order mark is
// taken as UTF-8, and one that starts with the UTF-16 little-endian mark (a file
// saved "as Unicode") as UTF-16, as Windows takes them; a write keeps the
// file's encoding. Memory is the file's size times a small factor (at most
// about three for a write), however many lines it has.
//
// Where this reader is more lenient than Windows, on purpose:
//  - a line without '=' is no key; Windows takes it as a key without a value,
//    which hides a later line of the same key;
//  - a section name ends at the first ']'; Windows reads "[S]]" as "S]";
//  - letters outside ASCII are compared by the case table of the Windows-1252
//    letters (common/CodePage.h), which may match names that Windows, with its
//    own tables, keeps apart;
//  - a NUL byte is a character like any other; Windows ends the text there.
class IniFile : public SettingsFile {
  public:
    std::string LesINIStreng(const std::string& section, const std::string& key,
                             const std::string& path) override;

    // Throws ServiceError 5 for a name or value that the file cannot hold (the
    // file is then untouched), or with the errno when it cannot be read or
    // written.
    void SkrivINIStreng(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& path) override;
};

}  // namespace tvk
