#include <cstdio>

#include "common/ServiceError.h"
#include "platform/ConsoleDialogs.h"
#include "platform/Module.h"
#include "platform/Platform.h"
#include "platform/WindowsModule.h"

namespace tvk {

SystemDialogs::SystemDialogs(std::filesystem::path programFolder, bool trace)
    : programFolder_(std::move(programFolder)), trace_(trace) {}

MessageAnswer SystemDialogs::ShowMessage(const MessageBoxRequest& request) {
    return Choose().ShowMessage(request);
}

bool SystemDialogs::ShowMessageWindow(const Texts& texts, const MessageWindowRequest& request) {
    return Choose().ShowMessageWindow(texts, request);
}

DownloadWindowResult SystemDialogs::ShowDownloadWindow(const Texts& texts,
                                                       const DownloadWindowRequest& request) {
    return Choose().ShowDownloadWindow(texts, request);
}

Dialogs& SystemDialogs::Choose() {
    if (chosen_ != nullptr) return *chosen_;
    if (platform::HasDisplay()) {
        try {
            const platform::Module module = platform::Module::Load(programFolder_, kWindowsModule);
            chosen_ = module.Entry<Dialogs*()>(kCreateDialogsSymbol)();
            if (chosen_ == nullptr && trace_)
                platform::WriteText(
                    stderr, "tvkUpdateService: the display cannot be opened; using the console\n");
        } catch (const ServiceError& failure) {
            if (trace_)
                platform::WriteText(stderr, "tvkUpdateService: " + std::string(failure.what()) +
                                                "; using the console\n");
        }
    }
    if (chosen_ == nullptr) {
        console_ = std::make_unique<ConsoleDialogs>();
        chosen_ = console_.get();
    }
    return *chosen_;
}

}  // namespace tvk
