#include <string>

#include "platform/Platform.h"
#include "platform/WindowsModule.h"
#include "run/CommandLine.h"
#include "run/StartUp.h"

int main(int argc, char** argv) {
    tvk::platform::AttachToParentConsole();
    const std::filesystem::path folder = tvk::platform::ProgramFolder();
    const std::string line = tvk::platform::CommandLineText(argc, argv);
    tvk::SystemDialogs dialogs(folder, tvk::DebugRequested(line));
    return tvk::Main(line, tvk::RealServices(folder, dialogs));
}
