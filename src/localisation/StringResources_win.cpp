#include <windows.h>

#include "localisation/StringResources.h"

namespace tvk {

namespace {

LPCSTR const kStringType = MAKEINTRESOURCEA(6);  // RT_STRING

struct LanguageSearch {
    uint16_t wanted;
    bool held = false;
};

BOOL CALLBACK NoteLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR data) {
    auto* search = reinterpret_cast<LanguageSearch*>(data);
    if (language == search->wanted) search->held = true;
    return !search->held;  // no need to look further once found
}

// The string table that windres compiled into the executable, read the way
// Windows programs read it: block by block, in exactly the asked language.
class ModuleStringResources final : public StringResources {
  public:
    std::optional<std::span<const unsigned char>> FindBlock(uint16_t block,
                                                            uint16_t language) const override {
        HMODULE module = ::GetModuleHandleW(nullptr);
        // FindResourceExA falls back to a neighbouring language when the asked
        // one is missing; the table answers only for the languages it holds.
        LanguageSearch search{language};
        ::EnumResourceLanguagesA(module, kStringType, MAKEINTRESOURCEA(block), NoteLanguage,
                                 reinterpret_cast<LONG_PTR>(&search));
        if (!search.held) return std::nullopt;
        HRSRC found = ::FindResourceExA(module, kStringType, MAKEINTRESOURCEA(block), language);
        if (found == nullptr) return std::nullopt;
        HGLOBAL loaded = ::LoadResource(module, found);
        const DWORD size = ::SizeofResource(module, found);
        const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
        // A no-op since 32-bit Windows; the view below stays valid.
        if (loaded != nullptr) ::FreeResource(loaded);
        if (bytes == nullptr) return std::nullopt;
        // The image stays mapped while the process runs, so the view stays valid.
        return std::span<const unsigned char>(static_cast<const unsigned char*>(bytes), size);
    }
};

}  // namespace

const StringResources& ProgramStringResources() {
    static const ModuleStringResources resources;
    return resources;
}

}  // namespace tvk
