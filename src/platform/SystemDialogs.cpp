#include <dlfcn.h>

#include <cstdio>

#include "platform/ConsoleDialogs.h"
#include "platform/Platform.h"
#include "platform/WindowsModule.h"

namespace tvk {

SystemDialogs::SystemDialogs(std::filesystem::path programFolder, bool trace)
    : programFolder_(std::move(programFolder)), trace_(trace) {}

MessageAnswer SystemDialogs::ShowMessage(const MessageBoxRequest& request) {
    return Choose().ShowMessage(request);
}

bool SystemDialogs::ShowMessageWindow(const RunState& state, const MessageWindowRequest& request) {
    return Choose().ShowMessageWindow(state, request);
}

DownloadWindowResult SystemDialogs::ShowDownloadWindow(const RunState& state,
                                                       const DownloadWindowRequest& request) {
    return Choose().ShowDownloadWindow(state, request);
}

Dialogs& SystemDialogs::Choose() {
    if (chosen_ != nullptr) return *chosen_;
    if (platform::HasDisplay()) {
        std::string module = (programFolder_ / kWindowsModuleFile).string();
        // The module stays loaded until the process ends: its windows and the
        // GUI library's globals must outlive every box.
        if (void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            using Create = Dialogs* (*)();
            auto create = reinterpret_cast<Create>(::dlsym(handle, kCreateDialogsSymbol));
            chosen_ = create != nullptr ? create() : nullptr;
            if (chosen_ == nullptr && trace_)
                std::fprintf(stderr, "tvkUpdateService: the display cannot be opened; using the console\n");
        } else if (trace_) {
            std::fprintf(stderr, "tvkUpdateService: windows module not loaded (%s); using the console\n",
                         ::dlerror());
        }
    }
    if (chosen_ == nullptr) {
        console_ = std::make_unique<ConsoleDialogs>();
        chosen_ = console_.get();
    }
    return *chosen_;
}

}  // namespace tvk
