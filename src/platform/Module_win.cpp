#include "common/ServiceError.h"
#include "platform/Module.h"
#include "platform/Platform.h"
#include "platform/WindowsText.h"

namespace tvk::platform {

namespace {

// The numbers Windows programs report for a library that cannot be loaded
// and for a missing entry point.
constexpr int64_t kCannotLoad = 48;
constexpr int64_t kNoEntryPoint = 453;

}  // namespace

std::string ModuleFileName(const std::string& name) { return name + ".dll"; }

Module Module::Load(const std::filesystem::path& folder, const std::string& name) {
    std::filesystem::path file = folder / ModuleFileName(name);
    // The module's own libraries are looked for beside it first, never in
    // the working folder.
    HMODULE handle = ::LoadLibraryExW(
        file.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (handle == nullptr) {
        const DWORD error = ::GetLastError();
        throw ServiceError(kCannotLoad,
                           "Cannot load " + PathText(file) + ": " + WindowsText(error));
    }
    return Module(reinterpret_cast<void*>(handle), std::move(file));
}

void* Module::Symbol(const char* symbol) const {
    FARPROC address = ::GetProcAddress(reinterpret_cast<HMODULE>(handle_), symbol);
    if (address == nullptr)
        throw ServiceError(kNoEntryPoint,
                           PathText(file_) + " has no entry point " + std::string(symbol));
    return reinterpret_cast<void*>(address);
}

}  // namespace tvk::platform
