#pragma once

#include <string>

namespace tvk {

// Fresh files in the user's temporary folder for the notice page and the mail
// documents. Nothing here deletes a file it handed out; its user does.

// The long form of the temporary folder, ending with '/'; "" when the long
// form cannot be obtained.
std::string GetTempDir();

// The full path of a new, empty file "tvk<HEX>.TMP" in the temporary folder.
// With an extension (without its dot) the file is named "tvk<HEX>.<extension>"
// instead. Throws ServiceError when no such file can be made.
std::string GetTempFileName(const std::string& extension);

// Writes `text` (UTF-8) as Windows-1252 bytes, nothing added, into a new file
// in the temporary folder and returns its full path. With an extension the
// file name is in small letters, "tvk<hex>.<extension>"; the folder keeps its
// letter case. On failure throws ServiceError and leaves no file behind.
std::string WriteTempFile(const std::string& text, const std::string& extension);

}  // namespace tvk
