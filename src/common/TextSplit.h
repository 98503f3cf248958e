#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tvk {

// The pieces between every `separator`, in order; empty pieces stay, and a
// text without the separator is one piece.
std::vector<std::string> SplitAt(std::string_view text, char separator);

}  // namespace tvk
