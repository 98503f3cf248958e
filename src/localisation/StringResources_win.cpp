#include <windows.h>

#include "localisation/StringResources.h"

namespace tvk {

namespace {

// The string table that windres compiled into the executable, read the way
// Windows programs read it: block by block, in exactly the asked language.
class ModuleStringResources final : public StringResources {
  public:
    std::optional<std::span<const unsigned char>> FindBlock(uint16_t block,
                                                            uint16_t language) const override {
        HMODULE module = ::GetModuleHandleW(nullptr);
        HRSRC found = ::FindResourceExA(module, MAKEINTRESOURCEA(6) /* RT_STRING */,
                                        MAKEINTRESOURCEA(block), language);
        if (found == nullptr) return std::nullopt;
        HGLOBAL loaded = ::LoadResource(module, found);
        const DWORD size = ::SizeofResource(module, found);
        const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
        // A no-op since 32-bit Windows, kept as the resource functions expect.
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
