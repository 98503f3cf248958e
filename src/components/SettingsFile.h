#pragma once

#include <string>
#include <string_view>

namespace tvk {

// Sectioned settings files ("[Section]" headers, "Key=Value" lines) with the
// semantics of Windows private-profile files. Texts are UTF-8 in the program;
// the files themselves are in the Windows ANSI code page, or in the Unicode
// form their byte-order mark names.
class SettingsFile {
  public:
    virtual ~SettingsFile() = default;

    // A missing file, section or key reads as empty text, never as a failure.
    virtual std::string LesINIStreng(const std::string& section, const std::string& key,
                                     const std::string& path) = 0;

    // Creates or replaces the key; creates the section and the file when missing.
    // Throws ServiceError when the file cannot be written.
    virtual void SkrivINIStreng(const std::string& section, const std::string& key,
                                const std::string& value, const std::string& path) = 0;
};

// The value of a key in the content of a settings file, read as
// LesINIStreng reads it from the file: for text that is checked before it is
// used, and must not be read back from a disk that someone else can write.
std::string ReadSettingsText(std::string content, std::string_view section, std::string_view key);

}  // namespace tvk
