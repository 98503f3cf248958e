#pragma once

#include <string>
#include <vector>

namespace tvk {

class ServiceError;
class Texts;
struct RunState;

// Replaces the numbered placeholders "@1", "@2", ... of `text` by the
// arguments (callers pass numbers as decimal text). The highest number goes
// first, so "@12" is replaced whole before "@1" is looked at; an argument's
// own "@<k>" is replaced too when k is lower than its number. A placeholder
// without an argument stays as it is.
std::string ReplacePlaceholders(std::string text, const std::vector<std::string>& arguments);

// What the user is told of a failed transfer of `file` into `folder`: a plain
// sentence of what happened in the texts' language, then the number and the
// description ("VelkorSetup.exe is not on the update server (404 - Not
// Found)"). A file its check refused is told by the description alone, which
// says why.
std::string DescribeTransferFailure(const Texts& texts, const ServiceError& failure,
                                    const std::string& file, const std::string& folder);

// The one-line HTML page that closes every update notice: a pointer to the
// web pages, greeting, signature and support link, in the run's language.
std::string NoticePageHtml(const RunState& state);

// Writes NoticePageHtml to a new temporary ".htm" file (Windows-1252) and
// returns its path. Throws ServiceError when the file cannot be written.
std::string WriteNoticePage(const RunState& state);

}  // namespace tvk
