#include <string>

#include "platform/Platform.h"
#include "platform/WindowsModule.h"
#include "run/StartUp.h"

int main(int argc, char** argv) {
    const std::filesystem::path folder = tvk::platform::ProgramFolder();
    const std::string line = tvk::platform::CommandLineText(argc, argv);
    bool trace = line.find("/debug") != std::string::npos || line.find("/DEBUG") != std::string::npos;
    tvk::SystemDialogs dialogs(folder, trace);
    return tvk::Main(line, tvk::RealServices(folder, dialogs));
}
