#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "PythonServer.h"
#include "TestSupport.h"

namespace tvk::test {

namespace {

// Runs the script with its arguments, and ends it when its standard input
// ends: the pipe's other end is the owner's alone, so the server goes with its
// owner on every path, a crash, a kill or an _exit that skips the destructor.
const char* kOwnedRun = R"(import os, runpy, sys, threading
threading.Thread(target=lambda: (sys.stdin.buffer.read(), os._exit(0)), daemon=True).start()
sys.argv = sys.argv[1:]
runpy.run_path(sys.argv[0], run_name="__main__"))";

}  // namespace

PythonServer::PythonServer(const std::string& name, const std::filesystem::path& folder,
                           const std::string& script, const std::vector<std::string>& args) {
    const std::string scriptPath = (folder / "server.py").string();
    const std::string log = (folder / "server.log").string();
    WriteAll(scriptPath, script);

    std::vector<std::string> all = {"/usr/bin/python3", "-c", kOwnedRun, scriptPath};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    int owner[2];
    if (::pipe2(owner, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for the " + name);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, owner[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(owner[0]);
    owner_ = owner[1];
    if (rc != 0) throw std::runtime_error("cannot start /usr/bin/python3 for the " + name);

    // Bounded wait for the server to say on which port it listens.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(folder / "port")) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error(name + " ended: " + ReadAll(log));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
            throw std::runtime_error(name + " did not start: " + ReadAll(log));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    port_ = static_cast<uint16_t>(std::stoi(ReadAll(folder / "port")));
}

PythonServer::~PythonServer() {
    ::close(owner_);
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
}

}  // namespace tvk::test
