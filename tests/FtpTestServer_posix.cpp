#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "FtpTestServer.h"
#include "PythonServer.h"

extern char** environ;

namespace tvk::test {

namespace {

// pyftpdlib with one account; the kernel picks the port, which the script
// writes to a file once it listens. Events are appended one a line.
constexpr const char* kScript = R"PY(
import os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

folder, home, user, password, permissions = sys.argv[1:6]

def note(line):
    with open(os.path.join(folder, "events.txt"), "a") as f:
        f.write(line + "\n")

class Handler(FTPHandler):
    def on_login(self, username):
        note("login %s ok" % username)
    def on_login_failed(self, username, password):
        note("login %s refused" % username)
    def on_file_received(self, file):
        note("stored " + self.fs.fs2ftp(file))
    def on_incomplete_file_received(self, file):
        note("incomplete " + self.fs.fs2ftp(file))

authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm=permissions)
Handler.authorizer = authorizer
Handler.auth_failed_timeout = 0.1  # the default 3 s delay only slows the tests
server = FTPServer(("127.0.0.1", 0), Handler)
port = server.socket.getsockname()[1]
with open(os.path.join(folder, "port.part"), "w") as f:
    f.write(str(port))
os.replace(os.path.join(folder, "port.part"), os.path.join(folder, "port"))
server.serve_forever()
)PY";

}  // namespace

FtpTestServer::FtpTestServer(FtpServerOptions options) : home_(folder_ / "home") {
    std::filesystem::create_directories(home_);
    server_ = std::make_unique<PythonServer>(
        "FTP test server", folder_.Path(), kScript,
        std::vector<std::string>{folder_.Path().string(), home_.string(), options.user,
                                 options.password, options.permissions});
}

FtpTestServer::~FtpTestServer() = default;

std::vector<std::string> FtpTestServer::Files() const {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home_))
        if (entry.is_regular_file())
            files.push_back("/" + entry.path().lexically_relative(home_).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> FtpTestServer::Events() const {
    const std::filesystem::path events = folder_ / "events.txt";
    if (!std::filesystem::exists(events)) return {};
    return ReadLines(events);
}

bool FtpTestServer::WaitForEvent(const std::string& prefix, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (const std::string& event : Events())
            if (event.rfind(prefix, 0) == 0) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace tvk::test
