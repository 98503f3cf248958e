#include <dlfcn.h>

#include "common/ServiceError.h"
#include "platform/Module.h"

namespace tvk::platform {

namespace {

// The numbers Windows programs report for a library that cannot be loaded
// and for a missing entry point.
constexpr int64_t kCannotLoad = 48;
constexpr int64_t kNoEntryPoint = 453;

}  // namespace

std::string ModuleFileName(const std::string& name) { return "lib" + name + ".so"; }

Module Module::Load(const std::filesystem::path& folder, const std::string& name) {
    std::filesystem::path file = folder / ModuleFileName(name);
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        throw ServiceError(kCannotLoad, "Cannot load " + file.string() + ": " +
                                            (reason != nullptr ? reason : "unknown reason"));
    }
    return Module(handle, std::move(file));
}

void* Module::Symbol(const char* symbol) const {
    ::dlerror();
    void* address = ::dlsym(handle_, symbol);
    if (address == nullptr)
        throw ServiceError(kNoEntryPoint,
                           file_.string() + " has no entry point " + std::string(symbol));
    return address;
}

}  // namespace tvk::platform
