#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tvk::test {

// A test peer written in Python, run with the system's own interpreter. The
// script gets `args` and writes the port it listens on into the file "port"
// of `folder`; its output goes to "server.log" there. Stopped by its own pid,
// and it ends by itself once its owner's process has ended.
class PythonServer {
  public:
    PythonServer(const std::string& name, const std::filesystem::path& folder,
                 const std::string& script, const std::vector<std::string>& args);
    ~PythonServer();
    PythonServer(const PythonServer&) = delete;
    PythonServer& operator=(const PythonServer&) = delete;

    uint16_t Port() const { return port_; }

  private:
    pid_t pid_ = -1;
    int owner_ = -1;  // the write end of the script's standard input
    uint16_t port_ = 0;
};

}  // namespace tvk::test
