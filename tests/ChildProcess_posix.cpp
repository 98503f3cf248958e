#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ChildProcess.h"

namespace tvk::test {

ChildProcess::ChildProcess(const std::function<long()>& work) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(fds[0]);
        long value = 0;
        try {
            value = work();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(::write(fds[1], &value, sizeof value) == sizeof value ? 0 : 1);
    }
    ::close(fds[1]);
    result_ = fds[0];
    if (pid_ < 0) ::close(result_);
}

ChildProcess::~ChildProcess() { Wait(); }

std::optional<long> ChildProcess::Wait() {
    if (pid_ <= 0) return std::nullopt;
    long value = 0;
    const bool answered = ::read(result_, &value, sizeof value) == sizeof value;
    ::close(result_);
    int status = 0;
    const bool ended = ::waitpid(pid_, &status, 0) == pid_;
    pid_ = -1;
    if (!answered || !ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return value;
}

bool EnterOwnNetworkNamespace() { return ::unshare(CLONE_NEWNET) == 0; }

}  // namespace tvk::test
