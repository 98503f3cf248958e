#pragma once

#include <cstdint>
#include <string>

namespace tvk {

// What a window shows in the run's language: the texts of the string table
// by their ids, and the language itself (the information page asks for it).
class Texts {
  public:
    virtual ~Texts() = default;
    // The text of string `id`, as UTF-8; "" when the language has none.
    virtual std::string Text(int32_t id) const = 0;
    virtual int32_t LanguageId() const = 0;
};

}  // namespace tvk
