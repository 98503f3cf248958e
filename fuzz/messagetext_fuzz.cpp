// The numbered placeholders of texts shown and mailed to customers.
//
// The input is the text, then the arguments, separated by NUL bytes. Since an
// argument's own placeholders are replaced by the lower arguments, the result
// can grow as a power of the argument sizes; the text and the arguments are
// cut so that one run stays in milliseconds (the texts and arguments of the
// program are far smaller).
//
// Checked: a text without "@", or an empty argument list, comes back
// unchanged; otherwise the result agrees with the rule as described (for k
// from the highest number down, every "@k" left to right, the inserted text
// not searched again for the same k), rebuilt here on a fresh string.

#include "FuzzSupport.h"
#include "notify/MessageText.h"

namespace tvk::fuzz {
namespace {

constexpr size_t kMaxText = 160;
constexpr size_t kMaxArguments = 12;
constexpr size_t kMaxArgumentBytes = 24;  // all arguments together

std::string ReplaceEvery(const std::string& text, const std::string& placeholder,
                         const std::string& argument) {
    std::string out;
    size_t from = 0;
    for (size_t at; (at = text.find(placeholder, from)) != std::string::npos;
         from = at + placeholder.size())
        out += text.substr(from, at - from) + argument;
    return out + text.substr(from);
}

void Check(std::string_view input) {
    std::vector<std::string> parts = SplitAt(input, '\0');
    std::string text = parts.front().substr(0, kMaxText);
    std::vector<std::string> arguments;
    size_t budget = kMaxArgumentBytes;
    for (size_t i = 1; i < parts.size() && arguments.size() < kMaxArguments; ++i) {
        arguments.push_back(parts[i].substr(0, budget));
        budget -= arguments.back().size();
    }

    const std::string result = ReplacePlaceholders(text, arguments);

    std::string what = Escaped(text);
    for (const std::string& argument : arguments) what += " | " + Escaped(argument);
    if (text.find('@') == std::string::npos || arguments.empty())
        FUZZ_CHECK(result == text, Escaped(result) + " from " + what);

    std::string expected = text;
    for (size_t k = arguments.size(); k >= 1; --k)
        expected = ReplaceEvery(expected, "@" + std::to_string(k), arguments[k - 1]);
    FUZZ_CHECK(result == expected,
               Escaped(result) + " instead of " + Escaped(expected) + " from " + what);
}

}  // namespace
}  // namespace tvk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvk::fuzz::Check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
