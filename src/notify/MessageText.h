#pragma once

#include <string>
#include <vector>

namespace tvk {

struct RunState;

// Replaces the numbered placeholders "@1", "@2", ... of `text` by the
// arguments (callers pass numbers as decimal text). The highest number goes
// first, so "@12" is replaced whole before "@1" is looked at; an argument's
// own "@<k>" is replaced too when k is lower than its number. A placeholder
// without an argument stays as it is.
std::string ReplacePlaceholders(std::string text, const std::vector<std::string>& arguments);

// The one-line HTML page that closes every update notice: a pointer to the
// web pages, greeting, signature and support link, in the run's language.
std::string NoticePageHtml(const RunState& state);

// Writes NoticePageHtml to a new temporary ".htm" file (Windows-1252) and
// returns its path. Throws ServiceError when the file cannot be written.
std::string WriteNoticePage(const RunState& state);

}  // namespace tvk
